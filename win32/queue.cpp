// USER32's message queue and default window procedure: messages posted and
// taken, translated and dispatched; the quit message; close requests turned
// into the close box's message; and what Windows does with the messages a
// window procedure passes on.
#include "win32/layer.h"

#include <algorithm>

using layer::Send;
using layer::state;

namespace {

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

BOOL TakePosted(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
    // A destroyed window's messages go unread.
    state.queue.erase(std::remove_if(state.queue.begin(), state.queue.end(),
                                     [](const MSG &m) { return m.hwnd && !layer::Lookup(m.hwnd); }),
                      state.queue.end());
    for (auto it = state.queue.begin(); it != state.queue.end(); ++it) {
        if (!Matches(*it, window, first, last)) continue;
        *msg = *it;
        if (remove & PM_REMOVE) state.queue.erase(it);
        return TRUE;
    }
    return FALSE;
}

} // namespace

void layer::Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    state.queue.push_back(msg);
}

// Takes the first posted message; failing that the quit message, once
// everything posted before it is taken; failing that, fresh input from the
// system. A close request goes to the window in front as its close box
// would, or, with no window up, ends the program.
BOOL PeekMessageA(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
    if (TakePosted(msg, window, first, last, remove)) return TRUE;
    if (state.quitPosted && Matches(MSG{nullptr, WM_QUIT, 0, 0, 0, {0, 0}}, window, first, last)) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = (WPARAM)state.quitCode;
        if (remove & PM_REMOVE) state.quitPosted = false;
        return TRUE;
    }
    if (layer::TakeCloseRequest()) {
        if (!state.windows.empty())
            layer::Post(state.activeWindow ? state.activeWindow : state.windows.back().handle,
                        WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            PostQuitMessage(0);
    }
    driver::PumpEvents();
    layer::CheckScreenSaver();
    return TakePosted(msg, window, first, last, remove);
}

void PostQuitMessage(int exitCode) {
    state.quitPosted = true;
    state.quitCode = exitCode;
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
        state.queue.push_front(character);
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
            layer::ScreenSaverAllowed(); // carried out: the system may go ahead
            break;
        }
        return 0;
    case WM_SYSKEYDOWN:
        // Alt+F4 asks to close the window.
        if (wParam == VK_F4 && (HIWORD(lParam) & KF_ALTDOWN))
            Send(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    }
    return 0;
}
