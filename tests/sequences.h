// The messages a window hears from each call and each piece of input, in the order Windows sends them, as
// tables; every driver is held to them.
#pragma once

#include "win32/win32.h"

#include <gtest/gtest.h>

#include <vector>

const WPARAM kAny = ~WPARAM(0); // a wParam not looked at
struct Heard {
    UINT message;
    WPARAM wParam;
    bool posted = false; // else sent
    LPARAM lParam = 0;   // not compared
    bool operator==(const Heard &o) const {
        return message == o.message && posted == o.posted &&
               (wParam == o.wParam || wParam == kAny || o.wParam == kAny);
    }
};
inline void PrintTo(const Heard &h, std::ostream *os) { *os << std::hex << h.message << "(" << h.wParam << (h.posted ? ", posted)" : ")"); }

const std::vector<Heard> kCreateSequence = {
    {WM_GETMINMAXINFO, kAny}, {WM_NCCREATE, kAny}, {WM_NCCALCSIZE, FALSE}, {WM_CREATE, kAny}};
const std::vector<Heard> kShowSequence = {
    {WM_SHOWWINDOW, TRUE}, {WM_WINDOWPOSCHANGING, kAny}, {WM_ACTIVATEAPP, TRUE},
    {WM_NCACTIVATE, TRUE}, {WM_ACTIVATE, WA_ACTIVE}, {WM_SETFOCUS, kAny},
    {WM_WINDOWPOSCHANGED, kAny}, {WM_SIZE, SIZE_RESTORED}, {WM_MOVE, kAny}};
const std::vector<Heard> kMinimiseSequence = {
    {WM_NCACTIVATE, FALSE}, {WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1)}, {WM_ACTIVATEAPP, FALSE},
    {WM_KILLFOCUS, kAny}, {WM_SIZE, SIZE_MINIMIZED}};
const std::vector<Heard> kRestoreSequence = {{WM_ACTIVATEAPP, TRUE}, {WM_NCACTIVATE, TRUE},
                                             {WM_ACTIVATE, WA_ACTIVE}, {WM_SETFOCUS, kAny},
                                             {WM_SIZE, SIZE_RESTORED}};
const std::vector<Heard> kCloseBoxSequence = {{WM_SYSCOMMAND, SC_CLOSE, true}, {WM_CLOSE, kAny}};
const std::vector<Heard> kDestroySequence = {
    {WM_WINDOWPOSCHANGING, kAny}, {WM_WINDOWPOSCHANGED, kAny}, {WM_NCACTIVATE, FALSE},
    {WM_ACTIVATE, WA_INACTIVE}, {WM_ACTIVATEAPP, FALSE}, {WM_KILLFOCUS, kAny},
    {WM_DESTROY, kAny}, {WM_NCDESTROY, kAny}};

// What the recording procedure heard since it was last cleared, but the layer's questions about the screen
// saver and characters.
inline std::vector<Heard> heard;
inline bool dispatching = false; // set while a posted message is dispatched

inline LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if ((message != WM_SYSCOMMAND || wParam == SC_CLOSE) && message != WM_CHAR && message != WM_SYSCHAR)
        heard.push_back({message, wParam, dispatching, lParam});
    dispatching = false; // what it sends on from here is sent
    if (message == WM_CLOSE) return 0; // as the program: no DestroyWindow here
    return DefWindowProcA(window, message, wParam, lParam);
}

// Takes and dispatches what is queued, as a main loop does.
inline void DispatchAll() {
    for (MSG msg; PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE); dispatching = false) {
        TranslateMessage(&msg);
        dispatching = true;
        DispatchMessageA(&msg);
    }
}

inline HWND OpenRecordedWindow(const char *title, DWORD style = WS_OVERLAPPEDWINDOW) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc, wc.lpszClassName = "Recorded";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "Recorded", title, style, 0, 0, 400, 300, NULL, NULL, NULL, NULL);
}

#define EXPECT_HEARS(sequence, act)                                                                \
    heard.clear(), act;                                                                            \
    EXPECT_EQ(heard, sequence) << #act
