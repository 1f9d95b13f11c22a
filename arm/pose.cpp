// The arm's pose with its limits, the key table, and the control step that
// turns latched key presses into pose changes.
#include "arm/arm.h"

GLfloat Piston1Rot = 0.0f;
GLfloat Piston2Rot = 0.0f;
GLfloat Piston3Rot = 0.0f;
GLfloat Piston3Trans = 1.0f;
GLfloat PinceRot = 45.0f;

int keys[256];

static_assert(sizeof keys[0] == 4, "key table entries are 32-bit truth values");

// The Windows virtual-key codes of the pose keys.
static const int KeyLeft = 0x25, KeyUp = 0x26, KeyRight = 0x27, KeyDown = 0x28;
static const int KeyF2 = 0x71, KeyF3 = 0x72, KeyF4 = 0x73, KeyF5 = 0x74, KeyF6 = 0x75, KeyF7 = 0x76;

// Value, lowest, highest, raising key, lowering key.
const PoseLimit PoseLimits[5] = {
    {&Piston1Rot, -75.0f, 75.0f, KeyF2, KeyF3},     // the green segment's joint
    {&Piston2Rot, -75.0f, 75.0f, KeyF4, KeyF5},     // the blue segment's joint
    {&Piston3Rot, -75.0f, 75.0f, KeyF6, KeyF7},     // the wrist
    {&Piston3Trans, 1.0f, 8.0f, KeyRight, KeyLeft}, // the telescopic pieces
    {&PinceRot, 45.0f, 90.0f, KeyUp, KeyDown},      // the gripper
};

// Clears the key's flag; returns whether it was set.
static int Consume(int key) {
    if (!keys[key]) return 0;
    keys[key] = 0;
    return 1;
}

// A press that finds its value on the limit is still consumed.
void ApplyPoseKeys() {
    for (const PoseLimit &p : PoseLimits) {
        if (Consume(p.raiseKey) && *p.value < p.highest) *p.value += 1.0f;
        if (Consume(p.lowerKey) && *p.value > p.lowest) *p.value -= 1.0f;
    }
}
