// One frame of the arm: the transform hierarchy from the red base segment
// out to the gripper's jaws, every piece a box.
#include "arm/arm.h"

// One arm segment: an edge-3 box turned by `angle` about the z-parallel axis
// through the centre of its near face. Leaves the matrix at its far face.
static void Segment(GLfloat r, GLfloat g, GLfloat b, GLfloat angle) {
    glColor3f(r, g, b);
    glTranslatef(0.0f, 1.5f, -1.5f);
    glRotatef(angle, 0.0f, 0.0f, 1.0f);
    glTranslatef(0.0f, -1.5f, 1.5f);
    Cube(3.0f);
    glTranslatef(3.0f, 0.0f, 0.0f);
}

// The half-size block after a segment, centred on it in height and flush
// with its front face; the next segment starts where the block ends.
static void Connector() {
    glPushMatrix();
    glTranslated(0.0, 0.75, 0.0);
    glScalef(0.5f, 0.5f, 0.5f);
    Cube(3.0f);
    glPopMatrix();
    glTranslatef(1.5f, 0.0f, 0.0f);
}

// A telescopic piece: a unit box stretched along x, its 1-by-1 section
// centred on the segments' axis.
static void TelescopicPiece() {
    glPushMatrix();
    glTranslated(0.0, 1.0, -1.0);
    glScalef(Piston3Trans, 1.0f, 1.0f);
    Cube(1.0f);
    glPopMatrix();
}

// A 5-by-1-by-1 gripper bar along the current x axis.
static void Bar() {
    glScalef(5.0f, 1.0f, 1.0f);
    Cube(1.0f);
}

int DrawGLScene() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(-10.0f, -5.0f, -25.0f);

    Segment(1.0f, 0.0f, 0.0f, 0.0f);
    Connector();
    Segment(0.0f, 1.0f, 0.0f, Piston1Rot);
    Connector();
    Segment(0.0f, 0.0f, 1.0f, Piston2Rot);

    // Wrist, about the x-parallel axis through the blue segment's far face.
    glTranslated(0.0, 1.5, -1.5);
    glRotatef(Piston3Rot, 1.0f, 0.0f, 0.0f);
    glTranslated(0.0, -1.5, 1.5);

    TelescopicPiece(); // still blue
    glTranslatef(Piston3Trans, 0.0f, 0.0f);
    glColor3f(0.0f, 0.3f, 0.7f);
    TelescopicPiece();
    glTranslatef(Piston3Trans, 1.0f, -1.0f); // gripper base

    // Jaw one: opens by +PinceRot about its near end, tip bent back by -80.
    glPushMatrix();
    glColor3f(0.5f, 0.2f, 1.0f);
    glTranslatef(0.0f, 0.5f, 0.0f);
    glRotatef(PinceRot, 0.0f, 0.0f, 1.0f);
    glTranslatef(0.0f, -0.5f, 0.0f);
    glPushMatrix();
    Bar();
    glPopMatrix();
    glTranslatef(5.0f, 0.5f, 0.0f);
    glRotatef(-80.0f, 0.0f, 0.0f, 1.0f);
    glTranslatef(0.0f, -0.5f, 0.0f);
    Bar();
    glPopMatrix();

    // Jaw two: the mirror image, from the same base.
    glPushMatrix();
    glColor3f(0.9f, 0.5f, 0.3f);
    glTranslatef(0.0f, 0.5f, 0.0f);
    glRotatef(-PinceRot, 0.0f, 0.0f, 1.0f);
    glTranslatef(0.0f, -0.5f, 0.0f);
    glPushMatrix();
    Bar();
    glPopMatrix();
    glTranslated(5.0, 0.5, 0.0);
    glRotatef(80.0f, 0.0f, 0.0f, 1.0f);
    glTranslatef(0.0f, -0.5f, 0.0f);
    Bar();
    glPopMatrix();

    return 1;
}
