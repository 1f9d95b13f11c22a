// The arm: its pose, the key table through which key presses reach it,
// the control step that turns latched presses into pose changes, and the
// drawing. Pure OpenGL; nothing here knows about windows.
#pragma once

#include "arm/gl.h"

// Pose, in degrees and scene units. Kept for the life of the process; the
// limits are in PoseLimits.
extern GLfloat Piston1Rot;   // green segment's joint, about z; starts 0
extern GLfloat Piston2Rot;   // blue segment's joint, about z; starts 0
extern GLfloat Piston3Rot;   // wrist, about x; starts 0
extern GLfloat Piston3Trans; // length of each telescopic piece; starts 1
extern GLfloat PinceRot;     // gripper opening; starts 45

// One pose value, the range it moves in and the keys (Windows virtual-key
// codes) that move it one unit up and down.
struct PoseLimit {
    GLfloat *value;
    GLfloat lowest, highest;
    int raiseKey, lowerKey;
};

// The five pose values in the order above, which is also the order in which
// the control step reads their keys, the raising key of each first.
extern const PoseLimit PoseLimits[5];

// Key table: one truth value per Windows virtual-key code, set on key-down
// and cleared on key-up by the window procedure.
extern int keys[256];

// Consumes the latched pose keys (F2..F7 and the arrows) in a fixed order
// and moves the pose by one unit for each whose limit allows it.
void ApplyPoseKeys();

// Six faces of an axis-aligned box of edge s: x 0..s, y 0..s, z -s..0.
void Cube(GLfloat s);

// Draws one frame of the arm for the current pose. Expects the modelview
// matrix selected. Returns nonzero.
int DrawGLScene();
