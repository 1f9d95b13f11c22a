// The box: the one piece of geometry the arm is built from.
#include "arm/arm.h"

// Corners of each face for a unit box, in drawing order. Faces are not all
// wound alike, which is fine: culling is never enabled.
static const GLfloat kFaces[6][4][3] = {
    {{0, 1, 0}, {1, 1, 0}, {1, 1, -1}, {0, 1, -1}},   // top, y = s
    {{0, 0, 0}, {1, 0, 0}, {1, 0, -1}, {0, 0, -1}},   // bottom, y = 0
    {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},     // front, z = 0
    {{0, 0, -1}, {1, 0, -1}, {1, 1, -1}, {0, 1, -1}}, // back, z = -s
    {{0, 0, 0}, {0, 1, 0}, {0, 1, -1}, {0, 0, -1}},   // left, x = 0
    {{1, 0, 0}, {1, 1, 0}, {1, 1, -1}, {1, 0, -1}},   // right, x = s
};

void Cube(GLfloat s) {
    for (const auto &face : kFaces) {
        glBegin(GL_QUADS);
        for (const auto &c : face)
            glVertex3f(c[0] * s, c[1] * s, c[2] * s);
        glEnd();
    }
}
