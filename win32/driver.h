// What our Win32 layer asks of the system underneath it: the native
// operations below, with no Win32 rules in them. The layer (layer.h lists
// its files) owns every Win32 behaviour and calls down through these; a
// driver calls back up only through the calls that layer.h lists as from
// the driver: Why() where a call fails, and the input calls from
// PumpEvents. The driver is chosen when linking: the SDL2 driver (sdl/) on
// Linux, the browser's (web/) with Emscripten, the tests' fake
// (tests/fake/) for the tests.
//
// Native windows and contexts are opaque pointers that the driver makes and
// frees; the layer keeps them in its own records. A call that fails says
// why where it fails, with layer::Why().
#pragma once

namespace driver {

// What a pixel format asks for, in bits; the system's best match for it is
// what a window gets.
struct PixelFormat {
    bool doubleBuffer;
    int red, green, blue, alpha, depth, stencil, accum;
    bool operator==(const PixelFormat &o) const {
        return doubleBuffer == o.doubleBuffer && red == o.red && green == o.green &&
               blue == o.blue && alpha == o.alpha && depth == o.depth && stencil == o.stencil &&
               accum == o.accum;
    }
};

struct WindowSpec {
    const char *title;
    int width, height; // client area
    bool frame;        // title bar and border
    bool resizable;
    bool fullscreen; // covers the display in the mode set last
};

enum Icon { kNoIcon, kInformation, kQuestion, kWarning, kError };

// Buttons of a box: OK alone, or Yes and No. The answer is the index of
// the button (0 OK or Yes, 1 No), or -1 when no answer was given.
enum Buttons { kOk, kYesNo };

// Connects to the display; false when there is none to use.
bool Open();

// A hidden window; null on failure.
void *MakeWindow(const WindowSpec &asked);
void FreeWindow(void *window);
// Shows (raised, with the keyboard focus) or hides it.
void SetVisible(void *window, bool visible);
// Gives the window a visual for the format, before any context is made.
bool SetFormat(void *window, const PixelFormat &format);

// Moves the system's pending events into the layer's input calls.
void PumpEvents();
// Waits for an event, at most this long.
void WaitEvents(int milliseconds);

bool Present(void *window);

// Whether the display can give a window this format at all.
bool ChooseFormat(const PixelFormat &format);
// A context for drawing into the window; made without becoming current.
void *MakeContext(void *window);
// Nulls make no context current.
bool MakeCurrent(void *window, void *context);
void FreeContext(void *context);

// A temporary mode for the whole display, and the way back to the mode
// that was in force before it.
bool SetMode(int width, int height, int bits);
void RestoreMode();

void SetCursorShown(bool shown);
// Holds the screen saver and monitor power saving off, or lets them be.
void KeepScreenOn(bool on);

// A modal box owned by no window.
int ShowBox(const char *text, const char *caption, Buttons buttons, Icon icon);
// Ends a box that is up, without an answer; safe in a signal handler.
void EndBox();

} // namespace driver
