// The tests' driver under our Win32 layer (as GLFW's null platform is): no display, real headless Mesa
// contexts, scripted input and box answers, and a record of what the system was asked. Faults are made at the
// program's Win32 calls, wrapped by the linker (--wrap), never inside the layer.
#pragma once

#include "arm/arm.h"
#include "win32/driver.h"
#include "window/window.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace fake {

// A box, with the system as the user saw it when it came up.
struct Box { std::string caption, text; UINT type; HWND owner; bool modeChanged; int windows, contexts; };

extern std::vector<std::string> calls, failed; // the program's Win32 calls, "Name(detail)"
extern std::vector<UINT> defaults;             // messages passed to DefWindowProcA
extern std::vector<Box> boxes;
extern int fallibleCalls, windows, contexts, presents, cursorCount;
extern bool modeChanged, refuseMode, scriptRanOut;
extern bool reuseContexts, noGL; // deleted contexts come back (faster, not fresh); no GL at all
extern driver::WindowSpec lastWindow;

// A fresh system: nothing live, no faults, no script, default answers.
void Reset();
std::vector<std::string> CallNames(size_t from = 0);
void Answer(std::vector<int> answers); // IDYES, IDNO, IDOK; 0: the box cannot be shown
// The next call of `name` fails, or every one from then on; or the k-th fallible call from now.
void Fail(const std::string &name, bool always = false);
void FailNth(int k, bool always = false);
bool ClassRegistered(); // "OpenGL"

// The input script, played when the layer pumps events, up to the next Idle(): a pass that finds nothing is
// idle. When it has run out the fake asks the newest window to close (scriptRanOut).
void Key(WPARAM vk, bool down, bool alt = false);
void Press(WPARAM vk); // down, held over one idle pass, up
void Idle(int passes = 1), Then(std::function<void()> action), Minimise(bool minimised = true), Close();

} // namespace fake

// The program on it: its state as at start, its entry, and what must hold once it has let go of everything;
// the boxes as "caption|text|0xTYPE".
inline void ResetProgram() {
    fake::Reset();
    hInstance = NULL, hWnd = NULL, hDC = NULL, hRC = NULL, fullscreen = TRUE, active = TRUE;
    for (int &k : keys) k = 0;
    Piston1Rot = Piston2Rot = Piston3Rot = 0, Piston3Trans = 1, PinceRot = 45;
}
inline int RunWinMain() { return WinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "", SW_SHOW); }
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
