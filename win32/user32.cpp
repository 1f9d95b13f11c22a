// USER32, the window manager: window classes, windows, device contexts, the
// message queue and the default window procedure, and the messages that
// each call and each piece of user input sends, in the order Windows sends
// them. The native windows come from the driver.
#include "win32/layer.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <errno.h>
#include <list>
#include <signal.h>
#include <string>

namespace {

struct WindowClass {
    std::string name;
    WNDCLASSA info;
    ATOM atom;
};

std::list<WindowClass> classes;
std::list<layer::Window> windows;
std::deque<MSG> queue;
bool quitPosted = false;
int quitCode = 0;
std::uintptr_t lastHandle = 0;
HWND activeWindow = nullptr, focusWindow = nullptr;

// Whether the screen saver is held off: only while the focused window's
// procedure swallows the system's requests to start it. Windows asks when
// it is about to start one; we cannot know that, so we ask when a window
// takes the focus and every 20 seconds after.
bool screenKeptOn = false;

// SIGTERM, SIGINT and SIGHUP ask the program to close, as the close box
// does; a box that is up goes first. Asked while no window of ours is up,
// they end the program without one (layer::Ending).
volatile sig_atomic_t closeAsked = 0;
void AskToClose(int) {
    closeAsked = 1;
    driver::EndBox();
}
// Taken as the process starts, before anything else runs: a close request
// while the display opens (SDL takes a moment) must not kill the program
// outright.
bool TakeCloseRequests() {
    struct sigaction close {};
    close.sa_handler = AskToClose;
    close.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &close, nullptr);
    return true;
}
[[maybe_unused]] const bool closeRequestsTaken = TakeCloseRequests();
std::chrono::steady_clock::time_point nextScreenCheck;

WindowClass *LookUpClass(LPCSTR name) {
    if (!name) return nullptr;
    for (WindowClass &c : classes)
        if (c.name == name) return &c;
    return nullptr;
}

bool Matches(const MSG &msg, HWND window, UINT first, UINT last) {
    if (window && msg.hwnd != window) return false;
    if (first == 0 && last == 0) return true;
    return msg.message >= first && msg.message <= last;
}

// The character a key-down produces, or 0. Letters come out in lower case:
// the layer keeps no shift state, and the program reads no characters.
WPARAM CharacterOf(WPARAM key) {
    switch (key) {
    case VK_BACK:
    case VK_TAB:
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_SPACE:
        return key;
    }
    if (key >= '0' && key <= '9') return key;
    if (key >= 'A' && key <= 'Z') return key - 'A' + 'a';
    return 0;
}

// Frame sizes that AdjustWindowRectEx adds for a style.
RECT FrameInsets(DWORD style) {
    const LONG border = (style & WS_THICKFRAME) ? 8 : 0;
    const LONG caption = ((style & WS_CAPTION) == WS_CAPTION) ? 23 : 0;
    return {border, border + caption, border, border};
}

void AskAboutScreenSaver(HWND window) {
    screenKeptOn = true; // unless the default procedure carries a request out
    layer::Send(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    layer::Send(window, WM_SYSCOMMAND, SC_MONITORPOWER, 2); // 2: power off
    driver::KeepScreenOn(screenKeptOn);
    nextScreenCheck = std::chrono::steady_clock::now() + std::chrono::seconds(20);
}

// Whether a window is minimised: the high word of WM_ACTIVATE's wParam.
bool IsMinimised(HWND window) {
    const layer::Window *w = layer::Lookup(window);
    return w && w->minimised;
}

// The window taking or losing the foreground and the keyboard focus, with
// the program as a whole when it is its only window.
void Activate(HWND window, bool active) {
    if (active) {
        if (activeWindow == window) return;
        activeWindow = window;
        layer::Send(window, WM_ACTIVATEAPP, TRUE, 0);
        layer::Send(window, WM_NCACTIVATE, TRUE, 0);
        layer::Send(window, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, IsMinimised(window)), 0);
        SetFocus(window);
        nextScreenCheck = {}; // asked at the next look for input
    } else {
        if (activeWindow != window) return;
        activeWindow = nullptr;
        layer::Send(window, WM_NCACTIVATE, FALSE, 0);
        layer::Send(window, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsMinimised(window)), 0);
        layer::Send(window, WM_ACTIVATEAPP, FALSE, 0);
        if (focusWindow == window) {
            focusWindow = nullptr;
            layer::Send(window, WM_KILLFOCUS, 0, 0);
        }
        screenKeptOn = false;
        driver::KeepScreenOn(false);
    }
}

void Forget(HWND window) {
    windows.remove_if([&](const layer::Window &w) { return w.handle == window; });
    queue.erase(
        std::remove_if(queue.begin(), queue.end(), [&](const MSG &m) { return m.hwnd == window; }),
        queue.end());
}

BOOL TakePosted(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (!Matches(*it, window, first, last)) continue;
        *msg = *it;
        if (remove & PM_REMOVE) queue.erase(it);
        return TRUE;
    }
    return FALSE;
}

} // namespace

namespace layer {

Window *Lookup(HWND handle) {
    for (Window &w : windows)
        if (handle && w.handle == handle) return &w;
    return nullptr;
}

// A window's own device context (CS_OWNDC): named by the window's handle.
HDC DeviceContextOf(const Window &w) {
    return reinterpret_cast<HDC>(w.handle);
}
Window *WindowOfDC(HDC dc) {
    return Lookup(reinterpret_cast<HWND>(dc));
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window *w = Lookup(window);
    return w ? w->proc(window, message, wParam, lParam) : 0;
}

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    queue.push_back(msg);
}

bool Start() {
    static int started = -1;
    if (started >= 0) return started;
    started = driver::Open();
    return started;
}

// A close request with no window of ours to take it: every later box is
// answered at once without showing, and no window is made, so that the
// program's own failure paths end it, quietly.
bool Ending() {
    return closeAsked && windows.empty();
}

bool Ready(const char *call) {
    const bool open = Start();
    if (!open) PrintRefusal(call);
    return open;
}

// Why the last driver call failed, as the driver said where it failed.
std::string why;

bool Why(const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    why = text;
    return false;
}

void PrintRefusal(const char *call) {
    if (why.empty()) why = "the system gave no reason";
    if (call)
        std::fprintf(stderr, "%s: %s: %s\n", program_invocation_short_name, call, why.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, why.c_str());
    why.clear();
}

HWND WindowOfNative(void *native) {
    for (Window &w : windows)
        if (native && w.native == native) return w.handle;
    return nullptr;
}

WPARAM KeypadKey(int digit, bool numLock) {
    static const WPARAM kWithout[] = {0x2D, 0x23,     VK_DOWN, 0x22,  VK_LEFT,
                                      0x0C, VK_RIGHT, 0x24,    VK_UP, 0x21};
    return numLock ? VK_NUMPAD0 + digit : kWithout[digit];
}

// lParam: repeat count 1; bit 29 Alt held; bit 30 key down before (an
// auto-repeat, or a key-up); bit 31 key going up. Keys with Alt (but not
// AltGr's Ctrl+Alt), Alt itself and F10 are system keys.
void Key(HWND window, WPARAM vk, bool down, bool repeat, bool alt, bool ctrl) {
    if (!window) window = focusWindow; // keys go to the focus window
    if (!Lookup(window) || vk == 0 || vk > 255) return;
    if (vk == VK_MENU) alt = down; // Alt itself: held from its press on
    const bool system = (alt && !ctrl) || vk == VK_MENU || vk == VK_F10;
    LPARAM lParam = 1;
    if (alt) lParam |= LPARAM(1) << 29;
    if (!down || repeat) lParam |= LPARAM(1) << 30;
    if (!down) lParam |= LPARAM(1) << 31;
    const UINT message =
        down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    Post(window, message, vk, lParam);
}

// What the close box sends; DefWindowProcA makes it WM_CLOSE.
void CloseAsked(HWND window) {
    Post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// A minimised window gives up the foreground and a restored one takes it
// back; either way it hears WM_ACTIVATE with its minimised state, and then
// its new size.
void Minimised(HWND window, bool minimised) {
    Window *w = Lookup(window);
    if (!w || w->minimised == minimised) return;
    w->minimised = minimised;
    if ((activeWindow == window) != minimised)
        Send(window, WM_ACTIVATE, MAKEWPARAM(minimised ? WA_INACTIVE : WA_ACTIVE, minimised), 0);
    else
        Activate(window, !minimised);
    if ((w = Lookup(window)))
        Send(window, WM_SIZE, minimised ? SIZE_MINIMIZED : SIZE_RESTORED,
             minimised ? 0 : MAKELPARAM(w->width, w->height));
}

void Resized(HWND window, int width, int height) {
    Window *w = Lookup(window);
    if (!w || (w->width == width && w->height == height)) return;
    w->width = width;
    w->height = height;
    if (!w->minimised) Send(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

void Focused(HWND window, bool focused) {
    if (Lookup(window)) Activate(window, focused);
}

} // namespace layer

using layer::Send;

// Classes ----------------------------------------------------------------------

ATOM RegisterClassA(const WNDCLASSA *wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || LookUpClass(wc->lpszClassName)) return 0;
    // Class atoms come from 0xC000 to 0xFFFF and are used again once their
    // class is gone, so a program may register and unregister for ever.
    ATOM atom = 0xC000;
    while (std::any_of(classes.begin(), classes.end(),
                       [&](const WindowClass &c) { return c.atom == atom; })) {
        if (atom == 0xFFFF) return 0;
        ++atom;
    }
    classes.push_back({wc->lpszClassName, *wc, atom});
    return atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE /*instance*/) {
    WindowClass *c = LookUpClass(className);
    if (!c) return FALSE;
    for (const layer::Window &w : windows)
        if (w.atom == c->atom) return FALSE; // still in use
    classes.remove_if([&](const WindowClass &k) { return &k == c; });
    return TRUE;
}

// Only the stock ones exist: the program has no resources of its own here.
HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (instance || name != IDI_WINLOGO) return NULL;
    return reinterpret_cast<HICON>(std::uintptr_t{32517});
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance || name != IDC_ARROW) return NULL;
    return reinterpret_cast<HCURSOR>(std::uintptr_t{32512});
}

// Windows ----------------------------------------------------------------------

BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL /*menu*/, DWORD /*exStyle*/) {
    if (!rect) return FALSE;
    const RECT insets = FrameInsets(style);
    rect->left -= insets.left;
    rect->top -= insets.top;
    rect->right += insets.right;
    rect->bottom += insets.bottom;
    return TRUE;
}

HWND CreateWindowExA(DWORD /*exStyle*/, LPCSTR className, LPCSTR windowName, DWORD style, int /*x*/,
                     int /*y*/, int width, int height, HWND /*parent*/, HMENU /*menu*/,
                     HINSTANCE /*instance*/, LPVOID /*param*/) {
    const WindowClass *c = LookUpClass(className);
    if (!c || layer::Ending() || !layer::Ready("CreateWindowExA")) return NULL;
    // The sizes passed are the outer ones; the driver's are the client
    // area's. A popup made while the display mode is changed covers it.
    const RECT insets = FrameInsets(style);
    driver::WindowSpec asked{};
    asked.title = windowName ? windowName : "";
    asked.width = width - insets.left - insets.right;
    asked.height = height - insets.top - insets.bottom;
    asked.frame = (style & WS_CAPTION) == WS_CAPTION;
    asked.resizable = (style & WS_THICKFRAME) != 0;
    asked.fullscreen = (style & WS_POPUP) && layer::ModeChanged();
    if (asked.width <= 0 || asked.height <= 0) return NULL;
    void *native = driver::MakeWindow(asked);
    if (!native) {
        layer::PrintRefusal("CreateWindowExA");
        return NULL;
    }
    const HWND handle = reinterpret_cast<HWND>(++lastHandle);
    windows.push_back(
        {handle, c->info.lpfnWndProc, c->atom, asked.width, asked.height, false, false, 0, native});

    Send(handle, WM_GETMINMAXINFO, 0, 0);
    bool made = Send(handle, WM_NCCREATE, 0, 0) != 0;
    if (made) {
        Send(handle, WM_NCCALCSIZE, FALSE, 0);
        made = Send(handle, WM_CREATE, 0, 0) != -1;
        if (!made) Send(handle, WM_DESTROY, 0, 0);
    }
    if (!made) {
        Send(handle, WM_NCDESTROY, 0, 0);
        driver::FreeWindow(native);
        Forget(handle);
        return NULL;
    }
    return handle;
}

BOOL DestroyWindow(HWND window) {
    layer::Window *w = layer::Lookup(window);
    if (!w) return FALSE;
    if (w->visible) {
        Send(window, WM_WINDOWPOSCHANGING, 0, 0);
        driver::SetVisible(w->native, false);
        w->visible = false;
        Send(window, WM_WINDOWPOSCHANGED, 0, 0);
    }
    Activate(window, false);
    if (focusWindow == window) SetFocus(NULL);
    Send(window, WM_DESTROY, 0, 0);
    Send(window, WM_NCDESTROY, 0, 0);
    if ((w = layer::Lookup(window))) driver::FreeWindow(w->native);
    Forget(window);
    return TRUE;
}

BOOL ShowWindow(HWND window, int command) {
    layer::Window *w = layer::Lookup(window);
    if (!w) return FALSE;
    const BOOL wasVisible = w->visible;
    const bool show = command != SW_HIDE;
    if (w->visible == show) return wasVisible;
    Send(window, WM_SHOWWINDOW, show, 0);
    Send(window, WM_WINDOWPOSCHANGING, 0, 0);
    driver::SetVisible(w->native, show);
    w->visible = show;
    Activate(window, show);
    Send(window, WM_WINDOWPOSCHANGED, 0, 0);
    if (show && (w = layer::Lookup(window))) {
        Send(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w->width, w->height));
        Send(window, WM_MOVE, 0, 0);
    }
    return wasVisible;
}

BOOL SetForegroundWindow(HWND window) {
    layer::Window *w = layer::Lookup(window);
    if (!w || !w->visible) return FALSE;
    Activate(window, true);
    return TRUE;
}

HWND SetFocus(HWND window) {
    const HWND previous = focusWindow;
    if (window == previous || (window && !layer::Lookup(window))) return previous;
    focusWindow = window;
    if (previous) Send(previous, WM_KILLFOCUS, (WPARAM)window, 0);
    if (window) Send(window, WM_SETFOCUS, (WPARAM)previous, 0);
    return previous;
}

HDC GetDC(HWND window) {
    const layer::Window *w = layer::Lookup(window);
    return w ? layer::DeviceContextOf(*w) : NULL;
}

// The window keeps its own device context; releasing only checks it.
int ReleaseDC(HWND window, HDC dc) {
    const layer::Window *w = layer::Lookup(window);
    return w && dc == layer::DeviceContextOf(*w);
}

// Messages ---------------------------------------------------------------------

// Takes the first posted message; failing that the quit message, once
// everything posted before it is taken; failing that, fresh input from the
// system.
BOOL PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
    if (TakePosted(msg, window, first, last, remove)) return TRUE;
    if (quitPosted && Matches(MSG{nullptr, WM_QUIT, 0, 0, 0, {0, 0}}, window, first, last)) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = (WPARAM)quitCode;
        if (remove & PM_REMOVE) quitPosted = false;
        return TRUE;
    }
    if (closeAsked) {
        closeAsked = 0;
        if (!windows.empty())
            layer::CloseAsked(activeWindow ? activeWindow : windows.back().handle);
        else
            PostQuitMessage(0);
    }
    driver::PumpEvents();
    if (focusWindow && std::chrono::steady_clock::now() >= nextScreenCheck)
        AskAboutScreenSaver(focusWindow);
    return TakePosted(msg, window, first, last, remove);
}

void PostQuitMessage(int exitCode) {
    quitPosted = true;
    quitCode = exitCode;
}

BOOL TranslateMessage(const MSG *msg) {
    if (!msg) return FALSE;
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)
        return msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP;
    if (WPARAM c = CharacterOf(msg->wParam)) {
        // The character is the next message taken, as on Windows.
        MSG character = *msg;
        character.message = (msg->message == WM_KEYDOWN) ? WM_CHAR : WM_SYSCHAR;
        character.wParam = c;
        queue.push_front(character);
    }
    return TRUE;
}

LRESULT DispatchMessageA(const MSG *msg) {
    return msg ? Send(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
    case WM_NCACTIVATE:
        return TRUE;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE:
            Send(window, WM_CLOSE, 0, 0);
            break;
        case SC_SCREENSAVE:
        case SC_MONITORPOWER:
            screenKeptOn = false; // carried out: the system may go ahead
            break;
        }
        return 0;
    case WM_SYSKEYDOWN:
        // Alt+F4 (bit 29 of lParam: Alt held) asks to close the window.
        if (wParam == VK_F4 && (lParam & (1 << 29))) Send(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    }
    return 0;
}
