// Where the start pose shows each piece: points in eye space, each well
// inside one piece's front face (or in the background), with the colour
// seen there. The drawing tests look for these colours in an offscreen
// frame, the end-to-end tests on the screen of a real X server.
#pragma once

#include <array>
#include <cmath>

struct StartPoseProbe {
    const char *what;
    std::array<double, 3> eye;
    unsigned char rgb[3];
};

// Centre of a 5-long gripper bar at 45 degrees, from its pivot.
inline const double kStartPoseJaw = 2.5 * std::sqrt(0.5);

inline const StartPoseProbe kStartPoseProbes[] = {
    {"red segment", {-8.5, -3.5, -25}, {255, 0, 0}},
    {"red connector", {-6.25, -3.5, -25}, {255, 0, 0}},
    {"green segment", {-4, -3.5, -25}, {0, 255, 0}},
    {"green connector", {-1.75, -3.5, -25}, {0, 255, 0}},
    {"blue segment", {0.5, -3.5, -25}, {0, 0, 255}},
    {"first piece", {2.5, -3.5, -26}, {0, 0, 255}},
    {"second piece", {3.5, -3.5, -26}, {0, 77, 179}},
    {"jaw one", {4 + kStartPoseJaw, -3.5 + kStartPoseJaw, -26}, {128, 51, 255}},
    {"jaw two", {4 + kStartPoseJaw, -3.5 - kStartPoseJaw, -26}, {230, 128, 77}},
    {"background, top left", {-10, 7, -25}, {0, 0, 0}},
    {"background, right", {12, -3.5, -25}, {0, 0, 0}},
};

// Window position (x from the left, y from the bottom) of an eye-space
// point under the program's projection (45 degrees vertically) for a
// client area of width x height.
inline std::array<double, 2> ProbePixel(const std::array<double, 3> &eye, int width, int height) {
    const double f = 1.0 / std::tan(22.5 * std::acos(-1.0) / 180.0);
    const double aspect = double(width) / height;
    const double x = f / aspect * eye[0] / -eye[2], y = f * eye[1] / -eye[2];
    return {(x + 1) * width / 2.0, (y + 1) * height / 2.0};
}
