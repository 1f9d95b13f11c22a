// Inside our Win32 layer (not on Windows): what the shared part offers to
// the backends that talk to a real system (SDL2) or pretend to (the tests'
// fake), and what every backend must provide.
#pragma once

#include "platform/win32.h"

#include <string>

namespace layer {

// A window as the shared part knows it: enough to dispatch its messages
// and to keep its class registered while it lives.
struct Window {
    HWND handle;
    std::string className;
    HINSTANCE instance;
    WNDPROC proc;
    DWORD style, exStyle;
};

// Shared part ---------------------------------------------------------------

// Records a new window of a registered class; null if the class is unknown.
Window *AddWindow(LPCSTR className, HINSTANCE instance, DWORD style, DWORD exStyle);
Window *LookUpWindow(HWND handle);
void RemoveWindow(HWND handle); // also drops its queued messages

void PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window's procedure at once, as the system does for the
// messages it sends during creation, activation and destruction.
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Frame sizes that AdjustWindowRectEx adds for a style; a backend that
// draws its own frame takes the same off to find the client size.
RECT FrameInsets(DWORD style, DWORD exStyle);

// The class as registered (its name pointing into the registry), as
// GetClassInfoA gives it; false if there is no such class.
bool LookUpClassInfo(LPCSTR className, WNDCLASSA *info);

// The last system command (WM_SYSCOMMAND's wParam, low four bits
// cleared) that a window procedure passed on to DefWindowProcA, or 0 when
// none has since this was cleared. Tells a backend whether the program let
// the system carry a command out, such as starting the screen saver.
extern UINT lastDefaultSysCommand;

// Forgets every class, window and queued message (tests start clean).
void Reset();

// Backend ------------------------------------------------------------------

// Moves the system's pending events into the queue as messages. Called by
// PeekMessageA when the queue has nothing for it.
void PumpEvents();

#ifdef ORVANEL_TEST_HOOKS
// Provided by the tests' fake: sees every call of the shared part that can
// fail, and answers true to make it fail.
bool TestHook(const char *call, const std::string &detail);
#endif

} // namespace layer
