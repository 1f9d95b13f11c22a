// The program with a drawing that can fail: the loop's answer to a failed
// draw, and to render-state set-up that fails.
#include "tests/program_support.h"

#include "arm/arm.h"
#include "window/scene.h"
#include "window/window.h"

#include <gtest/gtest.h>

namespace {
int drawResult = 1, initResult = 1, draws = 0;
}

// Stand-ins for the real drawing, which never fails.
int DrawGLScene() {
    ++draws;
    return drawResult;
}
int InitGL() { return initResult; }
void ReSizeGLScene(GLsizei, GLsizei) {}
void Cube(GLfloat) {}

namespace {

class StubbedScene : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetProgram();
        drawResult = initResult = 1;
        draws = 0;
    }
};

TEST_F(StubbedScene, AFailedDrawBeforeAnyMessageEndsWithADefinedStatus) {
    fake::Answer({IDNO});
    drawResult = 0;
    keys[VK_F3] = 1; // latched: the control step still runs on the last pass
    fake::Idle();
    // Nothing is taken off the queue before the first, failing, draw.
    EXPECT_EQ(RunWinMain(), 0);
    EXPECT_EQ(draws, 1);
    EXPECT_EQ(fake::swaps, 0);
    EXPECT_EQ(Piston1Rot, -1.0f);
    ExpectAllReleased();
}

TEST_F(StubbedScene, AFailedDrawWhileMinimisedIsNeverSeen) {
    fake::Answer({IDNO});
    drawResult = 0;
    fake::Minimise(); // no draw is attempted while minimised
    fake::Idle(3);
    fake::Close();
    EXPECT_EQ(RunWinMain(), 0);
    EXPECT_EQ(draws, 0);
    EXPECT_EQ(fake::swaps, 3);
}

TEST_F(StubbedScene, FailedRenderStateSetUpTearsDownThenSaysSo) {
    initResult = 0;
    fake::Answer({IDYES});
    EXPECT_EQ(RunWinMain(), 0);
    ASSERT_EQ(fake::boxes.size(), 2u);
    EXPECT_EQ(Describe(fake::boxes[1]), "ERROR|Initialization Failed.|0x30");
    EXPECT_FALSE(fake::boxes[1].displayChanged);
    EXPECT_EQ(fake::boxes[1].liveWindows + fake::boxes[1].liveContexts, 0);
    ExpectAllReleased();
}

} // namespace
