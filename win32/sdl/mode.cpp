// The display's mode through RandR: what the guard keeps while the program
// has the mode changed, and puts back.
#include "win32/sdl/mode.h"

#include "win32/sdl/x11.h"

#include <algorithm>

namespace mode {

namespace {

// The screen's size as the server has it now: Xlib's copy is the one it
// had when this connection opened, as the guard reads none of its events.
void ScreenSize(Display *d, int *width, int *height) {
    Window root;
    int x, y;
    unsigned w, h, border, depth;
    XGetGeometry(d, DefaultRootWindow(d), &root, &x, &y, &w, &h, &border, &depth);
    *width = (int)w, *height = (int)h;
}

} // namespace

Snapshot Take(Display *d) {
    const int screen = DefaultScreen(d);
    Snapshot s{0, 0, DisplayWidthMM(d, screen), DisplayHeightMM(d, screen), {}};
    ScreenSize(d, &s.width, &s.height);
    XRRScreenResources *res = XRRGetScreenResourcesCurrent(d, DefaultRootWindow(d));
    for (int i = 0; res && i < res->ncrtc; ++i) {
        XRRCrtcInfo *c = XRRGetCrtcInfo(d, res, res->crtcs[i]);
        if (c && c->mode)
            s.crtcs.push_back({res->crtcs[i], c->mode, c->x, c->y, c->rotation,
                               std::vector<RROutput>(c->outputs, c->outputs + c->noutput)});
        if (c) XRRFreeCrtcInfo(c);
    }
    if (res) XRRFreeScreenResources(res);
    return s;
}

// The screen grows to hold both sizes while the outputs change mode, then
// takes its own size: a mode never lies outside the screen.
void PutBack(Display *d, const Snapshot &s) {
    if (Take(d) == s) return;
    const Window root = DefaultRootWindow(d);
    x11::Quietly(d, [&] {
        XRRScreenResources *res = XRRGetScreenResourcesCurrent(d, root);
        if (!res) return;
        int width, height;
        ScreenSize(d, &width, &height);
        XRRSetScreenSize(d, root, std::max(s.width, width), std::max(s.height, height), s.mmWidth,
                         s.mmHeight);
        for (const Crtc &c : s.crtcs)
            XRRSetCrtcConfig(d, res, c.id, CurrentTime, c.x, c.y, c.mode, c.rotation,
                             const_cast<RROutput *>(c.outputs.data()), (int)c.outputs.size());
        XRRSetScreenSize(d, root, s.width, s.height, s.mmWidth, s.mmHeight);
        XRRFreeScreenResources(res);
    });
}

} // namespace mode
