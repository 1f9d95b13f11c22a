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
    fake::Key(VK_ESCAPE, true);
    fake::Idle();
}

const UINT kErrorType = MB_OK | MB_ICONEXCLAMATION;
const UINT kShutdownType = MB_OK | MB_ICONINFORMATION;
const std::string kQuestion =
    BoxText("FullScreen ?", "Passer en plein ecran (640x480) ?", MB_YESNO | MB_ICONQUESTION);
const char kFallbackText[] = "The Requested Fullscreen Mode Is Not Supported By\n"
                             "Your Video Card. Use Windowed Mode Instead?";
const std::string kFallback = BoxText("Vorel GL", kFallbackText, MB_YESNO | MB_ICONEXCLAMATION);

// The teardown, in the reverse order of the creation.
const std::vector<std::string> kTeardown = {
    "ChangeDisplaySettingsA(restore)",
    "ShowCursor",
    "wglMakeCurrent(none)",
    "wglDeleteContext",
    "ReleaseDC",
    "DestroyWindow",
    "UnregisterClassA",
};

bool Failed(const std::string &call) {
    return std::any_of(fake::failed.begin(), fake::failed.end(),
                       [&](const std::string &f) { return f.rfind(call, 0) == 0; });
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
    const bool windowStuck = Failed("DestroyWindow");
    EXPECT_TRUE(windowStuck || fake::windows == 0) << "a window left behind";
    EXPECT_TRUE(Failed("wglDeleteContext") || fake::contexts == 0) << "a context left behind";
    const bool classMayStay = windowStuck || Failed("UnregisterClassA") || Failed("MessageBoxA") ||
                              Failed("RegisterClassA") ||
                              std::count(shown.begin(), shown.end(),
                                         BoxText("ERROR", "Program Will Now Close.", MB_ICONSTOP));
    EXPECT_TRUE(classMayStay || !fake::ClassRegistered()) << "the class left registered";
    const bool modeMayStay = Failed("ChangeDisplaySettingsA(restore)");
    EXPECT_TRUE(modeMayStay || !fake::modeChanged) << "the display left in the changed mode";
    EXPECT_EQ(fake::cursorCount, 0);
    for (const fake::Box &box : fake::boxes)
        EXPECT_EQ(box.owner, (HWND)NULL);
}

// One long walk through the main loop.
TEST(MainLoop, IdlePassesKeysMinimiseAndTheToggle) {
    ResetProgram();
    fake::Answer({IDNO});
    fake::Idle(2);
    fake::Then([] {
        EXPECT_STREQ(fake::lastWindow.title, "Orvanel");
        EXPECT_EQ(fake::lastWindow.width, 640) << "the client area";
        EXPECT_EQ(fake::lastWindow.height, 480) << "the client area";
        EXPECT_TRUE(fake::lastWindow.frame);
        EXPECT_TRUE(fake::lastFormat.doubleBuffer);
        EXPECT_GE(fake::lastFormat.depth, 16);
        EXPECT_TRUE(fake::screenKeptOn) << "the screen saver held off while it has the focus";
        Mark();
    });
    for (int i = 0; i < 30; ++i)
        fake::Key('A', true);
    fake::Then([] { EXPECT_FALSE(DrewSinceMark()) << "a frame inside a run of messages"; });
    fake::Idle();
    fake::Then([] { EXPECT_TRUE(DrewSinceMark()); });

    fake::Key(VK_F2, true); // held: one step a pass, and only for each key-down
    fake::Idle(2);
    fake::Key(VK_F2, true);
    fake::Idle();
    fake::Key(VK_F2, false);
    fake::Key(VK_UP, true); // a tap inside one run of messages changes nothing
    fake::Key(VK_UP, false);
    fake::Idle();
    fake::Then([] {
        EXPECT_EQ(Piston1Rot, 2.0f);
        EXPECT_EQ(PinceRot, 45.0f);
        Mark();
    });

    fake::Key(VK_F4, true); // latched just before the window is minimised
    fake::Minimise();
    fake::Idle(2);
    fake::Then([] {
        EXPECT_FALSE(active);
        EXPECT_FALSE(DrewSinceMark()) << "drawn while minimised";
        EXPECT_FALSE(fake::screenKeptOn) << "the screen saver let go with the focus";
        EXPECT_EQ(Piston2Rot, 1.0f) << "the pose keys still count";
    });
    fake::Minimise(false);
    fake::Idle();
    fake::Then([] {
        EXPECT_TRUE(active);
        EXPECT_TRUE(DrewSinceMark());
        EXPECT_TRUE(fake::screenKeptOn);
        keys[VK_F9] = 1; // held across the toggle
    });
    fake::Resize(320, 200); // the projection follows the client area
    fake::Idle();
    fake::Then([] { EXPECT_EQ(Viewport(), (std::array<GLint, 4>{0, 0, 320, 200})); });

    fake::Press(VK_F1);
    fake::Then([] {
        EXPECT_TRUE(fullscreen);
        EXPECT_TRUE(fake::lastWindow.fullscreen);
        EXPECT_FALSE(fake::lastWindow.frame);
        EXPECT_FALSE(fake::cursorShown);
        EXPECT_EQ(fake::windows, 1);
        EXPECT_EQ(fake::contexts, 1);
        EXPECT_EQ(Viewport()[2], 640) << "the new context's projection";
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << "the new context's render state";
        EXPECT_EQ(Piston1Rot, 2.0f);
        EXPECT_EQ(keys[VK_F9], 1);
        EXPECT_EQ(keys[VK_F1], 0);
        EXPECT_TRUE(active);
    });
    fake::Press(VK_F1);
    fake::Then([] {
        EXPECT_FALSE(fullscreen);
        EXPECT_FALSE(fake::lastWindow.fullscreen);
        EXPECT_TRUE(fake::cursorShown);
    });
    // F2, F1 and Escape before one pass: the toggle, the pose, the end.
    fake::Key(VK_F2, true);
    fake::Key(VK_F1, true);
    fake::Key(VK_ESCAPE, true);
    fake::Idle();

    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_TRUE(fullscreen);
    EXPECT_EQ(Piston1Rot, 3.0f);
    EXPECT_EQ(Boxes(), std::vector<std::string>{kQuestion});
    ExpectSoundEnd(27);
    const std::vector<std::string> last(fake::calls.end() - kTeardown.size(), fake::calls.end());
    EXPECT_EQ(last, kTeardown) << "the last teardown";
}

// How a run can end before the window is up, or without one: status 0 each time, and the last box
// shown the one named; a window that shows is closed by its close box. A close request (SIGTERM,
// SIGINT, SIGHUP) during a box ends the program at once, showing no window and no further box,
// saying nothing about the box on stderr.
struct StartRow {
    std::vector<int> answers; // to the boxes in turn, as fake::Answer takes them
    bool refuseMode = false;
    const char *fails = nullptr; // a call that fails once
    const char *lastBox;
    bool window = false; // a window shown, with a frame
    bool quiet = false;  // nothing said about the last box on stderr
    bool told = false;   // the box's own words on stderr, since it could not be shown
};
const char kQuestionText[] = "Passer en plein ecran (640x480) ?";
const char kNoContext[] = "Can't Create A GL Rendering Context.";
const StartRow kStartRows[] = {
    {.answers = {0}, .lastBox = kQuestionText, .window = true, .told = true},
    {.answers = {IDYES, IDYES}, .refuseMode = true, .lastBox = kFallbackText, .window = true},
    {.answers = {-SIGTERM}, .lastBox = kQuestionText, .quiet = true},
    {.answers = {IDYES, -SIGINT}, .refuseMode = true, .lastBox = kFallbackText, .quiet = true},
    {.answers = {IDNO, -SIGHUP}, .fails = "wglCreateContext", .lastBox = kNoContext, .quiet = true},
};

TEST(MainLoop, EndsBeforeOrWithoutAWindow) {
    for (size_t row = 0; row < std::size(kStartRows); ++row) {
        const StartRow &r = kStartRows[row];
        SCOPED_TRACE(testing::Message() << "row " << row);
        ResetProgram();
        fake::Answer(r.answers);
        fake::refuseMode = r.refuseMode;
        if (r.fails) fake::Fail(r.fails);
        testing::internal::CaptureStderr();
        EXPECT_EQ(RunWinMain(), 0);
        const std::string said = testing::internal::GetCapturedStderr();
        if (r.told) {
            const std::string line = std::string("FullScreen ?: ") + r.lastBox + "\n";
            EXPECT_EQ(said.rfind(line, 0), 0u) << said;
            EXPECT_NE(said.find("MessageBoxA", line.size()), std::string::npos) << said;
        }
        if (r.quiet) {
            EXPECT_EQ(said.find(r.lastBox), std::string::npos) << said;
            EXPECT_EQ(said.find("MessageBoxA"), std::string::npos) << said;
        }
        std::vector<std::string> shown;
        for (const fake::Box &b : fake::boxes) {
            if (b.shown) shown.push_back(b.text);
        }
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back(), r.lastBox);
        EXPECT_EQ(fake::windowsShown > 0, r.window);
        EXPECT_TRUE(!r.window || fake::lastWindow.frame) << "a window without a frame";
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
    {"ChangeDisplaySettingsA(set)", kFallback},
    {"CreateWindowExA", BoxText("ERROR", "Window Creation Error.", kErrorType)},
    {"GetDC", BoxText("ERROR", "Can't Create A GL Device Context.", kErrorType)},
    {"ChoosePixelFormat", BoxText("ERROR", "Can't Find A Suitable PixelFormat.", kErrorType)},
    {"SetPixelFormat", BoxText("ERROR", "Can't Set The PixelFormat.", kErrorType)},
    {"wglCreateContext", BoxText("ERROR", kNoContext, kErrorType)},
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
// whole teardown, with nothing left.
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
    EXPECT_EQ(fake::boxes[1].contexts, 0);
    EXPECT_FALSE(fake::boxes[1].classRegistered);
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
            for (bool always : {false, true}) {
                ResetProgram();
                Script(full);
                fake::FailNth(k, always);
                const int status = WinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "", SW_SHOW);
                ++runs;
                const std::string first = fake::failed.empty() ? "?" : fake::failed[0];
                SCOPED_TRACE(testing::Message() << (full ? "fullscreen" : "windowed") << ", call "
                                                << k << (always ? " on: " : ": ") << first);
                ExpectSoundEnd(status);
                if (!always && !fake::failed.empty()) ExpectItsBox();
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
            fake::calls.clear(); // the log grows by design
        });
    }
    Escape();
    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_EQ(wrong, 0) << "toggles that left other than one window, context, mode and cursor";
    ExpectSoundEnd(27);
    std::cout << "soak: " << toggles << " toggles\n";
}

} // namespace
