// The whole program on the fake system: start-up question, the loop and
// its frame step, the fullscreen toggle, and the exit status.
#include "tests/program_support.h"

#include "arm/arm.h"
#include "tests/gl_test_support.h"
#include "window/window.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class Program : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProgram();
        glrec::Reset();
    }
    static int Draws() {
        return (int)std::count_if(glrec::calls.begin(), glrec::calls.end(),
                                  [](const glrec::Call &c) { return c.name == "glClear"; });
    }
};

TEST_F(Program, AsksFirstThenOpensTheWindowAnsweredNo) {
    fake::Answer({IDNO});
    fake::Idle(3);
    fake::Press(VK_ESCAPE);
    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_FALSE(fake::scriptRanOut);

    ASSERT_GE(fake::boxes.size(), 1u);
    EXPECT_EQ(Describe(fake::boxes[0]), "FullScreen ?|Passer en plein ecran (640x480) ?|0x24");
    EXPECT_EQ(fake::boxes[0].owner, (HWND)NULL);
    EXPECT_EQ(fake::boxes[0].liveWindows, 0);
    EXPECT_EQ(fake::boxes.size(), 1u);
    EXPECT_EQ(fake::created.at(0).clientWidth, 640);
    EXPECT_EQ(fake::created.at(0).clientHeight, 480);
    EXPECT_EQ(fake::created.at(0).title, "Orvanel");
    EXPECT_TRUE(fake::modeRequests.empty());
    // Three idle passes drew and presented; the fourth saw Escape.
    EXPECT_EQ(Draws(), 4);
    EXPECT_EQ(fake::swaps, 3);
    ExpectAllReleased();
}

TEST_F(Program, AnsweredYesRunsFullscreenAndRestoresTheDesktop) {
    fake::Answer({IDYES});
    fake::Idle();
    fake::Then([] {
        EXPECT_EQ(fake::display.width, 640u);
        EXPECT_EQ(fake::display.bits, 16u);
        EXPECT_EQ(fake::cursorCount, -1);
    });
    fake::Close();
    EXPECT_EQ(RunWinMain(), 0);
    EXPECT_FALSE(fake::scriptRanOut);
    EXPECT_EQ(fake::created.at(0).style & WS_POPUP, (DWORD)WS_POPUP);
    ExpectAllReleased();
}

TEST_F(Program, AFailingQuestionBoxLeavesFullscreenOn) {
    fake::Fail("MessageBoxA");
    fake::Close();
    EXPECT_EQ(RunWinMain(), 0);
    EXPECT_EQ(fake::modeRequests.size(), 1u);
}

TEST_F(Program, NoFrameOnAPassThatHandledAMessage) {
    fake::Answer({IDNO});
    for (int i = 0; i < 50; ++i) fake::Post(0x0400 /* WM_USER */);
    fake::Idle();
    fake::Then([] { EXPECT_EQ(Draws(), 1); });
    for (int i = 0; i < 50; ++i) fake::Post(0x0400);
    fake::Idle();
    fake::Close();
    EXPECT_EQ(RunWinMain(), 0);
    EXPECT_EQ(Draws(), 2);
    EXPECT_EQ(fake::swaps, 2);
}

TEST_F(Program, PosesOnTheFrameAfterTheKeyAndIgnoresQuickTaps) {
    fake::Answer({IDNO});
    fake::KeyDown(VK_F2);
    fake::Idle(); // drawn at 0, then the control step moves it
    fake::Then([] { EXPECT_EQ(Piston1Rot, 1.0f); });
    fake::Idle(); // still held but consumed: no more
    fake::Then([] { EXPECT_EQ(Piston1Rot, 1.0f); });
    fake::KeyUp(VK_F2);
    fake::KeyDown(VK_UP); // a tap within one run of messages changes nothing
    fake::KeyUp(VK_UP);
    fake::Idle();
    fake::KeyDown(VK_F2); // auto-repeat
    fake::Idle();
    fake::KeyDown(VK_F2);
    fake::Idle();
    fake::Press(VK_ESCAPE);
    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_EQ(Piston1Rot, 3.0f);
    EXPECT_EQ(PinceRot, 45.0f);
}

TEST_F(Program, MinimisedItStopsDrawingButStillPresentsAndPoses) {
    fake::Answer({IDNO});
    fake::Idle();
    fake::Minimise();
    fake::KeyDown(VK_F4);
    fake::Idle(2);
    fake::Then([] {
        EXPECT_EQ(active, FALSE);
        EXPECT_EQ(Draws(), 1);
        EXPECT_EQ(fake::swaps, 3);
        EXPECT_EQ(Piston2Rot, 1.0f);
    });
    fake::Restore();
    fake::Idle();
    fake::Then([] { EXPECT_EQ(Draws(), 2); });
    fake::Minimise();
    fake::KeyDown(VK_ESCAPE); // Escape ends it even while minimised
    fake::Idle();
    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_FALSE(fake::scriptRanOut);
    EXPECT_EQ(Draws(), 2);
    ExpectAllReleased();
}

TEST_F(Program, F1TogglesBothWaysKeepingPoseKeysAndActive) {
    fake::Answer({IDNO});
    fake::Idle();
    static HGLRC firstContext;
    fake::Then([] {
        firstContext = hRC;
        Piston1Rot = 12;
        keys[VK_F9] = 1; // a key held across the toggle keeps its flag
    });
    fake::Press(VK_F1);
    fake::Then([] {
        EXPECT_EQ(fullscreen, TRUE);
        EXPECT_EQ(fake::display.width, 640u);
        EXPECT_NE(hRC, firstContext);
        EXPECT_EQ(fake::LiveContexts(), 1);
        // The new context has its projection and render state.
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], 640);
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_EQ(Piston1Rot, 12.0f);
        EXPECT_EQ(keys[VK_F9], 1);
        EXPECT_EQ(keys[VK_F1], 0);
        EXPECT_EQ(active, TRUE);
    });
    fake::Idle();
    fake::Press(VK_F1);
    fake::Then([] {
        EXPECT_EQ(fullscreen, FALSE);
        EXPECT_EQ(fake::display.width, fake::kDesktop.width);
        EXPECT_EQ(fake::cursorCount, 0);
    });
    fake::Press(VK_ESCAPE);
    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_FALSE(fake::scriptRanOut);
    EXPECT_EQ(fake::created.size(), 3u);
    EXPECT_TRUE(fake::boxes.size() == 1u);
    ExpectAllReleased();
}

TEST_F(Program, RefusedFullscreenOnF1AnsweredYesStaysWindowedAndTriesAgainNextTime) {
    fake::Answer({IDNO, IDYES, IDYES});
    fake::accepts640x480x16 = false;
    fake::Press(VK_F1);
    fake::Then([] { EXPECT_EQ(fullscreen, FALSE); });
    fake::Press(VK_F1);
    fake::Press(VK_ESCAPE);
    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_EQ(fake::modeRequests.size(), 2u);
    EXPECT_EQ(fake::boxes.size(), 3u);
    ExpectAllReleased();
}

TEST_F(Program, F1AndEscapeInOnePassToggleThenEnd) {
    fake::Answer({IDNO});
    fake::KeyDown(VK_F2);
    fake::KeyDown(VK_F1);
    fake::KeyDown(VK_ESCAPE); // the last message taken is its character
    fake::Idle();
    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_FALSE(fake::scriptRanOut);
    EXPECT_EQ(fake::created.size(), 2u);
    EXPECT_EQ(fake::created[1].style & WS_POPUP, (DWORD)WS_POPUP);
    EXPECT_EQ(Piston1Rot, 1.0f); // the control step ran on the last pass too
    EXPECT_EQ(fake::swaps, 0);   // the pass that ends presents nothing
    ExpectAllReleased();
}

TEST_F(Program, FailedRecreationOnF1EndsAtOnceWithStatus0) {
    fake::Answer({IDNO});
    fake::Idle();
    fake::Then([] { fake::Fail("CreateWindowExA"); });
    fake::KeyDown(VK_F1);
    fake::KeyDown(VK_F2);
    fake::Idle();
    EXPECT_EQ(RunWinMain(), 0);
    std::vector<std::string> shown;
    for (const fake::MessageBox &box : fake::boxes) shown.push_back(box.text);
    EXPECT_EQ(shown, (std::vector<std::string>{"Passer en plein ecran (640x480) ?", "Window Creation Error."}));
    EXPECT_EQ(Piston1Rot, 0.0f); // no control step after a failed toggle
    ExpectAllReleased();
}

TEST_F(Program, StartFailureEndsWithStatus0WithoutALoop) {
    fake::Answer({IDNO});
    fake::Fail("wglCreateContext");
    EXPECT_EQ(RunWinMain(), 0);
    EXPECT_EQ(Draws(), 0);
    EXPECT_FALSE(fake::scriptRanOut); // the queue was never looked at
    ExpectAllReleased();

    ResetProgram();
    fake::accepts640x480x16 = false;
    fake::Answer({IDYES, IDNO});
    EXPECT_EQ(RunWinMain(), 0);
    ASSERT_EQ(fake::boxes.size(), 3u);
    EXPECT_EQ(fake::boxes[2].text, "Program Will Now Close.");
    EXPECT_EQ(fake::LiveWindows(), 0);
}

TEST_F(Program, ClosingReturns0AndEscapeReturnsItsCharacter) {
    fake::Answer({IDNO});
    fake::Idle();
    fake::Post(WM_SYSKEYDOWN, VK_F4, 1 | 1 << 29); // Alt+F4
    EXPECT_EQ(RunWinMain(), 0);
    EXPECT_FALSE(fake::scriptRanOut);
    ExpectAllReleased();

    ResetProgram();
    fake::Answer({IDNO});
    fake::Close();
    EXPECT_EQ(RunWinMain(), 0);
    EXPECT_FALSE(fake::scriptRanOut);
    ExpectAllReleased();
}

} // namespace

namespace {

// Each creation step failing during an F1 toggle, both ways: the program
// tells why once, ends with status 0 at once, and leaves nothing behind.
class ToggleStepFails : public ::testing::TestWithParam<std::tuple<const char *, bool>> {
  protected:
    void SetUp() override { ResetProgram(); }
};

TEST_P(ToggleStepFails, EndsAtOnceWithItsBox) {
    static const char *call;
    call = std::get<0>(GetParam());
    const bool startFullscreen = std::get<1>(GetParam());
    fake::Answer({startFullscreen ? IDYES : IDNO});
    fake::Idle();
    // The toggle's teardown releases the old context first.
    fake::Then([] { fake::Fail(call, false, std::string(call) == "wglMakeCurrent"); });
    fake::Press(VK_F1);
    EXPECT_EQ(RunWinMain(), 0);
    EXPECT_FALSE(fake::scriptRanOut);
    ASSERT_EQ(fake::boxes.size(), 2u);
    EXPECT_EQ(fake::boxes[1].caption, "ERROR");
    EXPECT_EQ(fake::boxes[1].type, (UINT)(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_FALSE(fake::boxes[1].displayChanged);
    EXPECT_EQ(fake::created.size(), std::string(call) == "CreateWindowExA" ? 1u : 2u);
    ExpectAllReleased();
}

INSTANTIATE_TEST_SUITE_P(BothWays, ToggleStepFails,
                         ::testing::Combine(::testing::Values("CreateWindowExA", "GetDC",
                                                              "ChoosePixelFormat", "SetPixelFormat",
                                                              "wglCreateContext", "wglMakeCurrent"),
                                            ::testing::Bool()),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "_ToWindowed" : "_ToFullscreen");
                         });

} // namespace
