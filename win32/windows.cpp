// USER32's windows: window classes, windows and the messages that creating,
// showing and destroying one sends, in the order Windows sends them; the
// foreground and the keyboard focus; the device context each window owns;
// and the screen saver, held off while the focused window asks for it.
// The native windows come from the driver.
#include "win32/layer.h"

#include <algorithm>

using layer::Send;
using layer::state;

namespace {

layer::WindowClass *LookUpClass(LPCSTR name) {
    if (!name) return nullptr;
    for (layer::WindowClass &c : state.classes)
        if (c.name == name) return &c;
    return nullptr;
}

// Frame sizes that AdjustWindowRectEx adds for a style.
RECT FrameInsets(DWORD style) {
    const LONG border = (style & WS_THICKFRAME) ? 8 : 0;
    const LONG caption = ((style & WS_CAPTION) == WS_CAPTION) ? 23 : 0;
    return {border, border + caption, border, border};
}

// Whether a window is minimised: the high word of WM_ACTIVATE's wParam.
bool IsMinimised(HWND window) {
    const layer::Window *w = layer::Lookup(window);
    return w && w->minimised;
}

void Forget(HWND window) {
    state.windows.remove_if([&](const layer::Window &w) { return w.handle == window; });
}

} // namespace

namespace layer {

Window *Lookup(HWND handle) {
    for (Window &w : state.windows)
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

void Activate(HWND window, bool active) {
    if (active) {
        if (state.activeWindow == window) return;
        state.activeWindow = window;
        Send(window, WM_ACTIVATEAPP, TRUE, 0);
        Send(window, WM_NCACTIVATE, TRUE, 0);
        Send(window, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, IsMinimised(window)), 0);
        SetFocus(window);
        state.nextScreenCheck = {}; // asked at the next look for input
    } else {
        if (state.activeWindow != window) return;
        state.activeWindow = nullptr;
        Send(window, WM_NCACTIVATE, FALSE, 0);
        Send(window, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsMinimised(window)), 0);
        Send(window, WM_ACTIVATEAPP, FALSE, 0);
        if (state.focusWindow == window) {
            state.focusWindow = nullptr;
            Send(window, WM_KILLFOCUS, 0, 0);
        }
        state.screenKeptOn = false;
        driver::KeepScreenOn(false);
    }
}

void CheckScreenSaver() {
    const HWND window = state.focusWindow;
    if (!window || std::chrono::steady_clock::now() < state.nextScreenCheck) return;
    state.screenKeptOn = true; // unless the default procedure carries a request out
    Send(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0);
    Send(window, WM_SYSCOMMAND, SC_MONITORPOWER, 2); // 2: power off
    driver::KeepScreenOn(state.screenKeptOn);
    state.nextScreenCheck = std::chrono::steady_clock::now() + std::chrono::seconds(20);
}

void ScreenSaverAllowed() {
    state.screenKeptOn = false;
}

} // namespace layer

// Classes ----------------------------------------------------------------------

ATOM RegisterClassA(const WNDCLASSA *wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || LookUpClass(wc->lpszClassName)) return 0;
    // Class atoms come from 0xC000 to 0xFFFF and are used again once their
    // class is gone, so a program may register and unregister for ever.
    ATOM atom = 0xC000;
    while (std::any_of(state.classes.begin(), state.classes.end(),
                       [&](const layer::WindowClass &c) { return c.atom == atom; })) {
        if (atom == 0xFFFF) return 0;
        ++atom;
    }
    state.classes.push_back({wc->lpszClassName, *wc, atom});
    return atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE /*instance*/) {
    layer::WindowClass *c = LookUpClass(className);
    if (!c) return FALSE;
    for (const layer::Window &w : state.windows)
        if (w.atom == c->atom) return FALSE; // still in use
    state.classes.remove_if([&](const layer::WindowClass &k) { return &k == c; });
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
    const layer::WindowClass *c = LookUpClass(className);
    if (!c || layer::Ending() || !layer::Ready("CreateWindowExA")) return NULL;
    // The sizes passed are the outer ones; the driver's are the client
    // area's. A popup made while the display mode is changed covers it.
    const RECT insets = FrameInsets(style);
    const int clientWidth = width - insets.left - insets.right;
    const int clientHeight = height - insets.top - insets.bottom;
    if (clientWidth <= 0 || clientHeight <= 0) return NULL;
    const HWND handle = reinterpret_cast<HWND>(++state.lastHandle);
    layer::Window &w = state.windows.emplace_back(
        layer::Window{handle, c->info.lpfnWndProc, c->atom, windowName ? windowName : "",
                      clientWidth, clientHeight, false, false, 0, nullptr});
    driver::WindowSpec asked{};
    asked.title = w.title.c_str();
    asked.width = clientWidth;
    asked.height = clientHeight;
    asked.frame = (style & WS_CAPTION) == WS_CAPTION;
    asked.resizable = (style & WS_THICKFRAME) != 0;
    asked.fullscreen = (style & WS_POPUP) && state.modeChanged;
    void *native = driver::MakeWindow(asked);
    if (!native) {
        Forget(handle);
        layer::PrintRefusal("CreateWindowExA");
        return NULL;
    }
    w.native = native;

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
    layer::Activate(window, false);
    if (state.focusWindow == window) SetFocus(NULL);
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
    layer::Activate(window, show);
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
    layer::Activate(window, true);
    return TRUE;
}

HWND SetFocus(HWND window) {
    const HWND previous = state.focusWindow;
    if (window == previous || (window && !layer::Lookup(window))) return previous;
    state.focusWindow = window;
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
