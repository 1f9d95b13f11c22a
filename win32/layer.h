// Inside our Win32 layer: the state its files share, and the calls they make
// to each other. Each file is one concern, and calls only the ones above it
// in this list (and the driver):
//   process.cpp   start-up, close requests, the refusal line and its reason
//   windows.cpp   classes, windows, the foreground and the keyboard focus,
//                 the screen saver held off by the focused window
//   display.cpp   display mode, cursor, message boxes
//   queue.cpp     the message queue and the default window procedure
//   input.cpp     what the driver reports of the user's doing
//   gdi32.cpp, opengl32.cpp, kernel32.cpp: pixel formats and presenting,
//                 GL contexts, the module handle
#pragma once

#include "win32/driver.h"
#include "win32/win32.h"

#include <chrono>
#include <deque>
#include <list>
#include <string>

namespace layer {

// A window as the layer knows it; `native` is the driver's.
struct Window {
    HWND handle;
    WNDPROC proc;
    ATOM atom;         // its class
    std::string title; // the driver's WindowSpec points here for the window's life
    int width, height; // client area
    bool visible, minimised;
    int format; // pixel format index, 0 until one is set
    void *native;
};

struct WindowClass {
    std::string name;
    WNDCLASSA info;
    ATOM atom;
};

// Everything the layer keeps, in one place. Each part is written by the
// file named with it; the others only read it.
struct State {
    // windows.cpp
    std::list<WindowClass> classes;
    std::list<Window> windows; // oldest first
    std::uintptr_t lastHandle = 0;
    HWND activeWindow = nullptr, focusWindow = nullptr;
    // Whether the screen saver is held off: only while the focused window's
    // procedure swallows the system's requests to start it. Windows asks
    // when it is about to start one; we cannot know that, so we ask when a
    // window takes the focus and every 20 seconds after.
    bool screenKeptOn = false;
    std::chrono::steady_clock::time_point nextScreenCheck;
    // display.cpp
    bool modeChanged = false;
    int cursorCount = 0; // the cursor shows while this is 0 or more
    // queue.cpp: messages posted, and the quit message. A window's messages
    // stay until taken; those of a window that is gone are never taken.
    std::deque<MSG> queue;
    bool quitPosted = false;
    int quitCode = 0;
    // process.cpp: why the last driver call failed, for the refusal line
    std::string why;
};
inline State state;

// process.cpp --------------------------------------------------------------------

// Takes SIGTERM, SIGINT and SIGHUP as requests to close, and opens the
// driver's display, once; false when there is none.
bool Start();
// Start(), saying on stderr that the call failed when there is no display.
bool Ready(const char *call);
// A close request came while no window was up: the program is to end
// without one, and no box of its shows.
bool Ending();
// Takes the close request that came since the last look, if one did.
bool TakeCloseRequest();
// A call the system refused: one line on stderr, naming the call (when
// given) and why, as the driver said.
void PrintRefusal(const char *call);

// windows.cpp --------------------------------------------------------------------

Window *Lookup(HWND handle);
Window *WindowOfDC(HDC dc);
HDC DeviceContextOf(const Window &w);
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The window taking or losing the foreground and the keyboard focus, with
// the program as a whole when it is its only window.
void Activate(HWND window, bool active);
// Asks the focused window about the screen saver when that is due; called
// at every look for input.
void CheckScreenSaver();
// The default procedure carried out a request to start the screen saver.
void ScreenSaverAllowed();

// queue.cpp ----------------------------------------------------------------------

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// From the driver (input.cpp, and process.cpp's Why) -----------------------------

// Why a driver call failed, said by the driver where it fails: records the
// reason (printf-style) for the refusal line, and returns false.
bool Why(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Input, from the driver's PumpEvents.
HWND WindowOfNative(void *native);
// The virtual key of the keypad's digit 0-9: VK_NUMPAD0 and on with NumLock
// on, else the key it stands for (Insert, End, Down, ..., Page Up).
WPARAM KeypadKey(int digit, bool numLock);
// A key by its virtual-key code, with the modifiers the system had down.
void Key(HWND window, WPARAM vk, bool down, bool repeat, bool alt, bool ctrl);
void CloseAsked(HWND window);
void Minimised(HWND window);
// Back from minimised, with the client size it comes back with.
void Restored(HWND window, int width, int height);
void Resized(HWND window, int width, int height);
void Focused(HWND window, bool focused);

} // namespace layer
