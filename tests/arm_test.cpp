// The arm on headless Mesa GL: pose keys, frames read back in eye space, render state.
#include "arm/arm.h"
#include "tools/offscreen_gl.h"
#include "window/scene.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <set>
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

// The ten pose keys in pairs, the raising key first: the pose value each moves, its step and the
// bound it stops on.
struct PoseKey {
    int key;
    int value; // index into kPose
    int step, bound;
};
const PoseKey kKeys[10] = {
    {.key = F2, .value = 0, .step = +1, .bound = 75},
    {.key = F3, .value = 0, .step = -1, .bound = -75},
    {.key = F4, .value = 1, .step = +1, .bound = 75},
    {.key = F5, .value = 1, .step = -1, .bound = -75},
    {.key = F6, .value = 2, .step = +1, .bound = 75},
    {.key = F7, .value = 2, .step = -1, .bound = -75},
    {.key = Right, .value = 3, .step = +1, .bound = 8},
    {.key = Left, .value = 3, .step = -1, .bound = 1},
    {.key = Up, .value = 4, .step = +1, .bound = 90},
    {.key = Down, .value = 4, .step = -1, .bound = 45},
};

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
        const PoseKey &pair = kKeys[i ^ 1];
        *kPose[value] = pair.bound;
        for (int press = 0; press < 155; ++press) {
            Vec want = Pose();
            if (want[value] != bound) want[value] += step;
            keys[key] = 1;
            ApplyPoseKeys();
            ASSERT_EQ(Pose(), want) << "key 0x" << std::hex << key;
        }
        keys[key] = 1;
        keys[pair.key] = 1;
        ApplyPoseKeys();
        EXPECT_EQ(*kPose[value], step > 0 ? bound - 1 : bound) << "key 0x" << std::hex << key;
    }
}

struct Vertex {
    Vec eye, rgb;
};

Vec Get(GLenum name, int count = 1) {
    GLdouble v[16] = {};
    glGetDoublev(name, v);
    return Vec(v, v + count);
}

// What `draw` draws, in feedback mode, window coordinates giving back eye ones: four corners a
// quad. Mesa hands back quad v0..v3 as the triangles (v0,v1,v3), (v1,v2,v3): a token, a count and
// 3 x 7 floats each.
std::vector<Vertex> Feedback(void (*draw)(), int quads) {
    static GLfloat buffer[8192];
    glViewport(-128, -128, 256, 256);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-128, 128, -128, 128, -128, 128);
    glMatrixMode(GL_MODELVIEW);
    glFeedbackBuffer(8192, GL_3D_COLOR, buffer);
    glRenderMode(GL_FEEDBACK);
    draw();
    EXPECT_EQ(glRenderMode(GL_RENDER), quads * 46) << "not " << quads << " quads";
    std::vector<Vertex> v;
    for (const GLfloat *t = buffer; t < buffer + quads * 46; t += 46) {
        for (const GLfloat *c : {t + 2, t + 9, t + 32, t + 16})
            v.push_back({{c[0], c[1], 128 - 256.0 * c[2]}, {c[3], c[4], c[5]}});
    }
    return v;
}

// One frame of the arm: eleven boxes of 24 corners.
std::vector<Vertex> Frame() {
    glTranslatef(5, 6, 7); // for DrawGLScene to replace
    const std::vector<Vertex> v = Feedback([] { DrawGLScene(); }, 11 * 6);
    EXPECT_EQ(Get(GL_MODELVIEW_STACK_DEPTH), Vec{1}) << "a push without its pop";
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

// The box as drawn: each face's four corners are corners of the box on one plane, going round the
// face from corner to corner along its edges; the six faces lie on six different planes, so they
// close the box.
TEST_F(Drawing, BoxDrawsTheSixFacesOfItsSpan) {
    for (GLfloat s : {1.0f, 3.0f}) {
        static GLfloat edge;
        edge = s;
        glLoadIdentity();
        const std::vector<Vertex> v = Feedback([] { Cube(edge); }, 6);
        std::set<std::pair<int, double>> planes; // the axis a face is flat in, and where
        for (int face = 0; face < 6; ++face) {
            SCOPED_TRACE(testing::Message() << "edge " << s << ", face " << face);
            const Vertex *q = &v[4 * face];
            for (int axis = 0; axis < 3; ++axis) {
                const auto same = [&](int c) { return q[c].eye[axis] == q[0].eye[axis]; };
                if (same(1) && same(2) && same(3)) planes.insert({axis, q[0].eye[axis]});
            }
            for (int c = 0; c < 4; ++c) {
                const Vec &a = q[c].eye, &b = q[(c + 1) % 4].eye;
                const double far[3] = {s, s, -s}; // a corner is at 0 or here on each axis
                for (int axis = 0; axis < 3; ++axis)
                    EXPECT_THAT(a[axis], AnyOf(DoubleNear(0, 1e-4), DoubleNear(far[axis], 1e-4)))
                        << "corner " << c << ", " << char('x' + axis);
                const int differ = (a[0] != b[0]) + (a[1] != b[1]) + (a[2] != b[2]);
                EXPECT_EQ(differ, 1) << "corners " << c << " and " << (c + 1) % 4 << ": no edge";
            }
        }
        EXPECT_EQ(planes.size(), 6u) << "faces on the same plane, or on none";
    }
}

const Vec kColours[11] = {{1, 0, 0},       {1, 0, 0},          {0, 1, 0},         {0, 1, 0},
                          {0, 0, 1},       {0, 0, 1},          {0, 0.3f, 0.7f},   {0.5f, 0.2f, 1},
                          {0.5f, 0.2f, 1}, {0.9f, 0.5f, 0.3f}, {0.9f, 0.5f, 0.3f}};

// The pieces run from the wrist at x 2. A jaw bar's corners 4, 5, 9 and 10 are (0,0,0), (5,0,0),
// (5,0,0) and (5,1,0) in its own frame.
TEST_F(Drawing, FramesAtSeveralLengthsAndOpenings) {
    const struct {
        GLfloat pince, trans;
    } kCases[] = {
        {.pince = 45, .trans = 1},
        {.pince = 80, .trans = 8},
        {.pince = 90, .trans = 8},
    };
    const char *const kBars[4] = {"jaw one's first bar", "jaw one's second bar",
                                  "jaw two's first bar", "jaw two's second bar"};
    for (const auto &c : kCases) {
        SCOPED_TRACE(testing::Message() << "pince " << c.pince << ", trans " << c.trans);
        PinceRot = c.pince;
        Piston3Trans = c.trans;
        const std::vector<Vertex> v = Frame();
        const double p = c.pince, t = c.trans, headings[4] = {p, p - 80, -p, 80 - p};
        for (int b = 0; b < 11; ++b)
            EXPECT_EQ(v[24 * b].rgb, kColours[b]) << "box " << b;
        EXPECT_THAT(Span(v, Red), Near({-10, -5, -25, -7, -2, -28}));
        EXPECT_THAT(Span(v, Green), Near({-5.5, -5, -25, -2.5, -2, -28}));
        EXPECT_THAT(Span(v, RedLink), Near({-7, -4.25, -25, -5.5, -2.75, -26.5}));
        EXPECT_THAT(Span(v, Piece1), Near({2, -4, -26, 2 + t, -3, -27}));
        EXPECT_THAT(Span(v, Piece2), Near({2 + t, -4, -26, 2 + 2 * t, -3, -27}));
        Vec at; // where a bar turns: the gripper base's near end, or its first bar's far end
        for (int bar = 0; bar < 4; ++bar) {
            SCOPED_TRACE(kBars[bar]);
            const Vertex *q = &v[24 * (Jaw1 + bar)];
            const double h = std::atan2(q[5].eye[1] - q[4].eye[1], q[5].eye[0] - q[4].eye[0]);
            EXPECT_NEAR(h / kDegree, headings[bar], 1e-3) << "heading";
            if (bar % 2 == 0) at = {2 + 2 * t, -3.5};
            EXPECT_THAT(q[4].eye, Near({at[0] + std::sin(h) / 2, at[1] - std::cos(h) / 2, -26}))
                << "near corner";
            at = {(q[9].eye[0] + q[10].eye[0]) / 2, (q[9].eye[1] + q[10].eye[1]) / 2};
        }
    }
}

// A joint turned: everything from its first box on turns about its pivot, the rest stays.
struct Joint {
    int value; // index into kPose
    double angle;
    int firstBox;
    int axis; // 0 x, 2 z
    Vec pivot;
};
const Joint kJoints[] = {
    {.value = 0, .angle = 30, .firstBox = Green, .axis = 2, .pivot = {-5.5, -3.5, -26.5}},
    {.value = 1, .angle = -50, .firstBox = Blue, .axis = 2, .pivot = {-1, -3.5, -26.5}},
    {.value = 2, .angle = 40, .firstBox = Piece1, .axis = 0, .pivot = {2, -3.5, -26.5}},
};

TEST_F(Drawing, EachJointTurnsEverythingAfterItAboutItsPivot) {
    const std::vector<Vertex> start = Frame();
    for (const Joint &j : kJoints) {
        *kPose[j.value] = j.angle;
        const std::vector<Vertex> turned = Frame();
        *kPose[j.value] = 0;
        const double c = std::cos(j.angle * kDegree), s = std::sin(j.angle * kDegree);
        const int a = (j.axis + 1) % 3, b = (j.axis + 2) % 3; // turning a towards b
        const Vec &p = j.pivot;
        for (size_t i = 0; i < start.size(); ++i) {
            Vec want = start[i].eye;
            const double u = want[a] - p[a], w = want[b] - p[b];
            if ((int)i / 24 >= j.firstBox) {
                want[a] = p[a] + c * u - s * w;
                want[b] = p[b] + s * u + c * w;
            }
            EXPECT_THAT(turned[i].eye, Near(want)) << "joint " << j.value << ", box " << i / 24;
        }
    }
}

struct Size {
    GLsizei width, height;
    GLint viewportHeight;
};
const Size kSizes[] = {
    {.width = 640, .height = 0, .viewportHeight = 1},
    {.width = 0, .height = 0, .viewportHeight = 1},
    {.width = 640, .height = 480, .viewportHeight = 480},
};

// A pixel (window coordinates, from the bottom left) of a frame in the start pose but for the
// wrist. The red segment's front face, eye x -10..-7 and y -5..-2 at z -25, spans window
// x 88.2..157.8 and y 124.1..193.6: a view a degree wider or narrower moves those edges by 3 pixels
// or more. Where the jaws' first bars meet at the base, on one plane, the one drawn later is seen;
// with the wrist at 75 jaw one comes towards the eye and hides jaw two, drawn after it.
struct Pixel {
    GLfloat wrist;
    GLint x, y;
    Vec rgb;
    const char *what;
};
const Vec kBlack = {0, 0, 0}, kRed = {1, 0, 0}, kJawOne = {0.5, 0.2, 1}, kJawTwo = {0.9, 0.5, 0.3};
const Pixel kPixels[] = {
    {.wrist = 0, .x = 600, .y = 450, .rgb = kBlack, .what = "a corner, cleared"},
    {.wrist = 0, .x = 86, .y = 159, .rgb = kBlack, .what = "left of the red segment"},
    {.wrist = 0, .x = 90, .y = 159, .rgb = kRed, .what = "inside its left edge"},
    {.wrist = 0, .x = 123, .y = 122, .rgb = kBlack, .what = "below the red segment"},
    {.wrist = 0, .x = 123, .y = 126, .rgb = kRed, .what = "inside its bottom edge"},
    {.wrist = 0, .x = 416, .y = 163, .rgb = kJawTwo, .what = "the jaws' bars at the base"},
    {.wrist = 75, .x = 415, .y = 163, .rgb = kJawOne, .what = "jaw one in front of jaw two"},
};

// A window shrunk to no height still gets a viewport, and the modelview is left selected and the
// identity whatever was selected before, which no picture shows. Then frames: the buffers are left
// white and at depth 0 before InitGL, so a frame that does not clear both loses the black or the
// arm.
TEST_F(Drawing, SizesAndFramesOnScreen) {
    glClearColor(1, 1, 1, 1);
    glClearDepth(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    InitGL();
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE)) << "the boxes' faces are not all wound alike";
    for (const Size &size : kSizes) {
        SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
        glMatrixMode(GL_MODELVIEW); // left not the identity, and not selected
        glTranslatef(1, 2, 3);
        glMatrixMode(GL_PROJECTION);
        ReSizeGLScene(size.width, size.height);
        EXPECT_EQ(Get(GL_VIEWPORT, 4),
                  (Vec{0, 0, double(size.width), double(size.viewportHeight)}));
        EXPECT_EQ(Get(GL_MATRIX_MODE), Vec{GL_MODELVIEW});
        EXPECT_EQ(Get(GL_MODELVIEW_MATRIX, 16), kIdentity);
    }
    for (const Pixel &pixel : kPixels) {
        Piston3Rot = pixel.wrist;
        DrawGLScene();
        GLfloat rgb[3];
        glReadPixels(pixel.x, pixel.y, 1, 1, GL_RGB, GL_FLOAT, rgb);
        EXPECT_THAT(Vec(rgb, rgb + 3), Near(pixel.rgb, 1.0 / 255))
            << pixel.what << " at " << pixel.x << "," << pixel.y;
    }
}

} // namespace
