// Render state and projection for a freshly current GL context.
#pragma once

#include "arm/gl.h"

// Viewport and 45-degree perspective projection for a client area of
// width by height pixels; leaves the modelview matrix selected, as identity.
void ReSizeGLScene(GLsizei width, GLsizei height);

// The fixed render state, once per context. Returns 1.
int InitGL();
