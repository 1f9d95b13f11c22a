// Shared by the GL tests: a real Mesa context, frames recorded box by box,
// and the projection of eye-space points to pixels.
#pragma once

// Tests call the real GL; only the drawing code is built with the recorder.
#define GLREC_REAL_GL
#include "tests/gl_recorder.h"

#include <array>
#include <vector>

using Vec3 = std::array<double, 3>;

// Makes the headless context current (once per process); fails the test
// if there is none.
void UseOffscreenGL();

void SetStartPose();

// One drawn box, located in eye space by its corners.
struct Box {
    GLfloat colour[3];
    std::vector<Vec3> eye; // the 24 vertices in drawing order
    Vec3 origin, ex, ey, ez; // corner (0,0,0) and its edges along +x, +y, -z

    // The eye-space point at fractions (fx, fy, fz) of the box's edges,
    // fz running from the front face (0) to the back face (1).
    Vec3 At(double fx, double fy, double fz) const;
};

// Draws one frame with DrawGLScene and returns the boxes it drew.
std::vector<Box> RecordFrame();

// Groups the recorded quads six at a time into boxes.
std::vector<Box> RecordedBoxes();

// Window position (bottom-up) of an eye-space point under the program's
// projection for a 640x480 client area.
std::array<double, 2> ToPixel(const Vec3 &eye);

Vec3 Sub(const Vec3 &a, const Vec3 &b);
Vec3 Add(const Vec3 &a, const Vec3 &b);
double Length(const Vec3 &a);
// Rotates v by degrees about the axis through `centre` along x or z.
Vec3 RotateAboutZ(const Vec3 &v, const Vec3 &centre, double degrees);
Vec3 RotateAboutX(const Vec3 &v, const Vec3 &centre, double degrees);

#define EXPECT_VEC_NEAR(a, b, tolerance)                                                           \
    do {                                                                                           \
        const Vec3 a_ = (a), b_ = (b);                                                             \
        EXPECT_NEAR(a_[0], b_[0], tolerance);                                                      \
        EXPECT_NEAR(a_[1], b_[1], tolerance);                                                      \
        EXPECT_NEAR(a_[2], b_[2], tolerance);                                                      \
    } while (0)
