// The window, its GL context and its window procedure.
#pragma once

#include "win32/win32.h"

// The window set: live between a successful CreateGLWindow and the next
// KillGLWindow.
extern HINSTANCE hInstance;
extern HWND hWnd;
extern HDC hDC;
extern HGLRC hRC;
extern BOOL fullscreen; // the current window is fullscreen and the display mode changed

// Whether the window is not minimised, as the last activation said.
extern BOOL active;

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Opens the window (fullscreen at width x height x bits when asked, with a
// windowed fallback the user may accept) with a current GL context, its
// projection and render state. Returns 0 after telling the user what failed.
BOOL CreateGLWindow(const char *title, int width, int height, int bits, BOOL fullscreenflag);

// Restores the display and releases context, DC, window and class, in that
// order, whatever is live. Never stops early.
void KillGLWindow();
