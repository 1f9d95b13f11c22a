// The SDL2 driver under our Win32 layer, the real one on Linux.
//
// Does: any number of windows, framed or not, resizable or not; GL contexts
// in the compatibility profile (the fixed-function interface), one pixel
// format a window; the display's mode changed for a window that covers it
// and put back by the guard process however the program ends; message
// boxes shown from the guard's process, with the keyboard focus where no
// window manager gives it; the keyboard, with the modifiers the X server
// had down at each key; the cursor; the screen saver held off.
// Does not: run on a display other than X11 (the guard, the focus and the
// modifiers need Xlib; SDL itself could do more); the mouse and text
// input (the program reads neither); more than the first display.
#include "win32/layer.h"
#include "win32/sdl/guard.h"

#include <SDL.h>
#include <SDL_syswm.h> // on X11, also Xlib's names
#include <malloc.h>

#include <cstdlib>
#include <optional>

namespace {

// The driver's half of a window (the layer's record holds a pointer to it).
struct Native {
    SDL_Window *window;
    driver::WindowSpec asked;                // its title is the layer's, for the window's life
    Uint32 flags;                            // SDL flags it was made with
    std::optional<driver::PixelFormat> made; // GL attributes its SDL window has
    bool minimised;
};

// Alt and Ctrl as the display server had them at a key event.
struct KeyModifiers {
    bool down; // for a key going down
    bool alt, ctrl;
};

// The driver's state, in one place.
struct {
    std::optional<driver::PixelFormat> attributes; // what SDL's GL attributes are set to
    SDL_DisplayMode mode{};                        // the changed mode, while there is one
    SDL_Window *modeHolder = nullptr;              // holds it until a window of ours covers it
    Native *covering = nullptr;                    // the window that covers the display in it
    std::optional<KeyModifiers> keyModifiers;      // the server's, for the key event next
} sdl;

void SetAttributes(const driver::PixelFormat &f) {
    if (sdl.attributes == f) return;
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
    sdl.attributes = f;
}

// Makes (or makes again) the SDL window behind n with the GL attributes now
// set: on X11 these choose the window's visual, so they must be right
// before any context is made for it.
bool MakeSdlWindow(Native &n) {
    int width = n.asked.width, height = n.asked.height;
    if (n.asked.fullscreen) width = sdl.mode.w, height = sdl.mode.h;
    SDL_Window *made = SDL_CreateWindow(n.asked.title, 0, 0, width, height, n.flags);
    if (!made) return layer::Why("%s", SDL_GetError());
    if (n.asked.fullscreen && SDL_SetWindowDisplayMode(made, &sdl.mode) != 0) {
        layer::Why("%s", SDL_GetError());
        SDL_DestroyWindow(made);
        return false;
    }
    if (n.window) SDL_DestroyWindow(n.window);
    n.window = made;
    n.made = sdl.attributes;
    SDL_SetWindowData(made, "native", &n); // how its events find it
    return true;
}

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
    return any || layer::Why("the display has no %dx%d mode", width, height);
}

// SDL changes the mode only for a fullscreen window that is showing, so a
// blank one holds it until the program's own fullscreen window shows up
// and takes it over.
bool HoldMode(const SDL_DisplayMode &wanted) {
    sdl.modeHolder =
        SDL_CreateWindow("", 0, 0, wanted.w, wanted.h, SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
    if (!sdl.modeHolder) return layer::Why("%s", SDL_GetError());
    SDL_DisplayMode now;
    if (SDL_SetWindowDisplayMode(sdl.modeHolder, &wanted) != 0 ||
        SDL_SetWindowFullscreen(sdl.modeHolder, SDL_WINDOW_FULLSCREEN) != 0) {
        layer::Why("%s", SDL_GetError());
    } else {
        SDL_ShowWindow(sdl.modeHolder);
        // Success is what the display reports now, not what was asked.
        if (SDL_GetCurrentDisplayMode(0, &now) != 0) {
            layer::Why("%s", SDL_GetError());
        } else if (now.w == wanted.w && now.h == wanted.h) {
            return true;
        } else {
            layer::Why("the display stayed at %dx%d", now.w, now.h);
        }
    }
    SDL_DestroyWindow(sdl.modeHolder);
    sdl.modeHolder = nullptr;
    return false;
}

// Input ----------------------------------------------------------------------

// Virtual-key codes of the keys that are not letters, digits or F1-F12.
struct NamedKey {
    SDL_Keycode key;
    WPARAM vk;
};
const NamedKey kKeys[] = {
    {SDLK_BACKSPACE, VK_BACK},  {SDLK_TAB, VK_TAB},       {SDLK_RETURN, VK_RETURN},
    {SDLK_KP_ENTER, VK_RETURN}, {SDLK_ESCAPE, VK_ESCAPE}, {SDLK_SPACE, VK_SPACE},
    {SDLK_LSHIFT, VK_SHIFT},    {SDLK_RSHIFT, VK_SHIFT},  {SDLK_LCTRL, VK_CONTROL},
    {SDLK_RCTRL, VK_CONTROL},   {SDLK_LALT, VK_MENU},     {SDLK_RALT, VK_MENU},
    {SDLK_LEFT, VK_LEFT},       {SDLK_UP, VK_UP},         {SDLK_RIGHT, VK_RIGHT},
    {SDLK_DOWN, VK_DOWN},       {SDLK_PAGEUP, VK_PRIOR},  {SDLK_PAGEDOWN, VK_NEXT},
    {SDLK_END, VK_END},         {SDLK_HOME, VK_HOME},     {SDLK_INSERT, VK_INSERT},
    {SDLK_DELETE, VK_DELETE},   {SDLK_PAUSE, VK_PAUSE},   {SDLK_CAPSLOCK, VK_CAPITAL},
};

WPARAM VirtualKey(const SDL_Keysym &keysym) {
    const SDL_Keycode key = keysym.sym;
    // Letters come as their capitals, digits as themselves, F1-F12 in a row.
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_0) {
        const int digit = (key - SDLK_KP_1 + 1) % 10;
        return layer::KeypadKey(digit, (keysym.mod & KMOD_NUM) != 0);
    }
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + (key - SDLK_F1);
    for (const NamedKey &k : kKeys)
        if (k.key == key) return k.vk;
    return 0;
}

// The modifiers that SDL reports with a key come from its own record,
// which it keeps from the key events it passes on. On X11 that record can
// be wrong: SDL drops a key's release when a press of the same key waits
// within two milliseconds of it anywhere in the queue (its guess at the
// server's auto-repeat), so Alt released and pressed again around another
// key reads as Alt held across it; and AltGr comes as the right Alt. The
// server's own state with each key event says what was down: Alt is Mod1
// there, AltGr a modifier of its own. It comes just before SDL's event for
// the same key, as a system event.
void NoteSystemEvent(const SDL_SysWMmsg &msg) {
    sdl.keyModifiers.reset();
#if defined(SDL_VIDEO_DRIVER_X11)
    if (msg.subsystem != SDL_SYSWM_X11) return;
    const XEvent &x = msg.msg.x11.event;
    if (x.type != KeyPress && x.type != KeyRelease) return;
    sdl.keyModifiers = KeyModifiers{x.type == KeyPress, (x.xkey.state & Mod1Mask) != 0,
                                    (x.xkey.state & ControlMask) != 0};
#else
    (void)msg;
#endif
}

HWND WindowOfId(Uint32 id) {
    return layer::WindowOfNative(SDL_GetWindowData(SDL_GetWindowFromID(id), "native"));
}

void OnKey(const SDL_KeyboardEvent &e) {
    // In the moment after a window got the focus and before SDL says so,
    // its key events name no window: the layer gives them to the focus.
    const HWND window = WindowOfId(e.windowID);
    const bool down = e.type == SDL_KEYDOWN;
    // The server's modifiers for this key when it gave them, else SDL's
    // (for the key events SDL makes up itself, on focus changes).
    bool alt = (e.keysym.mod & KMOD_ALT) != 0, ctrl = (e.keysym.mod & KMOD_CTRL) != 0;
    if (sdl.keyModifiers && sdl.keyModifiers->down == down)
        alt = sdl.keyModifiers->alt, ctrl = sdl.keyModifiers->ctrl;
    layer::Key(window, VirtualKey(e.keysym), down, e.repeat != 0, alt, ctrl);
}

void OnWindowEvent(const SDL_WindowEvent &e) {
    SDL_Window *shown = SDL_GetWindowFromID(e.windowID);
    Native *n = shown ? static_cast<Native *>(SDL_GetWindowData(shown, "native")) : nullptr;
    const HWND window = layer::WindowOfNative(n);
    if (!window) return;
    // A minimise or restore is told first, whatever order SDL gives it in
    // among the focus changes around it: by now its flags say where the
    // window ended up.
    const bool minimised = (SDL_GetWindowFlags(shown) & SDL_WINDOW_MINIMIZED) != 0;
    if (minimised != n->minimised) {
        n->minimised = minimised;
        int width = 0, height = 0;
        SDL_GetWindowSize(shown, &width, &height);
        if (minimised)
            layer::Minimised(window);
        else
            layer::Restored(window, width, height);
    }
    switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
        layer::CloseAsked(window);
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        layer::Resized(window, e.data1, e.data2);
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_FOCUS_LOST:
        layer::Focused(window, e.event == SDL_WINDOWEVENT_FOCUS_GAINED);
        break;
    }
}

void Translate(const SDL_Event &e) {
    switch (e.type) {
    case SDL_SYSWMEVENT:
        NoteSystemEvent(*e.syswm.msg);
        return;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        OnKey(e.key);
        break;
    case SDL_WINDOWEVENT:
        OnWindowEvent(e.window);
        break;
    }
    sdl.keyModifiers.reset(); // they went with the event just taken, if any
    // SDL_QUIT follows the last window's close request, which the window
    // already has; mouse and text input the program ignores.
}

// The window's own X id, for what SDL does not do.
unsigned long XWindowOf(SDL_Window *window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11
               ? info.info.x11.window
               : 0;
}

} // namespace

namespace driver {

bool Open() {
    if (!guard::Start()) return false;
    // Every window and GL context brings buffers of a megabyte or so, and
    // F1 frees them and makes new ones. glibc maps a block that large on
    // its own, but after the first one is freed it raises its threshold
    // and serves the next ones from the heap, whose freed space stays
    // resident: a threshold set once does not slide.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    // Behave as a Windows program does: signals keep their default action,
    // the screen saver is the layer's to hold off, and a fullscreen window
    // stays up when another one takes the focus.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return layer::Why("%s", SDL_GetError());
    // Our own reference keeps the GL library loaded across window and
    // context cycles: loading and unloading Mesa's drivers again leaks.
    if (SDL_GL_LoadLibrary(nullptr) != 0) {
        layer::Why("%s", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    guard::EndWhenTheDisplayGoes();
    SDL_StopTextInput(); // the program reads keys, not text
    // The display system's own events too: on X11 they say which modifiers
    // the server had down at each key.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    std::atexit(SDL_Quit); // also puts back a display mode still changed
    return true;
}

void *MakeWindow(const WindowSpec &asked) {
    Native *n = new Native{nullptr, asked, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN, {}, false};
    if (!asked.frame) n->flags |= SDL_WINDOW_BORDERLESS;
    if (asked.resizable) n->flags |= SDL_WINDOW_RESIZABLE;
    if (asked.fullscreen) n->flags |= SDL_WINDOW_FULLSCREEN;
    if (!MakeSdlWindow(*n)) {
        delete n;
        return nullptr;
    }
    if (asked.fullscreen) sdl.covering = n;
    return n;
}

void FreeWindow(void *window) {
    Native *n = static_cast<Native *>(window);
    if (sdl.covering == n) sdl.covering = nullptr;
    if (SDL_GL_GetCurrentWindow() == n->window) SDL_GL_MakeCurrent(nullptr, nullptr);
    guard::GiveBackFocus(XWindowOf(n->window));
    SDL_DestroyWindow(n->window);
    delete n;
    // The window's GL context and buffers, gone by now, leave megabytes
    // free here and there in the heap, which would stay resident until
    // the next window happens to reuse them: their pages go back now.
    malloc_trim(0);
}

void SetVisible(void *window, bool visible) {
    Native *n = static_cast<Native *>(window);
    if (!visible) {
        guard::GiveBackFocus(XWindowOf(n->window));
        return SDL_HideWindow(n->window);
    }
    SDL_ShowWindow(n->window);
    SDL_RaiseWindow(n->window); // as far as the window manager allows
    guard::Focus(XWindowOf(n->window));
    if (n == sdl.covering && sdl.modeHolder) {
        // Our window holds the changed mode now.
        SDL_DestroyWindow(sdl.modeHolder);
        sdl.modeHolder = nullptr;
    }
}

bool SetFormat(void *window, const PixelFormat &format) {
    Native *n = static_cast<Native *>(window);
    if (n->made == format) return true;
    SetAttributes(format);
    return MakeSdlWindow(*n);
}

// One pump of the system's events per call: PeekMessageA calls this on
// every pass that finds the queue empty, so it must stay cheap.
void PumpEvents() {
    SDL_PumpEvents();
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
        Translate(e);
}

void WaitEvents(int milliseconds) {
    SDL_WaitEventTimeout(nullptr, milliseconds);
}

bool Present(void *window) {
    SDL_GL_SwapWindow(static_cast<Native *>(window)->window);
    return true;
}

// A hidden window, never shown, tells whether the display has a visual
// for the format.
bool ChooseFormat(const PixelFormat &format) {
    SetAttributes(format);
    SDL_Window *probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!probe) return layer::Why("%s", SDL_GetError());
    SDL_DestroyWindow(probe);
    return true;
}

void *MakeContext(void *window) {
    // SDL makes the new context current; WGL leaves the current one alone.
    SDL_Window *current = SDL_GL_GetCurrentWindow();
    SDL_GLContext was = SDL_GL_GetCurrentContext();
    SDL_GLContext context = SDL_GL_CreateContext(static_cast<Native *>(window)->window);
    if (!context) layer::Why("%s", SDL_GetError());
    SDL_GL_MakeCurrent(current, was);
    return context;
}

bool MakeCurrent(void *window, void *context) {
    if (!context) return SDL_GL_MakeCurrent(nullptr, nullptr) == 0;
    if (SDL_GL_MakeCurrent(static_cast<Native *>(window)->window, context) != 0)
        return layer::Why("%s", SDL_GetError());
    SDL_GL_SetSwapInterval(0); // present at once: the loop runs as fast as it draws
    return true;
}

void FreeContext(void *context) {
    SDL_GL_DeleteContext(context);
}

bool SetMode(int width, int height, int bits) {
    SDL_DisplayMode current;
    if (SDL_GetCurrentDisplayMode(0, &current) != 0) return layer::Why("%s", SDL_GetError());
    sdl.mode = current;
    if (current.w == width && current.h == height) return true;
    if (!guard::SaveMode()) return false;
    if (FindMode(width, height, bits, &sdl.mode) && HoldMode(sdl.mode)) return true;
    guard::RestoreMode();
    return false;
}

// SDL puts back the mode it found when it started; the guard, the one that
// was in force just before the change.
void RestoreMode() {
    if (sdl.modeHolder) SDL_DestroyWindow(sdl.modeHolder);
    sdl.modeHolder = nullptr;
    if (sdl.covering) SDL_SetWindowFullscreen(sdl.covering->window, 0);
    sdl.covering = nullptr;
    guard::RestoreMode();
}

void EndBox() {
    guard::EndBox();
}

void SetCursorShown(bool shown) {
    SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

void KeepScreenOn(bool on) {
    if (on)
        SDL_DisableScreenSaver();
    else
        SDL_EnableScreenSaver();
}

int ShowBox(const char *text, const char *caption, Buttons buttons, Icon icon) {
    const int flags = icon == kError     ? SDL_MESSAGEBOX_ERROR
                      : icon == kWarning ? SDL_MESSAGEBOX_WARNING
                                         : SDL_MESSAGEBOX_INFORMATION; // information and question
    return guard::Box(text, caption, buttons == kYesNo, flags);
}

} // namespace driver
