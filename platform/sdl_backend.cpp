// The SDL2 backend of our Win32 layer: the module, stock icon and cursor,
// display modes, windows, device contexts, pixel formats, GL contexts and
// message boxes, on whatever display SDL drives. Every SDL failure comes
// back as the Win32 failure result, so the program's own boxes report it.
#include "platform/sdl_backend.h"

#include <malloc.h>

#include <cstdio>

namespace sdl {

State state;

bool operator==(const PixelFormat &a, const PixelFormat &b) {
    return a.doubleBuffer == b.doubleBuffer && a.red == b.red && a.green == b.green &&
           a.blue == b.blue && a.alpha == b.alpha && a.depth == b.depth && a.stencil == b.stencil &&
           a.accum == b.accum;
}

void KeepLargeBlocksOffTheHeap() {
    // Every window and GL context brings buffers of a megabyte or so, and
    // F1 frees them and makes new ones. glibc maps a block that large on
    // its own, but after the first one is freed it raises its threshold
    // and serves the next ones from the heap, whose freed space stays
    // resident: the process then steps up by a megabyte now and then as
    // windows come and go. A threshold set once does not slide.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}

bool StartVideo() {
    if (state.videoReady) return true;
    // Behave as a Windows program does: signals keep their default action,
    // the screen saver is ours to hold off (only while the window procedure
    // asks), and a fullscreen window stays up when another one takes focus.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    // Our own reference keeps the GL library loaded across window and
    // context cycles: loading and unloading Mesa's drivers again leaks.
    if (SDL_GL_LoadLibrary(nullptr) != 0) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_StopTextInput(); // the program reads keys, not text
    // The display system's own events too: on X11 they say which modifiers
    // the server had down at each key (see sdl_events.cpp).
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    SDL_ShowCursor(state.cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    state.videoReady = true;
    return true;
}

void Shutdown() {
    if (state.videoReady) SDL_GL_UnloadLibrary();
    SDL_Quit(); // also puts back a display mode still changed
    state.videoReady = false;
}

Window *FindWindow(HWND handle) {
    for (Window &w : state.windows)
        if (w.handle == handle) return &w;
    return nullptr;
}

Window *FindWindow(Uint32 sdlWindowId) {
    for (Window &w : state.windows)
        if (SDL_GetWindowID(w.window) == sdlWindowId) return &w;
    return nullptr;
}

void ReportSize(Window &window, WPARAM kind, int width, int height, bool now) {
    if (window.reportedWidth == width && window.reportedHeight == height) return;
    window.reportedWidth = width;
    window.reportedHeight = height;
    if (now) {
        layer::SendMessage(window.handle, WM_SIZE, kind, MAKELPARAM(width, height));
    } else {
        layer::PostMessage(window.handle, WM_SIZE, kind, MAKELPARAM(width, height));
    }
}

} // namespace sdl

using sdl::state;

namespace {

// Handles for what has no SDL counterpart: they only need to be distinct
// and non-null.
const HMODULE kModule = reinterpret_cast<HMODULE>(std::uintptr_t{0x400000});

bool IsStockResource(LPCSTR name, WORD id) {
    return reinterpret_cast<std::uintptr_t>(name) == id;
}

// A device context is its window's own (CS_OWNDC): one per window, named
// by the window's handle.
HDC DeviceContextOf(HWND window) {
    return reinterpret_cast<HDC>(window);
}
sdl::Window *WindowOf(HDC dc) {
    return sdl::FindWindow(reinterpret_cast<HWND>(dc));
}

sdl::Context *FindContext(HGLRC handle) {
    for (sdl::Context &c : state.contexts)
        if (c.handle == handle) return &c;
    return nullptr;
}

// Display modes --------------------------------------------------------------

// The display's mode of exactly width x height, of the wanted depth when
// it has one (X11 runs every mode at the screen's own depth).
bool FindMode(int width, int height, int bits, SDL_DisplayMode *found) {
    bool any = false;
    for (int i = 0, n = SDL_GetNumDisplayModes(0); i < n; ++i) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) != 0 || m.w != width || m.h != height) continue;
        if (!any || (int)SDL_BITSPERPIXEL(m.format) == bits) *found = m;
        any = true;
    }
    return any;
}

void RestoreDisplayMode() {
    if (state.modeHolder) SDL_DestroyWindow(state.modeHolder);
    state.modeHolder = nullptr;
    for (sdl::Window &w : state.windows) {
        if (!w.fullscreen) continue;
        SDL_SetWindowFullscreen(w.window, 0); // SDL puts the desktop mode back
        w.fullscreen = false;
    }
    state.modeChanged = false;
}

// SDL changes the mode only for a fullscreen window that is showing, so a
// blank one holds it until the program's own fullscreen window shows up
// and takes it over.
bool HoldMode(const SDL_DisplayMode &mode) {
    state.modeHolder =
        SDL_CreateWindow("", 0, 0, mode.w, mode.h, SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
    if (!state.modeHolder) return false;
    SDL_DisplayMode now;
    if (SDL_SetWindowDisplayMode(state.modeHolder, &mode) == 0 &&
        SDL_SetWindowFullscreen(state.modeHolder, SDL_WINDOW_FULLSCREEN) == 0) {
        SDL_ShowWindow(state.modeHolder);
        // Success is what the display reports now, not what was asked.
        if (SDL_GetCurrentDisplayMode(0, &now) == 0 && now.w == mode.w && now.h == mode.h)
            return true;
    }
    SDL_DestroyWindow(state.modeHolder);
    state.modeHolder = nullptr;
    return false;
}

// Pixel formats ----------------------------------------------------------------

// The attributes pfd asks for; false when it asks for something other than
// RGBA drawing with GL into a window, which no format of ours offers.
bool FormatFor(const PIXELFORMATDESCRIPTOR &pfd, sdl::PixelFormat *format) {
    const DWORD needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if ((pfd.dwFlags & needed) != needed || pfd.iPixelType != PFD_TYPE_RGBA) return false;
    sdl::PixelFormat f{};
    f.doubleBuffer = (pfd.dwFlags & PFD_DOUBLEBUFFER) != 0;
    if (pfd.cRedBits || pfd.cGreenBits || pfd.cBlueBits) {
        f.red = pfd.cRedBits, f.green = pfd.cGreenBits, f.blue = pfd.cBlueBits;
    } else if (pfd.cColorBits >= 24) {
        f.red = f.green = f.blue = 8;
    } else if (pfd.cColorBits >= 15) {
        f.red = f.blue = 5, f.green = pfd.cColorBits - 10; // 5-6-5 or 5-5-5
    } else if (pfd.cColorBits > 0) {
        f.red = f.green = 3, f.blue = 2;
    }
    f.alpha = pfd.cAlphaBits;
    f.depth = pfd.cDepthBits;
    f.stencil = pfd.cStencilBits;
    f.accum = pfd.cAccumBits;
    *format = f;
    return true;
}

void SetAttributes(const sdl::PixelFormat &f) {
    if (state.attributes && *state.attributes == f) return;
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, f.doubleBuffer);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, f.red);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, f.green);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, f.blue);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, f.alpha);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, f.depth);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, f.stencil);
    for (SDL_GLattr a : {SDL_GL_ACCUM_RED_SIZE, SDL_GL_ACCUM_GREEN_SIZE, SDL_GL_ACCUM_BLUE_SIZE,
                         SDL_GL_ACCUM_ALPHA_SIZE})
        SDL_GL_SetAttribute(a, f.accum / 4);
    // The program draws with the fixed-function interface.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    state.attributes = f;
}

// Windows ----------------------------------------------------------------------

// Makes (or makes again) the SDL window behind w, with the GL attributes
// now set: on X11 these choose the window's visual, so they must be right
// before any context is made for it.
bool MakeSdlWindow(sdl::Window &w) {
    SDL_Window *made = SDL_CreateWindow(w.title.c_str(), w.x, w.y, w.width, w.height, w.flags);
    if (!made) return false;
    if (w.fullscreen && SDL_SetWindowDisplayMode(made, &state.mode) != 0) {
        SDL_DestroyWindow(made);
        return false;
    }
    if (w.window) SDL_DestroyWindow(w.window);
    w.window = made;
    w.made = state.attributes;
    return true;
}

} // namespace

// KERNEL32 -----------------------------------------------------------------------

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    return moduleName ? NULL : kModule;
}

// USER32 -------------------------------------------------------------------------

// Only the stock ones exist: the program has no resources of its own here.
HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (instance || !IsStockResource(name, 32517)) return NULL; // IDI_WINLOGO
    return reinterpret_cast<HICON>(std::uintptr_t{32517});
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance || !IsStockResource(name, 32512)) return NULL; // IDC_ARROW
    return reinterpret_cast<HCURSOR>(std::uintptr_t{32512});
}

LONG ChangeDisplaySettingsA(DEVMODEA *mode, DWORD /*flags*/) {
    if (!mode) {
        RestoreDisplayMode();
        return DISP_CHANGE_SUCCESSFUL;
    }
    if (!sdl::StartVideo()) return DISP_CHANGE_FAILED;
    SDL_DisplayMode current;
    if (SDL_GetCurrentDisplayMode(0, &current) != 0) return DISP_CHANGE_FAILED;
    const int width = (mode->dmFields & DM_PELSWIDTH) ? (int)mode->dmPelsWidth : current.w;
    const int height = (mode->dmFields & DM_PELSHEIGHT) ? (int)mode->dmPelsHeight : current.h;
    const int bits = (mode->dmFields & DM_BITSPERPEL) ? (int)mode->dmBitsPerPel : 0;

    RestoreDisplayMode(); // one change at a time, as on Windows
    SDL_DisplayMode wanted = current;
    if (current.w != width || current.h != height) {
        if (!FindMode(width, height, bits, &wanted) || !HoldMode(wanted))
            return DISP_CHANGE_BADMODE;
    }
    state.modeChanged = true;
    state.mode = wanted;
    return DISP_CHANGE_SUCCESSFUL;
}

int ShowCursor(BOOL show) {
    state.cursorCount += show ? 1 : -1;
    if (state.videoReady) SDL_ShowCursor(state.cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return state.cursorCount;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND /*parent*/, HMENU /*menu*/, HINSTANCE instance,
                     LPVOID /*param*/) {
    if (!sdl::StartVideo()) return NULL;
    layer::Window *known = layer::AddWindow(className, instance, style, exStyle);
    if (!known) return NULL;

    sdl::Window w{};
    w.handle = known->handle;
    w.title = windowName ? windowName : "";
    w.reportedWidth = w.reportedHeight = -1;
    w.flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN; // shown by ShowWindow, as on Windows
    if ((style & WS_CAPTION) != WS_CAPTION) w.flags |= SDL_WINDOW_BORDERLESS;
    if (style & WS_THICKFRAME) w.flags |= SDL_WINDOW_RESIZABLE;
    // A popup made while the display mode is changed covers the display.
    w.fullscreen = (style & WS_POPUP) && state.modeChanged;
    if (w.fullscreen) {
        w.flags |= SDL_WINDOW_FULLSCREEN;
        w.x = w.y = 0;
        w.width = state.mode.w;
        w.height = state.mode.h;
    } else {
        // The sizes passed are the outer ones; SDL's are the client area's.
        const RECT insets = layer::FrameInsets(style, exStyle);
        w.x = x;
        w.y = y;
        w.width = width - insets.left - insets.right;
        w.height = height - insets.top - insets.bottom;
    }
    if (w.width <= 0 || w.height <= 0 || !MakeSdlWindow(w)) {
        layer::RemoveWindow(w.handle);
        return NULL;
    }
    state.windows.push_back(w);
    sdl::ReportSize(state.windows.back(), SIZE_RESTORED, w.width, w.height, true);
    return w.handle;
}

BOOL DestroyWindow(HWND window) {
    sdl::Window *w = sdl::FindWindow(window);
    if (!w) return FALSE;
    layer::SendMessage(window, WM_DESTROY, 0, 0);
    if (state.focus == window) {
        state.focus = nullptr;
        sdl::AllowScreenSaver();
    }
    SDL_DestroyWindow(w->window);
    state.windows.remove_if([&](const sdl::Window &k) { return k.handle == window; });
    layer::RemoveWindow(window);
    // The window's GL context and buffers, gone by now, leave megabytes
    // free here and there in the heap, which would stay resident until
    // the next window happens to reuse them: their pages go back now.
    malloc_trim(0);
    return TRUE;
}

BOOL ShowWindow(HWND window, int command) {
    sdl::Window *w = sdl::FindWindow(window);
    if (!w) return FALSE;
    const BOOL wasVisible = (SDL_GetWindowFlags(w->window) & SDL_WINDOW_SHOWN) != 0;
    if (command == SW_HIDE) {
        SDL_HideWindow(w->window);
        return wasVisible;
    }
    SDL_ShowWindow(w->window);
    if (w->fullscreen && state.modeHolder) {
        // Our window holds the changed mode now.
        SDL_DestroyWindow(state.modeHolder);
        state.modeHolder = nullptr;
    }
    int width = 0, height = 0;
    SDL_GetWindowSize(w->window, &width, &height);
    sdl::ReportSize(*w, SIZE_RESTORED, width, height, true);
    layer::SendMessage(window, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
    return wasVisible;
}

BOOL SetForegroundWindow(HWND window) {
    sdl::Window *w = sdl::FindWindow(window);
    if (!w) return FALSE;
    SDL_RaiseWindow(w->window); // as far as the window manager allows
    return TRUE;
}

HWND SetFocus(HWND window) {
    const HWND previous = state.focus;
    sdl::Window *w = sdl::FindWindow(window);
    if (w && SDL_SetWindowInputFocus(w->window) == 0) state.focus = window;
    return previous;
}

HDC GetDC(HWND window) {
    return sdl::FindWindow(window) ? DeviceContextOf(window) : NULL;
}

int ReleaseDC(HWND window, HDC dc) {
    // The window keeps its own device context; releasing only checks it.
    return sdl::FindWindow(window) && dc == DeviceContextOf(window);
}

int MessageBoxA(HWND /*owner*/, LPCSTR text, LPCSTR caption, UINT type) {
    // Return answers the default (first) button, Escape the last one.
    static const SDL_MessageBoxButtonData kYesNo[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"},
    };
    static const SDL_MessageBoxButtonData kOk[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK,
         "OK"},
    };
    const bool yesNo = (type & MB_TYPEMASK) == MB_YESNO;
    Uint32 icon = SDL_MESSAGEBOX_INFORMATION; // information and question
    switch (type & MB_ICONMASK) {
    case MB_ICONSTOP:
        icon = SDL_MESSAGEBOX_ERROR;
        break;
    case MB_ICONEXCLAMATION:
        icon = SDL_MESSAGEBOX_WARNING;
        break;
    }

    SDL_MessageBoxData box{};
    box.flags = icon | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.title = caption ? caption : "Error";
    box.message = text ? text : "";
    box.numbuttons = yesNo ? 2 : 1;
    box.buttons = yesNo ? kYesNo : kOk;
    int pressed = -1;
    if (SDL_ShowMessageBox(&box, &pressed) != 0) {
        // Nowhere to show it: the user still learns what it said.
        std::fprintf(stderr, "%s: %s\n(this message box could not be shown: %s)\n", box.title,
                     box.message, SDL_GetError());
        return 0;
    }
    if (pressed < 0) return yesNo ? IDNO : IDOK; // closed without a button
    return pressed;
}

// GDI32 and WGL ------------------------------------------------------------------

int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR *pfd) {
    sdl::PixelFormat f;
    if (!WindowOf(dc) || !pfd || !FormatFor(*pfd, &f)) return 0;
    for (size_t i = 0; i < state.formats.size(); ++i)
        if (state.formats[i] == f) return (int)i + 1;
    // New to us: a hidden window, never shown, tells whether the display
    // has a visual for it.
    SetAttributes(f);
    SDL_Window *probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!probe) return 0;
    SDL_DestroyWindow(probe);
    state.formats.push_back(f);
    return (int)state.formats.size();
}

BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR * /*pfd*/) {
    sdl::Window *w = WindowOf(dc);
    if (!w || format < 1 || format > (int)state.formats.size()) return FALSE;
    if (w->format) return w->format == format; // set once for the window's life
    const sdl::PixelFormat &f = state.formats[format - 1];
    if (!(w->made && *w->made == f)) {
        SetAttributes(f);
        if (!MakeSdlWindow(*w)) return FALSE;
    }
    w->format = format;
    return TRUE;
}

BOOL SwapBuffers(HDC dc) {
    sdl::Window *w = WindowOf(dc);
    if (!w) return FALSE;
    SDL_GL_SwapWindow(w->window);
    return TRUE;
}

HGLRC wglCreateContext(HDC dc) {
    sdl::Window *w = WindowOf(dc);
    if (!w || !w->format) return NULL;
    // SDL makes the new context current; WGL leaves the current one alone.
    SDL_Window *window = SDL_GL_GetCurrentWindow();
    SDL_GLContext current = SDL_GL_GetCurrentContext();
    SDL_GLContext context = SDL_GL_CreateContext(w->window);
    if (!context) return NULL;
    SDL_GL_MakeCurrent(window, current);
    const HGLRC handle = reinterpret_cast<HGLRC>(++state.lastContext);
    state.contexts.push_back({handle, context});
    return handle;
}

BOOL wglMakeCurrent(HDC dc, HGLRC context) {
    if (!context) return SDL_GL_MakeCurrent(nullptr, nullptr) == 0;
    sdl::Window *w = WindowOf(dc);
    sdl::Context *c = FindContext(context);
    if (!w || !c || SDL_GL_MakeCurrent(w->window, c->context) != 0) return FALSE;
    SDL_GL_SetSwapInterval(0); // present at once: the loop runs as fast as it draws
    return TRUE;
}

BOOL wglDeleteContext(HGLRC context) {
    sdl::Context *c = FindContext(context);
    if (!c) return FALSE;
    SDL_GL_DeleteContext(c->context);
    state.contexts.erase(state.contexts.begin() + (c - state.contexts.data()));
    return TRUE;
}

HGLRC wglGetCurrentContext() {
    const SDL_GLContext current = SDL_GL_GetCurrentContext();
    for (const sdl::Context &c : state.contexts)
        if (current && c.context == current) return c.handle;
    return NULL;
}
