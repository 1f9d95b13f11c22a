// Render state and projection, queried back from a real Mesa context.
#include "tests/gl_test_support.h"

#include "window/scene.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class Scene : public ::testing::Test {
  protected:
    void SetUp() override {
        UseOffscreenGL();
        glrec::Reset();
    }
    void TearDown() override { EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR); }

    static GLint Integer(GLenum what) {
        GLint value = 0;
        glGetIntegerv(what, &value);
        return value;
    }
    static const glrec::Call &LastCall(const char *name) {
        static const glrec::Call none{"", {}};
        for (auto it = glrec::calls.rbegin(); it != glrec::calls.rend(); ++it)
            if (it->name == name) return *it;
        ADD_FAILURE() << name << " not called";
        return none;
    }
    static void ExpectViewport(GLint width, GLint height) {
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[0], 0);
        EXPECT_EQ(viewport[1], 0);
        EXPECT_EQ(viewport[2], width);
        EXPECT_EQ(viewport[3], height);
    }
};

TEST_F(Scene, InitGLSetsTheFixedRenderStateAndNothingElse) {
    EXPECT_EQ(InitGL(), 1);
    EXPECT_TRUE(glIsEnabled(GL_LINE_SMOOTH));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    for (GLenum off : {GL_CULL_FACE, GL_LIGHTING, GL_TEXTURE_2D, GL_FOG, GL_ALPHA_TEST, GL_STENCIL_TEST})
        EXPECT_FALSE(glIsEnabled(off)) << "cap 0x" << std::hex << off;
    EXPECT_EQ(Integer(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(Integer(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(Integer(GL_LINE_SMOOTH_HINT), GL_DONT_CARE);
    EXPECT_EQ(Integer(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);
    EXPECT_EQ(Integer(GL_SHADE_MODEL), GL_SMOOTH);
    EXPECT_EQ(Integer(GL_DEPTH_FUNC), GL_LEQUAL);
    GLfloat lineWidth = 0, clear[4], depth = 0;
    glGetFloatv(GL_LINE_WIDTH, &lineWidth);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &depth);
    EXPECT_EQ(lineWidth, 1.5f);
    EXPECT_EQ(clear[0], 0.0f);
    EXPECT_EQ(clear[1], 0.0f);
    EXPECT_EQ(clear[2], 0.0f);
    EXPECT_EQ(clear[3], 0.5f);
    EXPECT_EQ(depth, 1.0f);
}

TEST_F(Scene, ProjectionFor640By480Is45DegreesFromPointOneTo100) {
    glMatrixMode(GL_TEXTURE); // whatever was selected before
    ReSizeGLScene(640, 480);
    ExpectViewport(640, 480);

    const glrec::Call &perspective = LastCall("gluPerspective");
    EXPECT_EQ(perspective.args[0], 45.0);
    EXPECT_EQ(perspective.args[1], 1.3333333333333333);
    EXPECT_EQ(perspective.args[2], 0.10000000149011612);
    EXPECT_EQ(perspective.args[3], 100.0);

    EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);
    GLdouble modelview[16], projection[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(modelview[i], (i % 5 == 0) ? 1.0 : 0.0);

    const double f = 1 / std::tan(22.5 * std::acos(-1.0) / 180), near = 0.1, far = 100;
    const double expected[16] = {f * 3 / 4, 0, 0, 0, 0, f, 0, 0, 0, 0, (far + near) / (near - far), -1,
                                 0, 0, 2 * far * near / (near - far), 0};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(projection[i], expected[i], 1e-5) << "element " << i;

    // A point on the view axis 25 units out lies inside the view volume.
    const double z = -25, clipZ = projection[10] * z + projection[14], clipW = -z;
    EXPECT_GT(clipZ / clipW, -1);
    EXPECT_LT(clipZ / clipW, 1);
}

TEST_F(Scene, ResizeLeavesAnIdentityModelviewWhateverCameBefore) {
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(1, 2, 3);
    glMatrixMode(GL_PROJECTION);
    ReSizeGLScene(320, 240);
    EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);
    GLdouble modelview[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(modelview[i], (i % 5 == 0) ? 1.0 : 0.0);
}

TEST_F(Scene, NoHeightCountsAsOnePixel) {
    ReSizeGLScene(640, 0);
    ExpectViewport(640, 1);
    EXPECT_EQ(LastCall("gluPerspective").args[1], 640.0);
}

TEST_F(Scene, MinimisedSizeGivesAZeroAspectWithoutError) {
    ReSizeGLScene(0, 0);
    ExpectViewport(0, 1);
    EXPECT_EQ(LastCall("gluPerspective").args[1], 0.0);
    // Restoring sets a proper projection again.
    ReSizeGLScene(640, 480);
    ExpectViewport(640, 480);
    GLdouble projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    EXPECT_NEAR(projection[0], 1 / std::tan(22.5 * std::acos(-1.0) / 180) * 0.75, 1e-5);
}

} // namespace
