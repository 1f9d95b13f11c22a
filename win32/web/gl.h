// Our OpenGL 1.1 and GLU over WebGL (gl.cpp): the part the browser driver
// calls. The program calls the GL itself, as it would the system's.
#pragma once

namespace webgl {

// A new rendering context for the program, as a desktop gives one: GL's
// starting state, the viewport the size of the drawing buffer. False when
// the browser gives no WebGL.
bool MakeContext();

// Draws what the frame has batched since the last call, before the page
// shows the drawing buffer.
void Flush();

// The drawing buffer's size, where there is a context: the canvas's size,
// or less where that is more than the browser gives.
void BufferSize(int *width, int *height);

// Builds on the context again once the browser gives it back after taking
// it away, with every setting the program made; false when it cannot.
bool Restore();

} // namespace webgl
