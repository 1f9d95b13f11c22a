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

enum : int { Escape = 0x1B, Left = 0x25, Up, Right, Down, F1 = 0x70, F2, F3, F4, F5, F6, F7 };
enum { Red, RedLink, Green, GreenLink, Blue, Piece1, Piece2, Jaw1, Jaw1Tip, Jaw2, Jaw2Tip };

GLfloat *const kPose[5] = {&Piston1Rot, &Piston2Rot, &Piston3Rot, &Piston3Trans, &PinceRot};
const Vec kStart = {Piston1Rot, Piston2Rot, Piston3Rot, Piston3Trans, PinceRot}; // before any test

struct PoseKey {
    int key, value; // value: index into kPose
    GLfloat step, bound;
};
const PoseKey kKeys[10] = {{F2, 0, +1, 75}, {F3, 0, -1, -75}, {F4, 1, +1, 75},   {F5, 1, -1, -75},
                           {F6, 2, +1, 75}, {F7, 2, -1, -75}, {Right, 3, +1, 8}, {Left, 3, -1, 1},
                           {Up, 4, +1, 90}, {Down, 4, -1, 45}}; // in pairs, raising key first

class Arm : public Test {
  protected:
    void SetUp() override { SetPose(kStart); }
    static Vec Current() { return {Piston1Rot, Piston2Rot, Piston3Rot, Piston3Trans, PinceRot}; }
    static auto Near(const Vec &want, double by = 1e-3) { return Pointwise(DoubleNear(by), want); }
    static void SetPose(const Vec &pose) {
        for (int i = 0; i < 5; ++i)
            *kPose[i] = pose[i];
        std::fill(std::begin(keys), std::end(keys), 0);
    }
};

// Each key held from the other end of its range past its bound, then with its
// pair in one pass from its bound and the middle; the raising key acts first.
TEST_F(Arm, PoseKeys) {
    EXPECT_EQ(kStart, (Vec{0, 0, 0, 1, 45}));
    for (int i = 0; i < 10; ++i) {
        const PoseKey &k = kKeys[i], &other = kKeys[i ^ 1];
        SetPose(kStart);
        *kPose[k.value] = other.bound;
        for (int press = 0; press < 155; ++press) {
            Vec want = Current();
            if (want[k.value] != k.bound) want[k.value] += k.step;
            keys[k.key] = 1;
            ApplyPoseKeys();
            ASSERT_EQ(Current(), want) << "key 0x" << std::hex << k.key;
            ASSERT_EQ(keys[k.key], 0) << "key 0x" << std::hex << k.key;
        }
        for (GLfloat from : {k.bound, std::floor((k.bound + other.bound) / 2)}) {
            *kPose[k.value] = from;
            keys[k.key] = keys[other.key] = 1;
            ApplyPoseKeys();
            EXPECT_EQ(*kPose[k.value], from == k.bound && k.step > 0 ? from - 1 : from) << k.key;
            EXPECT_EQ(keys[k.key] | keys[other.key], 0);
        }
    }
    std::fill(std::begin(keys), std::end(keys), 1); // the ten are cleared, the other 246 not
    ApplyPoseKeys();
    EXPECT_EQ(std::count(std::begin(keys), std::end(keys), 1), 246);
    EXPECT_EQ(keys[F1] + keys[Escape], 2);
}

struct Vertex {
    Vec eye, rgb;
};

// Runs `draw` in feedback mode, its window coordinates giving back eye ones
// exactly, and returns the quads' corners. Mesa hands back quad v0..v3 as the
// triangles (v0,v1,v3), (v1,v2,v3): a token, a count and 3 x 7 floats each.
std::vector<Vertex> Feedback(void (*draw)()) {
    static GLfloat buffer[8192];
    glViewport(-128, -128, 256, 256);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-128, 128, -128, 128, -128, 128);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glFeedbackBuffer(8192, GL_3D_COLOR, buffer);
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint size = glRenderMode(GL_RENDER);
    std::vector<Vertex> quads;
    for (const GLfloat *t = buffer; t + 46 <= buffer + size; t += 46) {
        EXPECT_TRUE(std::equal(t + 9, t + 16, t + 25) && std::equal(t + 16, t + 23, t + 39));
        for (const GLfloat *c : {t + 2, t + 9, t + 32, t + 16})
            quads.push_back({{c[0], c[1], 128 - 256.0 * c[2]}, {c[3], c[4], c[5]}});
    }
    return quads;
}

// One frame: eleven boxes of 24 corners, over a modelview DrawGLScene replaces.
std::vector<Vertex> Frame() {
    std::vector<Vertex> v = Feedback([] { glTranslatef(5, 6, 7), DrawGLScene(); });
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1) << "a push without its pop";
    EXPECT_EQ(v.size(), 11u * 24) << "eleven boxes";
    v.resize(11 * 24, {{0, 0, 0}, {0, 0, 0}});
    return v;
}

// Lowest x, y, z, then highest x, y, z of a box's corners.
Vec Bounds(const std::vector<Vertex> &v, int box) {
    Vec b = {1e9, 1e9, 1e9, -1e9, -1e9, -1e9};
    for (int i = 24 * box; i < 24 * box + 24; ++i)
        for (int a = 0; a < 3; ++a)
            b[a] = std::min(b[a], v[i].eye[a]), b[a + 3] = std::max(b[a + 3], v[i].eye[a]);
    return b;
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

// Each frame: the red segment's top face starts at (0,3,0) in its frame, the
// green one 4.5 right; the pieces run from the wrist at x 2. A jaw bar's corners
// 4, 5, 9 and 10 are (0,0,0), (5,0,0), (5,0,0) and (5,1,0) in its own frame.
TEST_F(Drawing, CubeAndFramesAtSeveralLengthsAndOpenings) {
    const std::vector<Vertex> cube = Feedback([] { Cube(1); });
    ASSERT_EQ(cube.size(), 24u);
    EXPECT_EQ(cube.front().eye, (Vec{0, 1, 0}));
    EXPECT_EQ(cube.back().eye, (Vec{1, 0, -1}));
    EXPECT_EQ(Bounds(Feedback([] { Cube(3); }), 0), (Vec{0, 0, -3, 3, 3, 0}));
    const GLfloat kCases[3][2] = {{45, 1}, {80, 8}, {90, 8}}; // PinceRot, Piston3Trans
    for (const auto &c : kCases) {
        PinceRot = c[0], Piston3Trans = c[1];
        const std::vector<Vertex> v = Frame();
        const double p = c[0], t = c[1], headings[4] = {p, p - 80, -p, 80 - p};
        for (int b = 0; b < 11; ++b)
            EXPECT_EQ(v[24 * b].rgb, kColours[b]) << "box " << b;
        EXPECT_THAT(v[24 * Red].eye, Near({-10, -2, -25}));
        EXPECT_THAT(v[24 * Green].eye, Near({-5.5, -2, -25}));
        EXPECT_THAT(Bounds(v, RedLink), Near({-7, -4.25, -26.5, -5.5, -2.75, -25}));
        EXPECT_THAT(Bounds(v, Piece1), Near({2, -4, -27, 2 + t, -3, -26}));
        EXPECT_THAT(Bounds(v, Piece2), Near({2 + t, -4, -27, 2 + 2 * t, -3, -26}));
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
    for (const auto &j : kJoints) {
        SetPose(kStart);
        const std::vector<Vertex> start = Frame();
        *kPose[int(j[0])] = j[1];
        const std::vector<Vertex> turned = Frame();
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

// After InitGL, as glGetFloatv gives them: name, values.
const GLfloat kRenderState[][5] = {
    {GL_BLEND_SRC, GL_SRC_ALPHA},
    {GL_BLEND_DST, GL_ONE_MINUS_SRC_ALPHA},
    {GL_LINE_SMOOTH_HINT, GL_DONT_CARE},
    {GL_LINE_WIDTH, 1.5},
    {GL_SHADE_MODEL, GL_SMOOTH},
    {GL_COLOR_CLEAR_VALUE, 0, 0, 0, 0.5},
    {GL_DEPTH_CLEAR_VALUE, 1},
    {GL_DEPTH_FUNC, GL_LEQUAL},
    {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST},
};
// Width and height given, viewport height wanted, matrix mode before.
const GLsizei kSizes[3][4] = {
    {640, 0, 1, GL_TEXTURE}, {0, 0, 1, GL_MODELVIEW}, {640, 480, 480, GL_PROJECTION}};

// The buffers are left white and at depth 0 before InitGL, so the frame at
// the end must clear both or lose the red segment or the black around it.
TEST_F(Drawing, RenderStateProjectionAndAFrameOnScreen) {
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST); // where the GL defaults would pass
    glShadeModel(GL_FLAT);
    glClearColor(1, 1, 1, 1);
    glClearDepth(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    EXPECT_EQ(InitGL(), 1);
    for (GLenum cap : {GL_LINE_SMOOTH, GL_BLEND, GL_DEPTH_TEST})
        EXPECT_TRUE(glIsEnabled(cap)) << "0x" << std::hex << cap;
    for (GLenum cap : {GL_CULL_FACE, GL_LIGHTING, GL_TEXTURE_2D, GL_FOG})
        EXPECT_FALSE(glIsEnabled(cap)) << "0x" << std::hex << cap;
    for (const auto &s : kRenderState) {
        GLfloat got[4] = {};
        glGetFloatv(GLenum(s[0]), got);
        EXPECT_EQ(Vec(got, got + 4), Vec(s + 1, s + 5)) << "0x" << std::hex << GLenum(s[0]);
    }

    for (const auto &s : kSizes) {
        glTranslatef(1, 2, 3); // the modelview is selected
        glMatrixMode(s[3]);
        ReSizeGLScene(s[0], s[1]);
        GLint got[5]; // viewport, then matrix mode
        glGetIntegerv(GL_VIEWPORT, got);
        glGetIntegerv(GL_MATRIX_MODE, got + 4);
        EXPECT_EQ(Vec(got, got + 5), (Vec{0, 0, double(s[0]), double(s[2]), GL_MODELVIEW}));
        // gluPerspective(45, a, 0.1, 100); GLU skips a zero aspect, leaving the identity.
        const double a = s[0] / double(s[2]), f = 1 / std::tan(22.5 * kDegree), n = 0.1, r = 100;
        Vec want = {
            f / a, 0, 0, 0, 0, f, 0, 0, 0, 0, (r + n) / (n - r), -1, 0, 0, 2 * r * n / (n - r), 0};
        if (a == 0) want = kIdentity;
        GLdouble m[32]; // projection, then modelview
        glGetDoublev(GL_PROJECTION_MATRIX, m);
        glGetDoublev(GL_MODELVIEW_MATRIX, m + 16);
        EXPECT_THAT(Vec(m, m + 16), Near(want, 1e-5)) << s[0] << "x" << s[1];
        EXPECT_EQ(Vec(m + 16, m + 32), kIdentity) << s[0] << "x" << s[1];
    }

    EXPECT_NE(DrawGLScene(), 0);
    const std::vector<unsigned char> rgba = offscreen::ReadRGBA();
    // (123, 159) shows eye (-8.5, -3.5, -25), the red segment's front face centre.
    const unsigned char *red = &rgba[(159 * 640 + 123) * 4], *black = &rgba[(450 * 640 + 600) * 4];
    EXPECT_EQ(Vec(red, red + 3), (Vec{255, 0, 0}));
    EXPECT_EQ(Vec(black, black + 3), (Vec{0, 0, 0}));
}

} // namespace
