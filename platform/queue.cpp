// The portable part of our Win32 layer: the message queue, the default
// window procedure, the class registry and the window table. Every backend
// shares it; none of it talks to the system.
#include "platform/layer.h"

#include <algorithm>
#include <deque>
#include <list>

#ifdef ORVANEL_TEST_HOOKS
#define FAILS(call, detail) layer::TestHook(call, detail)
#else
#define FAILS(call, detail) false
#endif

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
    case VK_BACK: case VK_TAB: case VK_RETURN: case VK_ESCAPE: case VK_SPACE: return key;
    }
    if (key >= '0' && key <= '9') return key;
    if (key >= 'A' && key <= 'Z') return key - 'A' + 'a';
    return 0;
}

} // namespace

namespace layer {

UINT lastDefaultSysCommand = 0;

Window *AddWindow(LPCSTR className, HINSTANCE instance, DWORD style, DWORD exStyle) {
    WindowClass *c = LookUpClass(className);
    if (!c) return nullptr;
    HWND handle = reinterpret_cast<HWND>(++lastHandle);
    windows.push_back({handle, c->name, instance, c->info.lpfnWndProc, style, exStyle});
    return &windows.back();
}

Window *LookUpWindow(HWND handle) {
    if (!handle) return nullptr;
    for (Window &w : windows)
        if (w.handle == handle) return &w;
    return nullptr;
}

void RemoveWindow(HWND handle) {
    windows.remove_if([&](const Window &w) { return w.handle == handle; });
    for (auto it = queue.begin(); it != queue.end();)
        it = (it->hwnd == handle) ? queue.erase(it) : it + 1;
}

void PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    queue.push_back(msg);
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window *w = LookUpWindow(window);
    return w ? w->proc(window, message, wParam, lParam) : 0;
}

RECT FrameInsets(DWORD style, DWORD /*exStyle*/) {
    const LONG border = (style & WS_THICKFRAME) ? 8 : 0;
    const LONG caption = ((style & WS_CAPTION) == WS_CAPTION) ? 23 : 0;
    return {border, border + caption, border, border};
}

bool LookUpClassInfo(LPCSTR className, WNDCLASSA *info) {
    const WindowClass *c = LookUpClass(className);
    if (!c) return false;
    if (info) {
        *info = c->info;
        info->lpszClassName = c->name.c_str();
    }
    return true;
}

void Reset() {
    classes.clear();
    windows.clear();
    queue.clear();
    quitPosted = false;
    quitCode = 0;
    lastDefaultSysCommand = 0;
}

} // namespace layer

ATOM RegisterClassA(const WNDCLASSA *wc) {
    if (FAILS("RegisterClassA", wc && wc->lpszClassName ? wc->lpszClassName : "")) return 0;
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || LookUpClass(wc->lpszClassName)) return 0;
    // Class atoms come from 0xC000 to 0xFFFF and are used again once their
    // class is gone, so a program may register and unregister for ever.
    ATOM atom = 0xC000;
    while (std::any_of(classes.begin(), classes.end(), [&](const WindowClass &c) { return c.atom == atom; })) {
        if (atom == 0xFFFF) return 0;
        ++atom;
    }
    classes.push_back({wc->lpszClassName, *wc, atom});
    return atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE /*instance*/) {
    if (FAILS("UnregisterClassA", className ? className : "")) return FALSE;
    WindowClass *c = LookUpClass(className);
    if (!c) return FALSE;
    for (const layer::Window &w : windows)
        if (w.className == c->name) return FALSE; // still in use
    classes.remove_if([&](const WindowClass &k) { return &k == c; });
    return TRUE;
}

BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL /*menu*/, DWORD exStyle) {
    if (!rect) return FALSE;
    const RECT insets = layer::FrameInsets(style, exStyle);
    rect->left -= insets.left;
    rect->top -= insets.top;
    rect->right += insets.right;
    rect->bottom += insets.bottom;
    return TRUE;
}

// Takes the first posted message; failing that the quit message, once
// everything posted before it is taken; failing that, fresh input from the
// system.
static BOOL TakePosted(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (!Matches(*it, window, first, last)) continue;
        *msg = *it;
        if (remove & PM_REMOVE) queue.erase(it);
        return TRUE;
    }
    return FALSE;
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
    if (TakePosted(msg, window, first, last, remove)) return TRUE;
    if (quitPosted && Matches(MSG{nullptr, WM_QUIT, 0, 0, 0, {0, 0}}, window, first, last)) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = (WPARAM)quitCode;
        if (remove & PM_REMOVE) quitPosted = false;
        return TRUE;
    }
    layer::PumpEvents();
    return TakePosted(msg, window, first, last, remove);
}

void PostQuitMessage(int exitCode) {
    quitPosted = true;
    quitCode = exitCode;
}

BOOL TranslateMessage(const MSG *msg) {
    if (!msg) return FALSE;
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) {
        return msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP;
    }
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
    if (!msg) return 0;
    return layer::SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)FAILS("DefWindowProcA", std::to_string(message)); // seen, never failed
    switch (message) {
    case WM_SYSCOMMAND:
        layer::lastDefaultSysCommand = (UINT)(wParam & 0xFFF0);
        if ((wParam & 0xFFF0) == SC_CLOSE) layer::SendMessage(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_SYSKEYDOWN:
        // Alt+F4 (bit 29 of lParam: Alt held) asks to close the window.
        if (wParam == VK_F4 && (lParam & (1 << 29)))
            layer::SendMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    }
    return 0;
}
