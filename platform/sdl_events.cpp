// SDL's events as the window messages a Windows program receives: keys
// with their virtual-key codes, close requests, minimise and restore,
// size changes, focus; and the screen saver held off while the focused
// window's procedure asks for it.
#include "platform/sdl_backend.h"

#include <SDL_syswm.h> // on X11, also Xlib's names

using sdl::state;

namespace {

// How often the focused window is asked again whether the screen saver
// may start. Windows asks when it is about to start one; we cannot know
// that, so we ask now and then, which costs two calls of the procedure.
const Uint64 kScreenCheckMs = 20000;

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
    {SDLK_DOWN, VK_DOWN},       {SDLK_PAGEUP, 0x21},      {SDLK_PAGEDOWN, 0x22},
    {SDLK_END, 0x23},           {SDLK_HOME, 0x24},        {SDLK_INSERT, 0x2D},
    {SDLK_DELETE, 0x2E},        {SDLK_PAUSE, 0x13},       {SDLK_CAPSLOCK, 0x14},
};

WPARAM VirtualKey(SDL_Keycode key) {
    // Letters come as their capitals, digits as themselves, F1-F12 in a row.
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
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
    state.keyModifiers.reset();
#if defined(SDL_VIDEO_DRIVER_X11)
    if (msg.subsystem != SDL_SYSWM_X11) return;
    const XEvent &x = msg.msg.x11.event;
    if (x.type != KeyPress && x.type != KeyRelease) return;
    sdl::KeyModifiers mod;
    mod.down = x.type == KeyPress;
    mod.alt = (x.xkey.state & Mod1Mask) != 0;
    mod.ctrl = (x.xkey.state & ControlMask) != 0;
    state.keyModifiers = mod;
#else
    (void)msg;
#endif
}

// Keys pressed with Alt (but not AltGr's Ctrl+Alt), Alt itself and F10 are
// system keys, which the program leaves to DefWindowProcA (Alt+F4 closes).
void PostKey(const SDL_KeyboardEvent &e) {
    // Keys go to the focus window, also in the moment after it got the
    // focus and before SDL says so (its events then name no window).
    sdl::Window *w = sdl::FindWindow(e.windowID);
    if (!w) w = sdl::FindWindow(state.focus);
    const WPARAM vk = VirtualKey(e.keysym.sym);
    if (!w || !vk) return;
    const bool down = e.type == SDL_KEYDOWN;
    // The server's modifiers for this key when it gave them, else SDL's
    // (for the key events SDL makes up itself, on focus changes).
    bool alt = (e.keysym.mod & KMOD_ALT) != 0, ctrl = (e.keysym.mod & KMOD_CTRL) != 0;
    if (state.keyModifiers && state.keyModifiers->down == down) {
        alt = state.keyModifiers->alt;
        ctrl = state.keyModifiers->ctrl;
    }
    const bool system = (alt && !ctrl) || vk == VK_MENU || vk == VK_F10;
    // lParam: repeat count 1; bit 29 Alt held; bit 30 key was down before
    // (auto-repeat, key-up); bit 31 key going up.
    LPARAM lParam = 1;
    if (alt) lParam |= LPARAM(1) << 29;
    if (!down || e.repeat) lParam |= LPARAM(1) << 30;
    if (!down) lParam |= LPARAM(1) << 31;
    const UINT message =
        down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    layer::PostMessage(w->handle, message, vk, lParam);
}

void PostActivation(sdl::Window &w, WORD state) {
    layer::PostMessage(w.handle, WM_ACTIVATE, MAKEWPARAM(state, w.minimised ? 1 : 0), 0);
}

void OnWindowEvent(const SDL_WindowEvent &e) {
    sdl::Window *w = sdl::FindWindow(e.windowID);
    if (!w) return;
    int width = 0, height = 0;
    switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
        // What the close box sends on Windows; DefWindowProcA makes it WM_CLOSE.
        layer::PostMessage(w->handle, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        if (w->minimised) break;
        w->minimised = true;
        PostActivation(*w, WA_INACTIVE);
        sdl::ReportSize(*w, SIZE_MINIMIZED, 0, 0, false);
        break;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED:
    case SDL_WINDOWEVENT_SHOWN:
        if (!w->minimised) break;
        w->minimised = false;
        PostActivation(*w, WA_ACTIVE);
        SDL_GetWindowSize(w->window, &width, &height);
        sdl::ReportSize(*w, SIZE_RESTORED, width, height, false);
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        if (!w->minimised) sdl::ReportSize(*w, SIZE_RESTORED, e.data1, e.data2, false);
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        state.focus = w->handle;
        PostActivation(*w, WA_ACTIVE);
        sdl::AskToKeepScreenOn(w->handle);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        if (state.focus == w->handle) state.focus = nullptr;
        PostActivation(*w, WA_INACTIVE);
        sdl::AllowScreenSaver();
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
        PostKey(e.key);
        break;
    case SDL_WINDOWEVENT:
        OnWindowEvent(e.window);
        break;
    }
    state.keyModifiers.reset(); // they went with the event just taken, if any
    // SDL_QUIT follows the last window's close request, which the window
    // already has as a message; mouse and text input the program ignores.
}

// Whether the window's procedure swallows a system command rather than
// passing it on to DefWindowProcA, which would let the system go ahead.
bool Swallows(HWND window, WPARAM command, LPARAM lParam) {
    layer::lastDefaultSysCommand = 0;
    layer::SendMessage(window, WM_SYSCOMMAND, command, lParam);
    return layer::lastDefaultSysCommand == 0;
}

} // namespace

namespace sdl {

void AskToKeepScreenOn(HWND window) {
    const bool keepOn =
        Swallows(window, SC_SCREENSAVE, 0) && Swallows(window, SC_MONITORPOWER, 2); // 2: power off
    if (keepOn && !state.screenKeptOn) SDL_DisableScreenSaver();
    if (!keepOn && state.screenKeptOn) SDL_EnableScreenSaver();
    state.screenKeptOn = keepOn;
    state.nextScreenCheck = SDL_GetTicks64() + kScreenCheckMs;
}

void AllowScreenSaver() {
    if (state.screenKeptOn) SDL_EnableScreenSaver();
    state.screenKeptOn = false;
}

} // namespace sdl

namespace layer {

// One pump of the system's events per call: PeekMessageA calls this on
// every pass that finds the queue empty, so it must stay cheap.
void PumpEvents() {
    if (!state.videoReady) return;
    SDL_PumpEvents();
    SDL_Event e;
    while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0)
        Translate(e);
    if (state.focus && SDL_GetTicks64() >= state.nextScreenCheck)
        sdl::AskToKeepScreenOn(state.focus);
}

} // namespace layer
