// Built without the forced include: these call the real GL.
#define GLREC_REAL_GL
#include "tests/gl_recorder.h"

namespace glrec {

std::vector<Call> calls;
std::vector<Primitive> primitives;
static double modelview[16];

void Reset() {
    calls.clear();
    primitives.clear();
}

static void Record(const char *name, double a = 0, double b = 0, double c = 0, double d = 0) {
    calls.push_back({name, {a, b, c, d}});
}

void Begin(GLenum mode) {
    Record("glBegin", mode);
    Primitive p{mode, {}, {}, {}};
    ::glGetFloatv(GL_CURRENT_COLOR, p.colour);
    ::glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    primitives.push_back(p);
    ::glBegin(mode);
}

void End() {
    Record("glEnd");
    ::glEnd();
}

void Vertex3f(GLfloat x, GLfloat y, GLfloat z) {
    Record("glVertex3f", x, y, z);
    const double *m = modelview; // column-major
    primitives.back().local.push_back({x, y, z});
    primitives.back().eye.push_back({m[0] * x + m[4] * y + m[8] * z + m[12],
                                     m[1] * x + m[5] * y + m[9] * z + m[13],
                                     m[2] * x + m[6] * y + m[10] * z + m[14]});
    ::glVertex3f(x, y, z);
}

void Color3f(GLfloat r, GLfloat g, GLfloat b) {
    Record("glColor3f", r, g, b);
    ::glColor3f(r, g, b);
}

void Translatef(GLfloat x, GLfloat y, GLfloat z) {
    Record("glTranslatef", x, y, z);
    ::glTranslatef(x, y, z);
}

void Translated(GLdouble x, GLdouble y, GLdouble z) {
    Record("glTranslated", x, y, z);
    ::glTranslated(x, y, z);
}

void Rotatef(GLfloat a, GLfloat x, GLfloat y, GLfloat z) {
    Record("glRotatef", a, x, y, z);
    ::glRotatef(a, x, y, z);
}

void Scalef(GLfloat x, GLfloat y, GLfloat z) {
    Record("glScalef", x, y, z);
    ::glScalef(x, y, z);
}

void PushMatrix() {
    Record("glPushMatrix");
    ::glPushMatrix();
}

void PopMatrix() {
    Record("glPopMatrix");
    ::glPopMatrix();
}

void LoadIdentity() {
    Record("glLoadIdentity");
    ::glLoadIdentity();
}

void MatrixMode(GLenum mode) {
    Record("glMatrixMode", mode);
    ::glMatrixMode(mode);
}

void Clear(GLbitfield mask) {
    Record("glClear", mask);
    ::glClear(mask);
}

void Viewport(GLint x, GLint y, GLsizei w, GLsizei h) {
    Record("glViewport", x, y, w, h);
    ::glViewport(x, y, w, h);
}

void Perspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    Record("gluPerspective", fovy, aspect, zNear, zFar);
    ::gluPerspective(fovy, aspect, zNear, zFar);
}

} // namespace glrec
