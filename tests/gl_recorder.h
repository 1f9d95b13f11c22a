// Forced into a test build of the drawing code (-include): the GL calls the
// program makes are recorded and then passed on to the real GL, so tests
// can see the exact calls and the geometry they produce on Mesa.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>

#ifdef __cplusplus
#include <array>
#include <string>
#include <vector>

namespace glrec {

struct Call {
    std::string name; // "glTranslated", "gluPerspective", ...
    double args[4];
};

// One begin/end pair with its vertices in eye space, as the modelview
// matrix in force at glBegin places them, and the colour then current.
struct Primitive {
    GLenum mode;
    GLfloat colour[4];
    std::vector<std::array<double, 3>> local, eye;
};

extern std::vector<Call> calls;
extern std::vector<Primitive> primitives;
void Reset();

void Begin(GLenum mode);
void End();
void Vertex3f(GLfloat x, GLfloat y, GLfloat z);
void Color3f(GLfloat r, GLfloat g, GLfloat b);
void Translatef(GLfloat x, GLfloat y, GLfloat z);
void Translated(GLdouble x, GLdouble y, GLdouble z);
void Rotatef(GLfloat a, GLfloat x, GLfloat y, GLfloat z);
void Scalef(GLfloat x, GLfloat y, GLfloat z);
void PushMatrix();
void PopMatrix();
void LoadIdentity();
void MatrixMode(GLenum mode);
void Clear(GLbitfield mask);
void Viewport(GLint x, GLint y, GLsizei w, GLsizei h);
void Perspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);

} // namespace glrec

#ifndef GLREC_REAL_GL
#define glBegin glrec::Begin
#define glEnd glrec::End
#define glVertex3f glrec::Vertex3f
#define glColor3f glrec::Color3f
#define glTranslatef glrec::Translatef
#define glTranslated glrec::Translated
#define glRotatef glrec::Rotatef
#define glScalef glrec::Scalef
#define glPushMatrix glrec::PushMatrix
#define glPopMatrix glrec::PopMatrix
#define glLoadIdentity glrec::LoadIdentity
#define glMatrixMode glrec::MatrixMode
#define glClear glrec::Clear
#define glViewport glrec::Viewport
#define gluPerspective glrec::Perspective
#endif
#endif
