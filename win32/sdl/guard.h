// Inside the SDL2 driver, on X11: what the driver asks of its guard, a
// process forked before SDL starts that shows the boxes and puts the
// display's mode back however the program ends (guard.cpp says why there is
// one), and the keyboard focus for the driver's windows.
#pragma once

namespace guard {

// Checks the display first; false, with the reason told to the layer, when
// there is none.
bool Start();

// Shows a box and waits for its answer (the button's index), giving it the
// keyboard focus where no window manager would. -1, with the reason told to
// the layer, when no answer came.
int Box(const char *text, const char *caption, bool yesNo, int sdlFlags);
// Ends a box that is up; safe in a signal handler.
void EndBox();

// Once SDL has started: a connection to the display that is lost (the
// server gone, or the connection killed) ends the program at once, with
// one line on stderr and status 1; nothing more can be done on it, and the
// guard puts the mode back.
void EndWhenTheDisplayGoes();

// Takes a snapshot of the display's mode before a change (false, with the
// reason told, when it cannot), and puts it back after (if the display is
// not in it by then).
bool SaveMode();
void RestoreMode();

// The keyboard focus to a window of ours as it shows (it goes to whatever
// had it before when the window goes, or to the pointer's window).
void Focus(unsigned long window);
void GiveBackFocus(unsigned long window);

} // namespace guard
