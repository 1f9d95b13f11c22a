// The tests' driver under our Win32 layer (as GLFW's null platform is): no display, real headless
// Mesa contexts, scripted input and box answers, and a record of what the system was asked. Faults
// are made at the program's Win32 calls, wrapped by the linker (--wrap), never inside the layer.
#pragma once

#include "arm/arm.h"
#include "win32/driver.h"
#include "window/window.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace fake {

// A box as the program asked for it, with the system as the user saw it when it came up.
struct Box {
    std::string caption, text;
    UINT type;
    bool modeChanged;
    int windows;
    bool shown = false; // else answered without showing
};

// The program's Win32 calls made to fail, as "Name" or "Name(detail)".
extern std::vector<std::string> failed;
extern std::vector<Box> boxes;
extern int fallibleCalls, windows, windowsShown, contexts, cursorCount;
extern bool modeChanged, refuseMode, cursorShown, screenKeptOn;
extern bool scriptRanOut;  // set it to keep the fake from closing the window when it runs out
extern bool reuseContexts; // deleted contexts come back: faster than fresh ones
extern bool noGL;          // one stand-in context and no GL at all
extern driver::WindowSpec lastWindow;
extern driver::PixelFormat lastFormat;

// A fresh system: nothing live, no faults, no script, default answers.
void Reset();
// Box answers in turn: IDYES, IDNO, IDOK, 0 for a box that cannot be shown, or minus a signal
// that arrives while the box is up (and takes it down).
void Answer(std::vector<int> answers);
// The k-th fallible call from now fails, once or from then on.
enum Times { kOnce, kFromThenOn };
void FailNth(int k, Times times);
bool ClassRegistered(); // "OpenGL"

// The input script, played as the layer pumps events, up to the next idle step: a pass that finds
// nothing is idle. When it has run out, the fake asks the newest window to close (scriptRanOut).
enum Stroke { kUp, kDown };
void Key(WPARAM vk, Stroke stroke);
void Press(WPARAM vk); // down, held over one idle pass, up
void Idle(int passes = 1);
void Then(std::function<void()> action);
void Minimise();
void Restore(); // at the size it had
void Resize(int width, int height);
bool ScriptDone();

} // namespace fake

// The program on the fake: its state as at start, and its entry.
void ResetProgram();
int RunWinMain();
