// The arm on headless Mesa GL: pose keys, frames read back in eye space, render state.
#include "arm/arm.h"
#include "tools/offscreen_gl.h"
#include "window/scene.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using namespace ::testing;
using Vec = std::vector<double>;
const double kDegree = std::acos(-1.0) / 180;
const Vec kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

enum : int { Left = 0x25, Up, Right, Down, F2 = 0x71, F3, F4, F5, F6, F7 };
enum { Red, RedLink, Green, GreenLink, Blue, Piece1, Piece2, Jaw1, Jaw1Tip, Jaw2, Jaw2Tip };

GLfloat *const kPose[5] = {&Piston1Rot, &Piston2Rot, &Piston3Rot, &Piston3Trans, &PinceRot};
const Vec kStart = {Piston1Rot, Piston2Rot, Piston3Rot, Piston3Trans, PinceRot}; // before any test

// Key, index into kPose, step, bound; in pairs, the raising key first.
const int kKeys[10][4] = {{F2, 0, +1, 75}, {F3, 0, -1, -75}, {F4, 1, +1, 75},   {F5, 1, -1, -75},
                          {F6, 2, +1, 75}, {F7, 2, -1, -75}, {Right, 3, +1, 8}, {Left, 3, -1, 1},
                          {Up, 4, +1, 90}, {Down, 4, -1, 45}};

class Arm : public Test {
  protected:
    static Vec Pose() { return {Piston1Rot, Piston2Rot, Piston3Rot, Piston3Trans, PinceRot}; }
    static auto Near(const Vec &want, double by = 1e-3) { return Pointwise(DoubleNear(by), want); }
    void SetUp() override {
        for (int i = 0; i < 5; ++i)
            *kPose[i] = kStart[i];
        std::fill(std::begin(keys), std::end(keys), 0);
    }
};

// Each key held from the other end of its range past its bound, then pressed with its pair in one
// pass: both act, the raising key first.
TEST_F(Arm, PoseKeys) {
    EXPECT_EQ(kStart, (Vec{0, 0, 0, 1, 45}));
    for (int i = 0; i < 10; ++i) {
        const auto [key, value, step, bound] = kKeys[i];
        *kPose[value] = kKeys[i ^ 1][3];
        for (int press = 0; press < 155; ++press) {
            Vec want = Pose();
            if (want[value] != bound) want[value] += step;
            keys[key] = 1;
            ApplyPoseKeys();
            ASSERT_EQ(Pose(), want) << "key 0x" << std::hex << key;
        }
        keys[key] = keys[kKeys[i ^ 1][0]] = 1;
        ApplyPoseKeys();
        EXPECT_EQ(*kPose[value], step > 0 ? bound - 1 : bound) << "key 0x" << std::hex << key;
    }
    std::fill(std::begin(keys), std::end(keys), 1); // the ten are cleared, the other 246 not
    ApplyPoseKeys();
    EXPECT_EQ(std::count(std::begin(keys), std::end(keys), 1), 246);
}

struct Vertex {
    Vec eye, rgb;
};

Vec Get(GLenum name, int count = 1) {
    GLdouble v[16] = {};
    glGetDoublev(name, v);
    return Vec(v, v + count);
}

// One frame in feedback mode, window coordinates giving back eye ones exactly: eleven boxes of 24
// corners. Mesa hands back quad v0..v3 as the triangles (v0,v1,v3), (v1,v2,v3): a token, a count
// and 3 x 7 floats each.
std::vector<Vertex> Frame() {
    static GLfloat buffer[8192];
    glViewport(-128, -128, 256, 256);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-128, 128, -128, 128, -128, 128);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(5, 6, 7); // for DrawGLScene to replace
    glFeedbackBuffer(8192, GL_3D_COLOR, buffer);
    glRenderMode(GL_FEEDBACK);
    DrawGLScene();
    const GLint size = glRenderMode(GL_RENDER);
    EXPECT_EQ(Get(GL_MODELVIEW_STACK_DEPTH), Vec{1}) << "a push without its pop";
    EXPECT_EQ(size, 11 * 6 * 46) << "eleven boxes";
    std::vector<Vertex> v;
    for (const GLfloat *t = buffer; t < buffer + 11 * 6 * 46; t += 46) {
        EXPECT_TRUE(std::equal(t + 9, t + 16, t + 25) && std::equal(t + 16, t + 23, t + 39));
        for (const GLfloat *c : {t + 2, t + 9, t + 32, t + 16})
            v.push_back({{c[0], c[1], 128 - 256.0 * c[2]}, {c[3], c[4], c[5]}});
    }
    return v;
}

// A box's corners (0,0,0) and (s,s,-s) in its own frame, from Cube's order.
Vec Span(const std::vector<Vertex> &v, int box) {
    const Vec &a = v[24 * box + 4].eye, &b = v[24 * box + 2].eye;
    return {a[0], a[1], a[2], b[0], b[1], b[2]};
}

class Drawing : public Arm {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(offscreen::Start(&why)) << why; }
    void TearDown() override { EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR); }
    static inline std::string why;
};

const Vec kColours[11] = {{1, 0, 0},       {1, 0, 0},          {0, 1, 0},         {0, 1, 0},
                          {0, 0, 1},       {0, 0, 1},          {0, 0.3f, 0.7f},   {0.5f, 0.2f, 1},
                          {0.5f, 0.2f, 1}, {0.9f, 0.5f, 0.3f}, {0.9f, 0.5f, 0.3f}};

// The pieces run from the wrist at x 2. A jaw bar's corners 4, 5, 9 and 10 are (0,0,0), (5,0,0),
// (5,0,0) and (5,1,0) in its own frame.
TEST_F(Drawing, FramesAtSeveralLengthsAndOpenings) {
    const GLfloat kCases[3][2] = {{45, 1}, {80, 8}, {90, 8}}; // PinceRot, Piston3Trans
    for (const auto &c : kCases) {
        PinceRot = c[0], Piston3Trans = c[1];
        const std::vector<Vertex> v = Frame();
        const double p = c[0], t = c[1], headings[4] = {p, p - 80, -p, 80 - p};
        for (int b = 0; b < 11; ++b)
            EXPECT_EQ(v[24 * b].rgb, kColours[b]) << "box " << b;
        EXPECT_THAT(Span(v, Red), Near({-10, -5, -25, -7, -2, -28}));
        EXPECT_THAT(Span(v, Green), Near({-5.5, -5, -25, -2.5, -2, -28}));
        EXPECT_THAT(Span(v, RedLink), Near({-7, -4.25, -25, -5.5, -2.75, -26.5}));
        EXPECT_THAT(Span(v, Piece1), Near({2, -4, -26, 2 + t, -3, -27}));
        EXPECT_THAT(Span(v, Piece2), Near({2 + t, -4, -26, 2 + 2 * t, -3, -27}));
        Vec at; // where a bar turns: the gripper base's near end, or its first bar's far end
        for (int bar = 0; bar < 4; ++bar) {
            const Vertex *q = &v[24 * (Jaw1 + bar)];
            const double h = std::atan2(q[5].eye[1] - q[4].eye[1], q[5].eye[0] - q[4].eye[0]);
            EXPECT_NEAR(h / kDegree, headings[bar], 1e-3) << "bar " << bar << " at " << p;
            if (bar % 2 == 0) at = {2 + 2 * t, -3.5};
            EXPECT_THAT(q[4].eye, Near({at[0] + std::sin(h) / 2, at[1] - std::cos(h) / 2, -26}));
            at = {(q[9].eye[0] + q[10].eye[0]) / 2, (q[9].eye[1] + q[10].eye[1]) / 2};
        }
    }
}

// Pose value, angle, first box moved, axis (0 x, 2 z), pivot.
const double kJoints[3][7] = {
    {0, 30, Green, 2, -5.5, -3.5, -26.5}, // green segment's near face centre
    {1, -50, Blue, 2, -1, -3.5, -26.5},   // blue segment's near face centre
    {2, 40, Piece1, 0, 2, -3.5, -26.5}};  // its far face centre

TEST_F(Drawing, EachJointTurnsEverythingAfterItAboutItsPivot) {
    const std::vector<Vertex> start = Frame();
    for (const auto &j : kJoints) {
        *kPose[int(j[0])] = j[1];
        const std::vector<Vertex> turned = Frame();
        *kPose[int(j[0])] = 0;
        const double c = std::cos(j[1] * kDegree), s = std::sin(j[1] * kDegree), *p = j + 4;
        const int a = (int(j[3]) + 1) % 3, b = (int(j[3]) + 2) % 3; // turning a towards b
        for (size_t i = 0; i < start.size(); ++i) {
            Vec want = start[i].eye;
            const double u = want[a] - p[a], w = want[b] - p[b];
            if (i / 24 >= j[2]) want[a] = p[a] + c * u - s * w, want[b] = p[b] + s * u + c * w;
            EXPECT_THAT(turned[i].eye, Near(want)) << "joint " << j[0] << ", box " << i / 24;
        }
    }
}

// Width and height given, viewport height wanted, matrix mode before.
const GLsizei kSizes[3][4] = {
    {640, 0, 1, GL_TEXTURE}, {0, 0, 1, GL_MODELVIEW}, {640, 480, 480, GL_PROJECTION}};

// The buffers are left white and at depth 0 before InitGL, so the frame at the end must clear both
// or lose the red segment or the black around it.
TEST_F(Drawing, RenderStateProjectionAndAFrameOnScreen) {
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST), glShadeModel(GL_FLAT); // the GL defaults would pass
    glClearColor(1, 1, 1, 1), glClearDepth(0), glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    EXPECT_EQ(InitGL(), 1);
    Vec state; // as glGetDoublev gives them, a capability 1 when enabled
    for (GLenum name :
         {GL_LINE_SMOOTH, GL_BLEND, GL_DEPTH_TEST, GL_CULL_FACE, GL_LIGHTING, GL_TEXTURE_2D, GL_FOG,
          GL_BLEND_SRC, GL_BLEND_DST, GL_LINE_SMOOTH_HINT, GL_LINE_WIDTH, GL_SHADE_MODEL,
          GL_DEPTH_CLEAR_VALUE, GL_DEPTH_FUNC, GL_PERSPECTIVE_CORRECTION_HINT})
        state.push_back(Get(name)[0]);
    EXPECT_EQ(state, (Vec{1, 1, 1, 0, 0, 0, 0, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DONT_CARE,
                          1.5, GL_SMOOTH, 1, GL_LEQUAL, GL_NICEST}));
    EXPECT_EQ(Get(GL_COLOR_CLEAR_VALUE, 4), (Vec{0, 0, 0, 0.5}));
    for (const auto &s : kSizes) {
        glTranslatef(1, 2, 3); // the modelview is selected
        glMatrixMode(s[3]);
        ReSizeGLScene(s[0], s[1]);
        EXPECT_EQ(Get(GL_VIEWPORT, 4), (Vec{0, 0, double(s[0]), double(s[2])}));
        EXPECT_EQ(Get(GL_MATRIX_MODE), Vec{GL_MODELVIEW});
        // gluPerspective(45, a, 0.1, 100); GLU skips a zero aspect, leaving the identity.
        const double a = s[0] / double(s[2]), f = 1 / std::tan(22.5 * kDegree);
        Vec want = {f / a, 0, 0, 0, 0, f, 0, 0, 0, 0, -100.1 / 99.9, -1, 0, 0, -20 / 99.9, 0};
        if (a == 0) want = kIdentity;
        EXPECT_THAT(Get(GL_PROJECTION_MATRIX, 16), Near(want, 1e-5)) << s[0] << "x" << s[1];
        EXPECT_EQ(Get(GL_MODELVIEW_MATRIX, 16), kIdentity) << s[0] << "x" << s[1];
    }
    EXPECT_NE(DrawGLScene(), 0);
    GLfloat rgb[2][3]; // the red segment's front face centre, eye (-8.5, -3.5, -25); a corner
    glReadPixels(123, 159, 1, 1, GL_RGB, GL_FLOAT, rgb[0]);
    glReadPixels(600, 450, 1, 1, GL_RGB, GL_FLOAT, rgb[1]);
    EXPECT_EQ(Vec(rgb[0], rgb[0] + 6), (Vec{1, 0, 0, 0, 0, 0}));
}

} // namespace
