// The program's own code on our Win32 layer and the fake driver: the window procedure, creation
// and teardown, the main loop and its exits; every Win32 call that can fail, failed in turn (the
// sweep); thousands of fullscreen toggles (the soak).
#include "tests/fake/driver.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <map>

namespace {

std::array<GLint, 4> Viewport() {
    std::array<GLint, 4> v{};
    glGetIntegerv(GL_VIEWPORT, v.data());
    return v;
}

// A frame leaves jaw two's colour current; a mark shows whether one was drawn since.
void Mark() {
    glColor3f(0, 0, 0);
}
bool DrewSinceMark() {
    GLfloat c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    return c[0] == 0.9f;
}

// A box as "caption|text|0xTYPE".
std::string BoxText(const std::string &caption, const std::string &text, UINT type) {
    char hex[16];
    snprintf(hex, sizeof hex, "0x%X", type);
    return caption + "|" + text + "|" + hex;
}
// The boxes the program asked for, in turn.
std::vector<std::string> Boxes() {
    std::vector<std::string> asked;
    for (const fake::Box &b : fake::boxes)
        asked.push_back(BoxText(b.caption, b.text, b.type));
    return asked;
}
// Escape pressed: the program ends on the pass after it, before the key comes up.
void Escape() {
    fake::Key(VK_ESCAPE, fake::kDown);
    fake::Idle();
}

const UINT kErrorType = MB_OK | MB_ICONEXCLAMATION;
const UINT kShutdownType = MB_OK | MB_ICONINFORMATION;
const char kQuestion[] = "Passer en plein ecran (640x480) ?";
const std::string kQuestionBox = BoxText("FullScreen ?", kQuestion, MB_YESNO | MB_ICONQUESTION);
const char kFallback[] = "The Requested Fullscreen Mode Is Not Supported By\n"
                         "Your Video Card. Use Windowed Mode Instead?";
const std::string kFallbackBox = BoxText("Vorel GL", kFallback, MB_YESNO | MB_ICONEXCLAMATION);
const char kWillClose[] = "Program Will Now Close.";

bool Failed(const std::string &call) {
    return std::any_of(fake::failed.begin(), fake::failed.end(),
                       [&](const std::string &f) { return f.rfind(call, 0) == 0; });
}

// Gone after the run, unless the program tried to release it and could not.
void ExpectGone(const char *what, int live, bool couldNotRelease) {
    if (couldNotRelease) return;
    EXPECT_EQ(live, 0) << what << " left behind";
}

// What holds after any run, whatever failed: live now is only what the program tried to release
// and could not.
void ExpectSoundEnd(int status) {
    const std::vector<std::string> shown = Boxes();
    const bool errorShown = std::any_of(shown.begin(), shown.end(),
                                        [](const std::string &b) { return !b.rfind("ERROR|", 0); });
    if (status != 0) {
        EXPECT_EQ(status, 27);
        EXPECT_FALSE(errorShown) << "Escape, after a failure that ended the program";
    }
    ExpectGone("a window", fake::windows, Failed("DestroyWindow"));
    ExpectGone("a context", fake::contexts, Failed("wglDeleteContext"));
    ExpectGone("the changed mode", fake::modeChanged, Failed("ChangeDisplaySettingsA(restore)"));
    const bool classMayStay =
        Failed("DestroyWindow") || Failed("UnregisterClassA") || Failed("MessageBoxA") ||
        Failed("RegisterClassA") ||
        std::count(shown.begin(), shown.end(), BoxText("ERROR", kWillClose, MB_ICONSTOP));
    ExpectGone("the class", fake::ClassRegistered(), classMayStay);
    EXPECT_EQ(fake::cursorCount, 0);
}

// The loop draws only when the queue is empty, and steps the pose once for each key-down that an
// idle pass finds.
TEST(MainLoop, DrawsWhenIdleAndStepsOncePerKeyDown) {
    ResetProgram();
    fake::Answer({IDNO});
    fake::Idle(2);
    fake::Then([] {
        EXPECT_TRUE(fake::lastFormat.doubleBuffer);
        EXPECT_GE(fake::lastFormat.depth, 16);
        Mark();
    });
    for (int i = 0; i < 30; ++i)
        fake::Key('A', fake::kDown);
    fake::Then([] { EXPECT_FALSE(DrewSinceMark()) << "a frame inside a run of messages"; });
    fake::Idle();
    fake::Then([] { EXPECT_TRUE(DrewSinceMark()); });
    fake::Key(VK_F2, fake::kDown); // held: one step a pass, and only for each key-down
    fake::Idle(2);
    fake::Key(VK_F2, fake::kDown);
    fake::Idle();
    fake::Key(VK_F2, fake::kUp);
    fake::Key(VK_UP, fake::kDown); // a tap inside one run of messages changes nothing
    fake::Key(VK_UP, fake::kUp);
    fake::Idle();
    EXPECT_EQ(RunWinMain(), 0) << "closed with the close box";
    EXPECT_EQ(Piston1Rot, 2.0f);
    EXPECT_EQ(PinceRot, 45.0f);
    ExpectSoundEnd(0);
}

// Minimised, the program draws nothing and lets the screen saver be, but the pose keys still count;
// restored, it draws again. The projection follows the client area.
TEST(MainLoop, MinimisedItDrawsNothingButTheKeysCount) {
    ResetProgram();
    fake::Answer({IDNO});
    fake::Idle(2);
    fake::Then([] {
        EXPECT_TRUE(fake::screenKeptOn) << "the screen saver held off while it has the focus";
        Mark();
    });
    fake::Key(VK_F4, fake::kDown); // latched just before the window is minimised
    fake::Minimise();
    fake::Idle(2);
    fake::Then([] {
        EXPECT_FALSE(DrewSinceMark()) << "drawn while minimised";
        EXPECT_FALSE(fake::screenKeptOn) << "the screen saver let go with the focus";
        EXPECT_EQ(Piston2Rot, 1.0f) << "the pose keys still count";
    });
    fake::Restore();
    fake::Idle();
    fake::Then([] {
        EXPECT_TRUE(DrewSinceMark()) << "drawn again once restored";
        EXPECT_TRUE(fake::screenKeptOn);
    });
    fake::Resize(320, 200);
    fake::Idle();
    fake::Then([] { EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 320, 200})); });
    EXPECT_EQ(RunWinMain(), 0);
    ExpectSoundEnd(0);
}

// F1 switches to fullscreen and back, with a new context set up as the first, and the pose kept.
// F2, F1 and Escape before one pass: the toggle, the pose step, the end.
TEST(MainLoop, TheToggleKeepsThePose) {
    ResetProgram();
    fake::Answer({IDNO});
    fake::Press(VK_F2);
    fake::Press(VK_F1);
    fake::Then([] {
        EXPECT_TRUE(fake::lastWindow.fullscreen);
        EXPECT_FALSE(fake::lastWindow.frame);
        EXPECT_FALSE(fake::cursorShown);
        EXPECT_EQ(Viewport()[2], 640) << "the new context's projection";
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << "the new context's render state";
        EXPECT_EQ(Piston1Rot, 1.0f);
    });
    fake::Press(VK_F1);
    fake::Then([] {
        EXPECT_FALSE(fake::lastWindow.fullscreen);
        EXPECT_TRUE(fake::cursorShown);
    });
    fake::Key(VK_F2, fake::kDown);
    fake::Key(VK_F1, fake::kDown);
    Escape();
    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_TRUE(fake::lastWindow.fullscreen) << "no toggle on the pass that saw Escape";
    EXPECT_EQ(Piston1Rot, 2.0f);
    EXPECT_EQ(Boxes(), std::vector<std::string>{kQuestionBox});
    ExpectSoundEnd(27);
}

// How a run can end before the window is up, or without one, on a display without a 640x480 mode:
// status 0 each time, and the last box shown the one named; a window that shows is closed by its
// close box. A box that cannot be shown says its own words on stderr. A close request (SIGTERM,
// SIGINT, SIGHUP) during a box ends the program at once, showing no window and no further box,
// saying nothing about the box on stderr.
struct StartRow {
    const char *name;
    std::vector<int> answers; // to the boxes in turn, as fake::Answer takes them
    const char *lastBox;
    bool window = false; // a window shown, with a frame
};
const StartRow kStartRows[] = {
    {.name = "no box can be shown", .answers = {0}, .lastBox = kQuestion, .window = true},
    {.name = "windowed instead", .answers = {IDYES, IDYES}, .lastBox = kFallback, .window = true},
    {.name = "SIGTERM in the question", .answers = {-SIGTERM}, .lastBox = kQuestion},
    {.name = "SIGINT in the fallback", .answers = {IDYES, -SIGINT}, .lastBox = kFallback},
    {.name = "SIGHUP in an error box", .answers = {IDYES, IDNO, -SIGHUP}, .lastBox = kWillClose},
};

TEST(MainLoop, EndsBeforeOrWithoutAWindow) {
    for (const StartRow &r : kStartRows) {
        SCOPED_TRACE(r.name);
        ResetProgram();
        fake::Answer(r.answers);
        fake::refuseMode = true;
        testing::internal::CaptureStderr();
        EXPECT_EQ(RunWinMain(), 0);
        const std::string said = testing::internal::GetCapturedStderr();
        const auto &answers = r.answers;
        const bool signalled =
            std::any_of(answers.begin(), answers.end(), [](int a) { return a < 0; });
        if (std::count(answers.begin(), answers.end(), 0)) { // a box that cannot be shown
            const std::string line = std::string("FullScreen ?: ") + r.lastBox + "\n";
            EXPECT_EQ(said.rfind(line, 0), 0u) << said;
            EXPECT_NE(said.find("MessageBoxA", line.size()), std::string::npos) << said;
        }
        if (signalled) {
            EXPECT_EQ(said.find(r.lastBox), std::string::npos) << said;
            EXPECT_EQ(said.find("MessageBoxA"), std::string::npos) << said;
        }
        std::string lastShown = "no box";
        for (const fake::Box &b : fake::boxes) {
            if (b.shown) lastShown = b.text;
        }
        EXPECT_EQ(lastShown, r.lastBox);
        EXPECT_EQ(fake::windowsShown > 0, r.window);
        if (r.window) {
            EXPECT_TRUE(fake::lastWindow.frame) << "a window without a frame";
        }
        ExpectSoundEnd(0);
    }
}

// The sweep: a whole run of the program (start, F1, F1, Escape; windowed and fullscreen) with
// call k failing once, and again with every call from k on.
void Script(bool startFullscreen) {
    fake::Answer({startFullscreen ? IDYES : IDNO});
    fake::Idle();
    fake::Press(VK_F1);
    fake::Idle();
    fake::Press(VK_F1);
    fake::Idle();
    Escape();
}

// The box that a single failure of each call shows.
const std::map<std::string, std::string> kBoxOf = {
    {"RegisterClassA", BoxText("ERROR", "Failed To Register The Window Class.", kErrorType)},
    {"ChangeDisplaySettingsA(set)", kFallbackBox},
    {"CreateWindowExA", BoxText("ERROR", "Window Creation Error.", kErrorType)},
    {"GetDC", BoxText("ERROR", "Can't Create A GL Device Context.", kErrorType)},
    {"ChoosePixelFormat", BoxText("ERROR", "Can't Find A Suitable PixelFormat.", kErrorType)},
    {"SetPixelFormat", BoxText("ERROR", "Can't Set The PixelFormat.", kErrorType)},
    {"wglCreateContext", BoxText("ERROR", "Can't Create A GL Rendering Context.", kErrorType)},
    {"wglMakeCurrent(context)",
     BoxText("ERROR", "Can't Activate The GL Rendering Context.", kErrorType)},
    {"wglMakeCurrent(none)",
     BoxText("SHUTDOWN ERROR", "Release Of DC And RC Failed.", kShutdownType)},
    {"wglDeleteContext",
     BoxText("SHUTDOWN ERROR", "Release Rendering Context Failed.", kShutdownType)},
    {"ReleaseDC", BoxText("SHUTDOWN ERROR", "Release Device Context Failed.", kShutdownType)},
    {"DestroyWindow", BoxText("SHUTDOWN ERROR", "Could Not Release hWnd.", kShutdownType)},
    {"UnregisterClassA", BoxText("SHUTDOWN ERROR", "Could Not Unregister Class.", kShutdownType)},
};

// A single failure's own box comes first after the question; a creation step's comes after the
// teardown: the display back in its mode, and no window.
void ExpectItsBox() {
    const std::string &call = fake::failed[0];
    const auto box = kBoxOf.find(call);
    if (box == kBoxOf.end()) return; // not a failure the user hears of
    ASSERT_GE(fake::boxes.size(), 2u);
    EXPECT_EQ(Boxes()[1], box->second);
    const bool creationError = box->second.rfind("ERROR|", 0) == 0;
    if (!creationError || call == "RegisterClassA") return;
    EXPECT_FALSE(fake::boxes[1].modeChanged);
    EXPECT_EQ(fake::boxes[1].windows, 0);
}

TEST(FaultSweep, EveryFallibleCallFailedOnceAndFromThenOn) {
    int runs = 0;
    for (bool full : {false, true}) {
        ResetProgram();
        Script(full);
        ASSERT_EQ(RunWinMain(), 27);
        const int count = fake::fallibleCalls;
        EXPECT_GT(count, 40) << "the scripted run makes fewer fallible calls than expected";
        for (int k = 1; k <= count; ++k) {
            for (fake::Times times : {fake::kOnce, fake::kFromThenOn}) {
                ResetProgram();
                Script(full);
                fake::FailNth(k, times);
                const int status = WinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "", SW_SHOW);
                ++runs;
                const std::string first = fake::failed.empty() ? "?" : fake::failed[0];
                const bool once = times == fake::kOnce;
                SCOPED_TRACE(testing::Message() << (full ? "fullscreen" : "windowed") << ", call "
                                                << k << (once ? ": " : " on: ") << first);
                ExpectSoundEnd(status);
                if (once && !fake::failed.empty()) ExpectItsBox();
            }
        }
    }
    std::cout << "fault sweep: " << runs << " runs with a failed call\n";
}

// Toggles on a stand-in context, ORVANEL_SOAK_TOGGLES of them (twenty thousand unless it says):
// one of everything after each, and the window class registered anew each time, more times than
// there are class atoms, so they must be used again. The sanitizer run soaks a thousand under the
// leak checker.
TEST(Soak, TwentyThousandTogglesLeaveOneOfEverything) {
    const char *asked = getenv("ORVANEL_SOAK_TOGGLES");
    const int toggles = asked ? atoi(asked) : 20000;
    ResetProgram();
    fake::noGL = true; // a fresh Mesa context costs milliseconds
    fake::Answer({IDNO});
    int wrong = 0;
    for (int i = 0; i < toggles; ++i) {
        fake::Press(VK_F1);
        fake::Then([&] {
            const bool one = fake::windows == 1 && fake::contexts == 1;
            const int cursor = fullscreen ? -1 : 0;
            const bool mode = fake::modeChanged == !!fullscreen && fake::cursorCount == cursor;
            wrong += !(one && mode);
        });
    }
    Escape();
    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_EQ(wrong, 0) << "toggles that left other than one window, context, mode and cursor";
    ExpectSoundEnd(27);
    std::cout << "soak: " << toggles << " toggles\n";
}

} // namespace
