#include "tests/program_support.h"

#include "arm/arm.h"
#include "window/window.h"

#include <gtest/gtest.h>

void ResetProgram() {
    fake::Reset();
    hInstance = NULL;
    hWnd = NULL;
    hDC = NULL;
    hRC = NULL;
    fullscreen = TRUE;
    active = TRUE;
    for (int &k : keys) k = 0;
    Piston1Rot = Piston2Rot = Piston3Rot = 0;
    Piston3Trans = 1;
    PinceRot = 45;
}

int RunWinMain() { return WinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "", SW_SHOW); }

std::string Describe(const fake::MessageBox &box) {
    char type[16];
    snprintf(type, sizeof type, "0x%X", box.type);
    return box.caption + "|" + box.text + "|" + type;
}

void ExpectAllReleased() {
    EXPECT_EQ(fake::LiveWindows(), 0);
    EXPECT_EQ(fake::LiveDCs(), 0);
    EXPECT_EQ(fake::LiveContexts(), 0);
    EXPECT_FALSE(layer::LookUpClassInfo("OpenGL", nullptr));
    EXPECT_EQ(fake::display.width, fake::kDesktop.width);
    EXPECT_EQ(fake::display.bits, fake::kDesktop.bits);
    EXPECT_EQ(fake::cursorCount, 0);
    EXPECT_EQ(hRC, (HGLRC)NULL);
    EXPECT_EQ(hDC, (HDC)NULL);
    EXPECT_EQ(hWnd, (HWND)NULL);
}
