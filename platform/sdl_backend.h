// Inside the SDL2 backend of our Win32 layer: the state its files share.
// All of it lives in one place, `sdl::state`, for the life of the process.
#pragma once

#include "platform/layer.h"

#include <SDL.h>

#include <list>
#include <optional>
#include <string>
#include <vector>

namespace sdl {

// What a pixel format asks of SDL's GL attributes. SDL reads the sizes as
// minimums, so the system's best match for them is what we get.
struct PixelFormat {
    bool doubleBuffer;
    int red, green, blue, alpha, depth, stencil, accum;
};
bool operator==(const PixelFormat &a, const PixelFormat &b);

// The backend's half of a window (the shared part keeps the other half).
struct Window {
    HWND handle;
    SDL_Window *window;
    std::string title;
    int x, y, width, height; // client area as created
    Uint32 flags;            // SDL flags it was created with
    bool fullscreen;         // covers the display in the changed mode
    bool minimised;
    int format;                        // pixel format index set on it, 0 before
    std::optional<PixelFormat> made;   // GL attributes its SDL window has, if ours
    int reportedWidth, reportedHeight; // size in the last WM_SIZE, -1 before
};

// Alt and Ctrl as the display server had them at a key event.
struct KeyModifiers {
    bool down; // for a key going down
    bool alt, ctrl;
};

struct Context {
    HGLRC handle;
    SDL_GLContext context;
};

struct State {
    bool videoReady = false;
    std::list<Window> windows;
    std::vector<Context> contexts;
    std::uintptr_t lastContext = 0;
    std::vector<PixelFormat> formats;      // ChoosePixelFormat's answers, by index - 1
    std::optional<PixelFormat> attributes; // what SDL's GL attributes are set to
    HWND focus = nullptr;
    int cursorCount = 0; // the cursor shows while this is 0 or more, as on Windows

    // Display mode: set by ChangeDisplaySettingsA until restored.
    bool modeChanged = false;
    SDL_DisplayMode mode{};
    SDL_Window *modeHolder = nullptr; // keeps the mode until our own window is up

    // The server's modifiers for the key event SDL reports next, when the
    // display system said (X11 does).
    std::optional<KeyModifiers> keyModifiers;

    bool screenKeptOn = false; // SDL's screen saver is off at the program's request
    Uint64 nextScreenCheck = 0;
};
extern State state;

// Large blocks come from the system and go back to it when freed, as the
// Windows heap does with its largest blocks; called first thing in main.
void KeepLargeBlocksOffTheHeap();

// Starts SDL's video and loads the GL library, once per process; false
// (with SDL_GetError set) when there is no display to use.
bool StartVideo();
// Puts the display back and closes SDL, at exit.
void Shutdown();

Window *FindWindow(HWND handle);
Window *FindWindow(Uint32 sdlWindowId);

// Tells the window procedure its client size, if it changed since the last
// time: at once (as Windows does during creation and showing) or queued.
void ReportSize(Window &window, WPARAM kind, int width, int height, bool now);

// The screen saver and monitor power saving stay off while the focused
// window's procedure swallows the system's requests to start them.
void AskToKeepScreenOn(HWND window);
void AllowScreenSaver();

} // namespace sdl
