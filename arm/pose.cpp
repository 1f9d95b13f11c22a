// The arm's pose, the key table, and the control step that turns latched
// key presses into pose changes.
#include "arm/arm.h"

GLfloat Piston1Rot = 0.0f;
GLfloat Piston2Rot = 0.0f;
GLfloat Piston3Rot = 0.0f;
GLfloat Piston3Trans = 1.0f;
GLfloat PinceRot = 45.0f;

int keys[256];

static_assert(sizeof keys[0] == 4, "key table entries are 32-bit truth values");

// Consumes the key's flag, then steps the value by one unit towards the
// bound unless it already stands on it. A press that hits the limit is
// still consumed.
static void Nudge(int key, GLfloat &value, GLfloat step, GLfloat bound) {
    if (!keys[key]) return;
    keys[key] = 0;
    if (step > 0.0f ? value < bound : value > bound) value += step;
}

void ApplyPoseKeys() {
    Nudge(0x71 /* F2 */, Piston1Rot, +1.0f, 75.0f);
    Nudge(0x72 /* F3 */, Piston1Rot, -1.0f, -75.0f);
    Nudge(0x73 /* F4 */, Piston2Rot, +1.0f, 75.0f);
    Nudge(0x74 /* F5 */, Piston2Rot, -1.0f, -75.0f);
    Nudge(0x75 /* F6 */, Piston3Rot, +1.0f, 75.0f);
    Nudge(0x76 /* F7 */, Piston3Rot, -1.0f, -75.0f);
    Nudge(0x27 /* Right */, Piston3Trans, +1.0f, 8.0f);
    Nudge(0x25 /* Left */, Piston3Trans, -1.0f, 1.0f);
    Nudge(0x26 /* Up */, PinceRot, +1.0f, 90.0f);
    Nudge(0x28 /* Down */, PinceRot, -1.0f, 45.0f);
}
