// The display's mode as RandR has it: a snapshot of the screen and its
// outputs, taken before the program changes the mode, and the way back.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <vector>

namespace mode {

struct Crtc {
    RRCrtc id;
    RRMode mode;
    int x, y;
    Rotation rotation;
    std::vector<RROutput> outputs;
    bool operator==(const Crtc &o) const {
        return id == o.id && mode == o.mode && x == o.x && y == o.y;
    }
};
struct Snapshot {
    int width, height, mmWidth, mmHeight;
    std::vector<Crtc> crtcs;
    bool operator==(const Snapshot &o) const {
        return width == o.width && height == o.height && crtcs == o.crtcs;
    }
};

Snapshot Take(Display *d);
// Puts the display back in the snapshot's mode, unless it is in it already.
void PutBack(Display *d, const Snapshot &s);

} // namespace mode
