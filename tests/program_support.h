// Running the program's own code on the fake system.
#pragma once

#include "tests/fake_win32.h"

#include <string>

// Puts the program's state back as it is when the process starts, on a
// fresh fake system.
void ResetProgram();

// WinMain as the layer's main() calls it.
int RunWinMain();

// The box the program showed, as one line: "caption|text|type".
std::string Describe(const fake::MessageBox &box);

// Nothing left behind: no window, DC, context or class, the desktop's
// display mode, and the cursor shown as often as hidden.
void ExpectAllReleased();
