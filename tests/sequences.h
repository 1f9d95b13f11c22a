// The messages a window hears from each call and each piece of input, in the order Windows sends
// them, as tables; every driver is held to them.
#pragma once

#include "win32/win32.h"

#include <gtest/gtest.h>

#include <functional>
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
inline void PrintTo(const Heard &h, std::ostream *os) {
    *os << "{message 0x" << std::hex << h.message << ", wParam 0x" << h.wParam
        << (h.posted ? ", posted}" : ", sent}");
}

const std::vector<Heard> kCreateSequence = {
    {WM_GETMINMAXINFO},
    {WM_NCCREATE},
    {WM_NCCALCSIZE, FALSE},
    {WM_CREATE},
};
const std::vector<Heard> kShowSequence = {
    {WM_SHOWWINDOW, TRUE}, {WM_WINDOWPOSCHANGING},   {WM_ACTIVATEAPP, TRUE},
    {WM_NCACTIVATE, TRUE}, {WM_ACTIVATE, WA_ACTIVE}, {WM_SETFOCUS},
    {WM_WINDOWPOSCHANGED}, {WM_SIZE, SIZE_RESTORED}, {WM_MOVE},
};
const std::vector<Heard> kMinimiseSequence = {
    {WM_NCACTIVATE, FALSE},    {WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, TRUE)},
    {WM_ACTIVATEAPP, FALSE},   {WM_KILLFOCUS},
    {WM_SIZE, SIZE_MINIMIZED},
};
const std::vector<Heard> kRestoreSequence = {
    {WM_ACTIVATEAPP, TRUE}, {WM_NCACTIVATE, TRUE},    {WM_ACTIVATE, WA_ACTIVE},
    {WM_SETFOCUS},          {WM_SIZE, SIZE_RESTORED},
};
const std::vector<Heard> kCloseBoxSequence = {
    {.message = WM_SYSCOMMAND, .wParam = SC_CLOSE, .posted = true},
    {WM_CLOSE},
};
const std::vector<Heard> kDestroySequence = {
    {WM_WINDOWPOSCHANGING},
    {WM_WINDOWPOSCHANGED},
    {WM_NCACTIVATE, FALSE},
    {WM_ACTIVATE, WA_INACTIVE},
    {WM_ACTIVATEAPP, FALSE},
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
