// The main loop's pieces, for the entry point (and for tools that drive
// the loop pass by pass).
#pragma once

#include "win32/win32.h"

// One idle pass of the main loop: draw and present, the fullscreen toggle,
// then the pose keys. Sets *done when the loop is to end. Returns FALSE
// when the toggle could not open the new window; the user has been told.
BOOL FrameStep(BOOL *done);
