// The box and the arm, drawn on real Mesa GL: the calls, the geometry they
// produce in eye space, and the pixels.
#include "tests/gl_test_support.h"
#include "tests/start_pose_probes.h"

#include "arm/arm.h"
#include "tools/offscreen_gl.h"
#include "window/scene.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

class GL : public ::testing::Test {
  protected:
    void SetUp() override {
        UseOffscreenGL();
        SetStartPose();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glrec::Reset();
    }
    void TearDown() override { EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR); }
};

using BoxPrimitive = GL;
using Frame = GL;

enum { Red, RedConnector, Green, GreenConnector, Blue, Piece1, Piece2, Jaw1Bar1, Jaw1Bar2, Jaw2Bar1, Jaw2Bar2 };

TEST_F(BoxPrimitive, EmitsSixQuadsOfFourVerticesFromTopToRight) {
    Cube(1.0f);
    const auto &quads = glrec::primitives;
    ASSERT_EQ(quads.size(), 6u);
    int begins = 0, ends = 0;
    for (const auto &call : glrec::calls) {
        begins += call.name == "glBegin";
        ends += call.name == "glEnd";
    }
    EXPECT_EQ(begins, 6);
    EXPECT_EQ(ends, 6);
    for (const auto &q : quads) {
        EXPECT_EQ(q.mode, (GLenum)GL_QUADS);
        ASSERT_EQ(q.local.size(), 4u);
    }
    EXPECT_EQ(quads.front().local.front(), (Vec3{0, 1, 0}));
    EXPECT_EQ(quads.back().local.back(), (Vec3{1, 0, -1}));

    // Each face lies in its own plane: top, bottom, front, back, left, right.
    const struct { int axis; double at; } planes[6] = {{1, 1}, {1, 0}, {2, 0}, {2, -1}, {0, 0}, {0, 1}};
    for (int f = 0; f < 6; ++f)
        for (const Vec3 &v : quads[f].local) EXPECT_EQ(v[planes[f].axis], planes[f].at) << "face " << f;
}

TEST_F(BoxPrimitive, SpansItsEdgeAndScalesLikeASmallerBox) {
    Cube(3.0f);
    double low[3] = {1e9, 1e9, 1e9}, high[3] = {-1e9, -1e9, -1e9};
    for (const auto &q : glrec::primitives)
        for (const Vec3 &v : q.local)
            for (int i = 0; i < 3; ++i) low[i] = std::fmin(low[i], v[i]), high[i] = std::fmax(high[i], v[i]);
    EXPECT_EQ(low[0], 0);  EXPECT_EQ(high[0], 3);
    EXPECT_EQ(low[1], 0);  EXPECT_EQ(high[1], 3);
    EXPECT_EQ(low[2], -3); EXPECT_EQ(high[2], 0);

    glrec::Reset();
    glScalef(0.5f, 0.5f, 0.5f);
    Cube(3.0f);
    glLoadIdentity();
    Cube(1.5f);
    const std::vector<Box> boxes = RecordedBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    for (int i = 0; i < 24; ++i) EXPECT_VEC_NEAR(boxes[0].eye[i], boxes[1].eye[i], 1e-12);
}

TEST_F(BoxPrimitive, LeavesMatricesAndColourAsFound) {
    glColor4f(0.25f, 0.5f, 0.75f, 1.0f);
    glTranslatef(1, 2, 3);
    GLint mode = 0;
    GLdouble before[16], after[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, before);
    Cube(2.0f);
    glGetDoublev(GL_MODELVIEW_MATRIX, after);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0], 0.25f);
    EXPECT_EQ(colour[1], 0.5f);
    EXPECT_EQ(colour[2], 0.75f);
    EXPECT_EQ(colour[3], 1.0f);
}

TEST_F(Frame, DrawsElevenBoxesInTheirColoursAndLeavesTheStackAsFound) {
    GLint depthBefore = 0, depthAfter = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
    EXPECT_NE(DrawGLScene(), 0);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
    EXPECT_EQ(depthAfter, depthBefore);

    const std::vector<Box> boxes = RecordedBoxes();
    ASSERT_EQ(boxes.size(), 11u);
    EXPECT_EQ(glrec::primitives.size(), 66u);
    const GLfloat colours[11][3] = {{1, 0, 0},   {1, 0, 0},          {0, 1, 0},          {0, 1, 0},
                                    {0, 0, 1},   {0, 0, 1},          {0, 0.3f, 0.7f},    {0.5f, 0.2f, 1},
                                    {0.5f, 0.2f, 1}, {0.9f, 0.5f, 0.3f}, {0.9f, 0.5f, 0.3f}};
    for (int b = 0; b < 11; ++b)
        for (int i = 0; i < 3; ++i) EXPECT_EQ(boxes[b].colour[i], colours[b][i]) << "box " << b;
    EXPECT_EQ(glrec::calls.front().name, "glClear");
    EXPECT_EQ(glrec::calls.front().args[0], GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

TEST_F(Frame, IssuesTheMarkedTranslationsInDoublePrecision) {
    DrawGLScene();
    std::vector<Vec3> doubles;
    for (const auto &call : glrec::calls)
        if (call.name == "glTranslated") doubles.push_back({call.args[0], call.args[1], call.args[2]});
    const std::vector<Vec3> expected = {{0, 0.75, 0}, {0, 0.75, 0}, {0, 1.5, -1.5}, {0, -1.5, 1.5},
                                        {0, 1, -1},   {0, 1, -1},   {5, 0.5, 0}};
    EXPECT_EQ(doubles, expected);
}

TEST_F(Frame, StartPoseStandsLeftOfAndBelowTheLineOfSight) {
    const std::vector<Box> boxes = RecordFrame();
    ASSERT_EQ(boxes.size(), 11u);
    EXPECT_VEC_NEAR(boxes[Red].eye[0], (Vec3{-10, -2, -25}), 1e-9);
    EXPECT_VEC_NEAR(Sub(boxes[Green].origin, boxes[Red].origin), (Vec3{4.5, 0, 0}), 1e-9);
    EXPECT_VEC_NEAR(Sub(boxes[Blue].origin, boxes[Green].origin), (Vec3{4.5, 0, 0}), 1e-9);
    // Connectors: half size, centred on their segment in height, flush in front.
    EXPECT_VEC_NEAR(boxes[RedConnector].origin, (Vec3{-7, -4.25, -25}), 1e-9);
    EXPECT_NEAR(Length(boxes[RedConnector].ex), 1.5, 1e-9);
    // The pieces continue the blue segment's axis; the gripper starts after them.
    EXPECT_VEC_NEAR(boxes[Piece1].At(0, 0.5, 0.5), boxes[Blue].At(1, 0.5, 0.5), 1e-9);
    EXPECT_VEC_NEAR(boxes[Piece2].origin, boxes[Piece1].At(1, 0, 0), 1e-9);
}

TEST_F(Frame, GreenJointSwingsEverythingBeyondItAboutItsNearFaceCentre) {
    const std::vector<Box> start = RecordFrame();
    Piston1Rot = 75;
    const std::vector<Box> turned = RecordFrame();
    const Vec3 pivot = start[Green].At(0, 0.5, 0.5);
    EXPECT_VEC_NEAR(pivot, (Vec3{-5.5, -3.5, -26.5}), 1e-9);
    for (int b = 0; b < 11; ++b)
        for (int v = 0; v < 24; ++v) {
            const Vec3 expected = b < Green ? start[b].eye[v] : RotateAboutZ(start[b].eye[v], pivot, 75);
            EXPECT_VEC_NEAR(turned[b].eye[v], expected, 1e-4);
        }
}

TEST_F(Frame, WristTurnsOnlyThePiecesAndTheGripper) {
    const std::vector<Box> start = RecordFrame();
    Piston3Rot = -30;
    const std::vector<Box> turned = RecordFrame();
    const Vec3 pivot = start[Blue].At(1, 0.5, 0.5);
    for (int b = 0; b < 11; ++b)
        for (int v = 0; v < 24; ++v) {
            const Vec3 expected = b <= Blue ? start[b].eye[v] : RotateAboutX(start[b].eye[v], pivot, -30);
            EXPECT_VEC_NEAR(turned[b].eye[v], expected, 1e-4);
        }
}

TEST_F(Frame, LongestPiecesPutTheGripper16BeyondTheWrist) {
    Piston3Trans = 8;
    const std::vector<Box> boxes = RecordFrame();
    const Vec3 wrist = boxes[Blue].At(1, 0, 0); // lower front corner of the far face
    EXPECT_NEAR(Length(boxes[Piece1].ex), 8, 1e-9);
    EXPECT_NEAR(Length(boxes[Piece2].ex), 8, 1e-9);
    // Each jaw turns about the middle of its near end, half a unit above the base.
    for (int bar : {Jaw1Bar1, Jaw2Bar1}) {
        const Vec3 pivot = boxes[bar].At(0, 0.5, 0);
        EXPECT_VEC_NEAR(pivot, Add(wrist, {16, 1.5, -1}), 1e-4);
    }
}

// Direction of a bar along its length, in degrees from the pieces' axis.
double Heading(const Box &bar) { return std::atan2(bar.ex[1], bar.ex[0]) * 180 / std::acos(-1.0); }

TEST_F(Frame, GripperBarsFollowTheOpening) {
    for (GLfloat opening : {45.0f, 80.0f, 90.0f}) {
        PinceRot = opening;
        const std::vector<Box> boxes = RecordFrame();
        EXPECT_NEAR(Heading(boxes[Jaw1Bar1]), opening, 1e-4);
        EXPECT_NEAR(Heading(boxes[Jaw2Bar1]), -opening, 1e-4);
        EXPECT_NEAR(Heading(boxes[Jaw1Bar2]), opening - 80, 1e-4);
        EXPECT_NEAR(Heading(boxes[Jaw2Bar2]), 80 - opening, 1e-4);
        // The second bar hangs from the far end of the first, at mid-height.
        EXPECT_VEC_NEAR(boxes[Jaw1Bar2].At(0, 0.5, 0), boxes[Jaw1Bar1].At(1, 0.5, 0), 1e-4);
        // The jaws mirror each other about the plane through the pieces' axis.
        const double mirror = boxes[Jaw1Bar1].At(0, 0.5, 0)[1];
        for (int bar : {0, 1}) {
            const Box &one = boxes[Jaw1Bar1 + bar], &two = boxes[Jaw2Bar1 + bar];
            for (const Vec3 &v : one.eye) {
                const Vec3 image = {v[0], 2 * mirror - v[1], v[2]};
                double nearest = 1e9;
                for (const Vec3 &w : two.eye) nearest = std::fmin(nearest, Length(Sub(image, w)));
                EXPECT_LT(nearest, 1e-4) << "opening " << opening << " bar " << bar;
            }
        }
    }
}

// Pixels: the front face of each piece shows its colour at its centre.
TEST_F(Frame, StartPoseShowsEachPieceInItsColourOnBlack) {
    InitGL();
    ReSizeGLScene(offscreen::kWidth, offscreen::kHeight);
    DrawGLScene();
    glFinish();
    const std::vector<unsigned char> pixels = offscreen::ReadRGBA();

    for (const StartPoseProbe &p : kStartPoseProbes) {
        const auto xy = ToPixel(p.eye);
        const int x = (int)xy[0], y = (int)xy[1];
        ASSERT_TRUE(x >= 0 && x < 640 && y >= 0 && y < 480) << p.what;
        const unsigned char *got = &pixels[(size_t(y) * 640 + x) * 4];
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(got[i], p.rgb[i], 12) << p.what << " at (" << x << ", " << y << ") channel " << i;
    }
}

} // namespace
