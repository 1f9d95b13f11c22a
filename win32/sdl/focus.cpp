// The X11 keyboard focus for the driver's windows and boxes. X errors are
// ignored while it moves: any window it names may be gone by then.
#include "win32/sdl/focus.h"

#include "win32/sdl/x11.h"

#include <X11/Xutil.h>
#include <unistd.h>

#include <cstring>

namespace focus {

namespace {

void Set(Display *d, Window window) {
    XSetInputFocus(d, window, RevertToPointerRoot, CurrentTime);
}

Window FindShowing(Display *d, const char *title) {
    Window root, parent, *children = nullptr, found = 0;
    unsigned count = 0;
    XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes a;
        XTextProperty name{}; // in whatever encoding: UTF-8 from SDL
        if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable &&
            XGetWMName(d, children[i], &name) && name.value &&
            !std::strcmp(reinterpret_cast<char *>(name.value), title))
            found = children[i];
        if (name.value) XFree(name.value);
    }
    if (children) XFree(children);
    return found;
}

} // namespace

Window Now(Display *d) {
    Window now = PointerRoot;
    int revert;
    XGetInputFocus(d, &now, &revert);
    return now;
}

Window Take(Display *d, Window window) {
    Window had = PointerRoot;
    x11::Quietly(d, [&] {
        had = Now(d);
        for (int i = 0; i < 50; ++i) { // until the map has reached the server
            XWindowAttributes a;
            if (XGetWindowAttributes(d, window, &a) && a.map_state == IsViewable) break;
            usleep(2000);
        }
        Set(d, window);
    });
    return had;
}

bool TakeForTitle(Display *d, const char *title) {
    Window found = 0;
    x11::Quietly(d, [&] { // windows come and go while it looks
        found = FindShowing(d, title);
        if (found) Set(d, found);
    });
    return found != 0;
}

void Restore(Display *d, Window from, Window to) {
    x11::Quietly(d, [&] {
        const Window now = Now(d);
        if (now == from || now == None) Set(d, to);
    });
}

} // namespace focus
