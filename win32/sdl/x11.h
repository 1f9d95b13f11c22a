// What the guard's files share on X11: requests whose errors do not matter,
// as the window they name may be gone by the time the server reads them.
#pragma once

#include <X11/Xlib.h>

namespace x11 {

// Runs f with X errors ignored, and waits until the server has done it.
template <typename F> void Quietly(Display *d, F f) {
    XErrorHandler old = XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    f();
    XSync(d, False);
    XSetErrorHandler(old);
}

} // namespace x11
