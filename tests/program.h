// The program's own code on the fake driver: its state put back as at
// start, its entry, and what must hold once it has let go of everything.
#pragma once

#include "arm/arm.h"
#include "tests/fake_driver.h"
#include "window/window.h"

#include <gtest/gtest.h>

inline void ResetProgram() {
    fake::Reset();
    hInstance = NULL, hWnd = NULL, hDC = NULL, hRC = NULL;
    fullscreen = TRUE, active = TRUE;
    for (int &k : keys) k = 0;
    Piston1Rot = Piston2Rot = Piston3Rot = 0, Piston3Trans = 1, PinceRot = 45;
}

inline int RunWinMain() { return WinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "", SW_SHOW); }

// The boxes shown, as "caption|text|0xTYPE".
inline std::vector<std::string> Describe() {
    std::vector<std::string> shown;
    char type[16];
    for (const fake::Box &b : fake::boxes)
        snprintf(type, sizeof type, "0x%X", b.type), shown.push_back(b.caption + "|" + b.text + "|" + type);
    return shown;
}

inline void ExpectAllReleased() {
    EXPECT_EQ(std::vector<int>({fake::windows, fake::contexts, fake::ClassRegistered(), fake::modeChanged, fake::cursorCount}),
              std::vector<int>({0, 0, 0, 0, 0})) << "windows, contexts, class, mode changed, cursor count";
    EXPECT_TRUE(hRC == NULL && hDC == NULL && hWnd == NULL);
}
