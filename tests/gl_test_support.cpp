#include "tests/gl_test_support.h"

#include "arm/arm.h"
#include "tools/offscreen_gl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

void UseOffscreenGL() {
    static bool ready = false;
    static std::string why;
    if (!ready) ready = offscreen::Start(&why);
    ASSERT_TRUE(ready) << "no headless OpenGL: " << why;
}

void SetStartPose() {
    Piston1Rot = Piston2Rot = Piston3Rot = 0;
    Piston3Trans = 1;
    PinceRot = 45;
}

Vec3 Sub(const Vec3 &a, const Vec3 &b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec3 Add(const Vec3 &a, const Vec3 &b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
double Length(const Vec3 &a) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }

static const double kRadians = std::acos(-1.0) / 180.0;

Vec3 RotateAboutZ(const Vec3 &v, const Vec3 &centre, double degrees) {
    const double c = std::cos(degrees * kRadians), s = std::sin(degrees * kRadians);
    const Vec3 d = Sub(v, centre);
    return Add(centre, {c * d[0] - s * d[1], s * d[0] + c * d[1], d[2]});
}

Vec3 RotateAboutX(const Vec3 &v, const Vec3 &centre, double degrees) {
    const double c = std::cos(degrees * kRadians), s = std::sin(degrees * kRadians);
    const Vec3 d = Sub(v, centre);
    return Add(centre, {d[0], c * d[1] - s * d[2], s * d[1] + c * d[2]});
}

Vec3 Box::At(double fx, double fy, double fz) const {
    Vec3 p = origin;
    for (int i = 0; i < 3; ++i) p[i] += fx * ex[i] + fy * ey[i] + fz * ez[i];
    return p;
}

std::vector<Box> RecordedBoxes() {
    std::vector<Box> boxes;
    const auto &quads = glrec::primitives;
    for (size_t first = 0; first + 6 <= quads.size(); first += 6) {
        Box box{};
        for (int i = 0; i < 3; ++i) box.colour[i] = quads[first].colour[i];
        // The bottom face runs (0,0,0), (s,0,0), (s,0,-s), (0,0,-s); the
        // front face's fourth corner is (0,s,0).
        const auto &bottom = quads[first + 1].eye, &front = quads[first + 2].eye;
        box.origin = bottom[0];
        box.ex = Sub(bottom[1], bottom[0]);
        box.ez = Sub(bottom[3], bottom[0]);
        box.ey = Sub(front[3], front[0]);
        for (size_t q = first; q < first + 6; ++q)
            box.eye.insert(box.eye.end(), quads[q].eye.begin(), quads[q].eye.end());
        boxes.push_back(box);
    }
    return boxes;
}

std::vector<Box> RecordFrame() {
    glrec::Reset();
    DrawGLScene();
    return RecordedBoxes();
}

std::array<double, 2> ToPixel(const Vec3 &eye) {
    const double f = 1.0 / std::tan(22.5 * kRadians), aspect = 640.0 / 480.0;
    const double x = f / aspect * eye[0] / -eye[2], y = f * eye[1] / -eye[2];
    return {(x + 1) * 320.0, (y + 1) * 240.0};
}
