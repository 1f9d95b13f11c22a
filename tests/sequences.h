// The messages a window hears from each call and each piece of input, in
// the order Windows sends them, as tables; every driver is held to them.
#pragma once

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <vector>

struct Heard {
    UINT message;
    WPARAM wParam; // kAny: not looked at
    bool posted;
    LPARAM lParam = 0; // not compared
    bool operator==(const Heard &o) const {
        return message == o.message && posted == o.posted &&
               (wParam == o.wParam || wParam == ~WPARAM(0) || o.wParam == ~WPARAM(0));
    }
};
const WPARAM kAny = ~WPARAM(0);
inline void PrintTo(const Heard &h, std::ostream *os) {
    *os << std::hex << "0x" << h.message << "(0x" << h.wParam << (h.posted ? ", posted)" : ")");
}

const std::vector<Heard> kCreateSequence = {
    {WM_GETMINMAXINFO, kAny, false}, {WM_NCCREATE, kAny, false}, {WM_NCCALCSIZE, FALSE, false},
    {WM_CREATE, kAny, false}};
const std::vector<Heard> kShowSequence = {
    {WM_SHOWWINDOW, TRUE, false},     {WM_WINDOWPOSCHANGING, kAny, false},
    {WM_ACTIVATEAPP, TRUE, false},    {WM_NCACTIVATE, TRUE, false},
    {WM_ACTIVATE, WA_ACTIVE, false},  {WM_SETFOCUS, kAny, false},
    {WM_WINDOWPOSCHANGED, kAny, false}, {WM_SIZE, SIZE_RESTORED, false},
    {WM_MOVE, kAny, false}};
const std::vector<Heard> kMinimiseSequence = {
    {WM_NCACTIVATE, FALSE, false}, {WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), false},
    {WM_ACTIVATEAPP, FALSE, false}, {WM_KILLFOCUS, kAny, false},
    {WM_SIZE, SIZE_MINIMIZED, false}};
const std::vector<Heard> kRestoreSequence = {
    {WM_ACTIVATEAPP, TRUE, false},   {WM_NCACTIVATE, TRUE, false},
    {WM_ACTIVATE, WA_ACTIVE, false}, {WM_SETFOCUS, kAny, false},
    {WM_SIZE, SIZE_RESTORED, false}};
const std::vector<Heard> kCloseBoxSequence = {{WM_SYSCOMMAND, SC_CLOSE, true},
                                              {WM_CLOSE, kAny, false}};
const std::vector<Heard> kDestroySequence = {
    {WM_WINDOWPOSCHANGING, kAny, false}, {WM_WINDOWPOSCHANGED, kAny, false},
    {WM_NCACTIVATE, FALSE, false},       {WM_ACTIVATE, WA_INACTIVE, false},
    {WM_ACTIVATEAPP, FALSE, false},      {WM_KILLFOCUS, kAny, false},
    {WM_DESTROY, kAny, false},           {WM_NCDESTROY, kAny, false}};

// What the recording procedure heard since it was last cleared; it leaves
// out the layer's questions about the screen saver.
inline std::vector<Heard> heard;
inline bool dispatching = false;

inline LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool screenSaver = message == WM_SYSCOMMAND && wParam != SC_CLOSE;
    if (!screenSaver && message != WM_CHAR && message != WM_SYSCHAR)
        heard.push_back({message, wParam, dispatching, lParam});
    dispatching = false; // what it sends on from here is sent
    if (message == WM_CLOSE) return 0; // as the program: no DestroyWindow here
    return DefWindowProcA(window, message, wParam, lParam);
}

// Takes and dispatches what is queued, as a main loop does.
inline void DispatchAll() {
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        dispatching = true;
        TranslateMessage(&msg);
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

// Each sequence as heard, the program's in turn: `act` makes it happen.
#define EXPECT_HEARS(sequence, act)                                                                \
    do {                                                                                           \
        heard.clear();                                                                             \
        act;                                                                                       \
        EXPECT_EQ(heard, sequence) << #act;                                                        \
    } while (0)
