// Inside our Win32 layer: the one window table the layer's files share,
// and the input calls through which a driver reports what the user did.
#pragma once

#include "win32/driver.h"
#include "win32/win32.h"

namespace layer {

// A window as the layer knows it; `native` is the driver's.
struct Window {
    HWND handle;
    WNDPROC proc;
    ATOM atom;         // its class
    int width, height; // client area
    bool visible, minimised;
    int format; // pixel format index, 0 until one is set
    void *native;
};

Window *Lookup(HWND handle);
Window *WindowOfDC(HDC dc);
HDC DeviceContextOf(const Window &w);

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Opens the driver's display once; false when there is none. (SIGTERM,
// SIGINT and SIGHUP are requests to close from the moment the process
// starts.)
bool Start();
// Whether a close request came while no window was up: the program is to
// end without one.
bool Ending();
// Start(), saying on stderr that the call failed when there is no display.
bool Ready(const char *call);
// A call the system refused: one line on stderr, naming the call (when
// given) and why, as the driver said.
void PrintRefusal(const char *call);

// Whether the display mode is changed, for windows that are to cover it.
bool ModeChanged();

// From the driver -------------------------------------------------------------

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
void Minimised(HWND window, bool minimised);
void Resized(HWND window, int width, int height);
void Focused(HWND window, bool focused);

} // namespace layer
