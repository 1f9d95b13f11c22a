// The messages a window hears from each call and each piece of input, in the order Windows sends
// them, as tables; every driver is held to them.
#pragma once

#include "win32/win32.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <vector>

const WPARAM kAny = ~WPARAM(0); // a wParam not looked at

// A message heard: sent to the window procedure, or posted and dispatched.
struct Heard {
    UINT message;
    WPARAM wParam = kAny;
    bool posted = false;
    LPARAM lParam = 0; // kept, but not compared
    bool operator==(const Heard &o) const {
        const bool sameWParam = wParam == o.wParam || wParam == kAny || o.wParam == kAny;
        return message == o.message && posted == o.posted && sameWParam;
    }
};
// The names of the messages that windows hear here, for a failure to print.
#define NAME(message) std::make_pair(message, #message)
const std::map<UINT, const char *> kMessageNames = {
    NAME(WM_WINDOWPOSCHANGING), NAME(WM_NCCREATE),    NAME(WM_CREATE),     NAME(WM_SHOWWINDOW),
    NAME(WM_WINDOWPOSCHANGED),  NAME(WM_NCCALCSIZE),  NAME(WM_MOVE),       NAME(WM_SIZE),
    NAME(WM_GETMINMAXINFO),     NAME(WM_ACTIVATEAPP), NAME(WM_NCACTIVATE), NAME(WM_ACTIVATE),
    NAME(WM_SETFOCUS),          NAME(WM_KILLFOCUS),   NAME(WM_SYSCOMMAND), NAME(WM_CLOSE),
    NAME(WM_DESTROY),           NAME(WM_NCDESTROY),   NAME(WM_KEYDOWN),    NAME(WM_KEYUP),
    NAME(WM_SYSKEYDOWN),        NAME(WM_SYSKEYUP)};
#undef NAME
inline void PrintTo(const Heard &h, std::ostream *os) {
    const auto name = kMessageNames.find(h.message);
    std::ostringstream number, wParam;
    number << "message " << std::showbase << std::hex << h.message;
    wParam << std::showbase << std::hex << h.wParam;
    *os << "{" << (name != kMessageNames.end() ? name->second : number.str()) << ", wParam "
        << (h.wParam == kAny ? "any" : wParam.str()) << (h.posted ? ", posted}" : ", sent}");
}

const std::vector<Heard> kCreateSequence = {
    {WM_GETMINMAXINFO},
    {WM_NCCREATE},
    {.message = WM_NCCALCSIZE, .wParam = FALSE},
    {WM_CREATE},
};
const std::vector<Heard> kShowSequence = {
    {.message = WM_SHOWWINDOW, .wParam = TRUE},
    {WM_WINDOWPOSCHANGING},
    {.message = WM_ACTIVATEAPP, .wParam = TRUE},
    {.message = WM_NCACTIVATE, .wParam = TRUE},
    {.message = WM_ACTIVATE, .wParam = WA_ACTIVE},
    {WM_SETFOCUS},
    {WM_WINDOWPOSCHANGED},
    {.message = WM_SIZE, .wParam = SIZE_RESTORED},
    {WM_MOVE},
};
const std::vector<Heard> kMinimiseSequence = {
    {.message = WM_NCACTIVATE, .wParam = FALSE},
    {.message = WM_ACTIVATE, .wParam = MAKEWPARAM(WA_INACTIVE, TRUE)}, // TRUE: minimised
    {.message = WM_ACTIVATEAPP, .wParam = FALSE},
    {WM_KILLFOCUS},
    {.message = WM_SIZE, .wParam = SIZE_MINIMIZED},
};
const std::vector<Heard> kRestoreSequence = {
    {.message = WM_ACTIVATEAPP, .wParam = TRUE}, // the program back in front
    {.message = WM_NCACTIVATE, .wParam = TRUE},
    {.message = WM_ACTIVATE, .wParam = WA_ACTIVE},
    {WM_SETFOCUS},
    {.message = WM_SIZE, .wParam = SIZE_RESTORED},
};
const std::vector<Heard> kCloseBoxSequence = {
    {.message = WM_SYSCOMMAND, .wParam = SC_CLOSE, .posted = true},
    {WM_CLOSE},
};
const std::vector<Heard> kDestroySequence = {
    {WM_WINDOWPOSCHANGING},
    {WM_WINDOWPOSCHANGED},
    {.message = WM_NCACTIVATE, .wParam = FALSE},
    {.message = WM_ACTIVATE, .wParam = WA_INACTIVE},
    {.message = WM_ACTIVATEAPP, .wParam = FALSE},
    {WM_KILLFOCUS},
    {WM_DESTROY},
    {WM_NCDESTROY},
};

// What the recording procedure heard since it was last cleared, but for the layer's questions
// about the screen saver, and characters.
inline std::vector<Heard> heard;
inline bool dispatching = false; // set while a posted message is dispatched

inline LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool screenSaverQuestion = message == WM_SYSCOMMAND && wParam != SC_CLOSE;
    const bool character = message == WM_CHAR || message == WM_SYSCHAR;
    if (!screenSaverQuestion && !character) heard.push_back({message, wParam, dispatching, lParam});
    dispatching = false; // what it sends on from here is sent
    // As the program: the screen saver held off, and no DestroyWindow on a close.
    if (screenSaverQuestion || message == WM_CLOSE) return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

// Takes and dispatches what is queued, as a main loop does.
inline void DispatchAll() {
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        dispatching = true;
        DispatchMessageA(&msg);
        dispatching = false;
    }
}

inline HWND OpenRecordedWindow(const char *title, DWORD style = WS_OVERLAPPEDWINDOW) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "Recorded";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "Recorded", title, style, 0, 0, 400, 300, NULL, NULL, NULL, NULL);
}

// What the window hears while `act` runs is exactly `sequence`.
inline void ExpectHears(const std::vector<Heard> &sequence, const char *what,
                        const std::function<void()> &act) {
    heard.clear();
    act();
    EXPECT_EQ(heard, sequence) << what;
}
