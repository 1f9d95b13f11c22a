// The X11 keyboard focus, on a connection of the caller's: where it is,
// giving it to a window as it shows, and giving it back. Where no window
// manager runs, nobody else moves it.
#pragma once

#include <X11/Xlib.h>

namespace focus {

// What has the focus: a window, PointerRoot or None.
Window Now(Display *d);
// Gives the focus to the window once it is mapped; returns what had it.
Window Take(Display *d, Window window);
// Gives the focus to a top-level window of that title that shows, where no
// window manager has put a frame around it; false when none shows yet.
bool TakeForTitle(Display *d, const char *title);
// Gives the focus to `to` when `from` has it, or no window at all.
void Restore(Display *d, Window from, Window to);

} // namespace focus
