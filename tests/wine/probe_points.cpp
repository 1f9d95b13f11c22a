// Prints the start-pose probes shared with the drawing and Linux end-to-end
// tests, placed in a 640x480 client area, for the Wine end-to-end tests:
// one line each, "x y r g b name", x from the left and y from the top.
#include "tests/start_pose_probes.h"

#include <cstdio>

int main() {
    for (const StartPoseProbe &p : kStartPoseProbes) {
        const auto xy = ProbePixel(p.eye, 640, 480);
        const int x = (int)xy[0], y = 479 - (int)xy[1];
        std::printf("%d %d %d %d %d %s\n", x, y, p.rgb[0], p.rgb[1], p.rgb[2], p.what);
    }
    return 0;
}
