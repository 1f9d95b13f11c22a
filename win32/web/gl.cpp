// Our OpenGL 1.1 and GLU for the browser, over WebGL 1: the calls the
// program makes, and no others. It keeps every piece of state the program
// sets, so that a fresh WebGL context can be given all of it again. The
// vertices are transformed here, as GL 1.1 does it, and each frame's quads
// go to WebGL as triangles from one vertex buffer, filled and drawn when
// the frame is presented, or sooner when a setting that changes drawing
// comes in between. WebGL is reached only through the emscripten_gl*
// names: the plain gl* names are ours.
#include "win32/web/gl.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <emscripten/html5.h>
#include <webgl/webgl1.h>

#include <cmath>
#include <cstddef>

namespace {

// 4x4 matrices in GL's order, column by column.
struct Matrix {
    GLfloat m[16];
};
const Matrix kIdentity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

// GL promises a modelview stack 32 deep and a projection stack 2 deep.
const int kStackDepth = 32;
struct Stack {
    Matrix m[kStackDepth];
    int top;
};
enum { kModelview, kProjection };

// What the program can set, at the values a new context starts with.
struct State {
    bool blend = false, depthTest = false, lineSmooth = false;
    GLenum blendSource = GL_ONE, blendDestination = GL_ZERO, depthFunction = GL_LESS;
    GLenum shadeModel = GL_SMOOTH;
    GLenum lineSmoothHint = GL_DONT_CARE, perspectiveHint = GL_DONT_CARE;
    GLfloat lineWidth = 1;
    GLfloat clearColour[4] = {0, 0, 0, 0};
    GLclampd clearDepth = 1;
    GLint viewport[4] = {0, 0, 0, 0};
    Stack stacks[2] = {{{kIdentity}, 0}, {{kIdentity}, 0}};
    int mode = kModelview;
    GLfloat colour[4] = {1, 1, 1, 1};
};
State state;

// From the object's coordinates to the clip's: projection times modelview,
// made again when either has changed.
Matrix toClip;
bool toClipStale = true;

// The frame's triangles, two for each quad, waiting for Flush. The arm
// draws 66 quads a frame; a frame with more than fit is drawn in parts.
struct Vertex {
    GLfloat position[4];
    GLfloat colour[4];
};
const int kBatch = 6 * 512;
Vertex batch[kBatch];
int batched = 0;

// Between glBegin(GL_QUADS) and glEnd: the corners of the quad under way.
bool drawingQuads = false;
Vertex corners[4];
int cornersGiven = 0;

// WebGL's side: the canvas's context, and whether it holds what we draw
// with (shaders, vertex buffer).
EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
bool built = false;
enum Attribute { kPosition, kColour };
const char kVertexShader[] = "attribute vec4 position;\n"
                             "attribute vec4 colour;\n"
                             "varying vec4 shade;\n"
                             "void main() { gl_Position = position; shade = colour; }\n";
const char kFragmentShader[] = "precision mediump float;\n"
                               "varying vec4 shade;\n"
                               "void main() { gl_FragColor = shade; }\n";

Matrix &Current() {
    Stack &s = state.stacks[state.mode];
    return s.m[s.top];
}

Matrix Product(const Matrix &a, const Matrix &b) {
    Matrix product;
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            GLfloat sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += a.m[k * 4 + row] * b.m[column * 4 + k];
            product.m[column * 4 + row] = sum;
        }
    return product;
}

// The current matrix times `by`: `by` acts on vertices first.
void MultiplyCurrent(const Matrix &by) {
    Current() = Product(Current(), by);
    toClipStale = true;
}

void Switch(GLenum capability, bool on) {
    if (on)
        emscripten_glEnable(capability);
    else
        emscripten_glDisable(capability);
}

// The kept settings, onto WebGL. Line smoothing, line width and the hints
// have nothing to change there: we draw no lines, and WebGL interpolates
// as GL_NICEST asks. Smooth shading is what the shaders do.
void Apply() {
    Switch(GL_BLEND, state.blend);
    Switch(GL_DEPTH_TEST, state.depthTest);
    emscripten_glBlendFunc(state.blendSource, state.blendDestination);
    emscripten_glDepthFunc(state.depthFunction);
    const GLfloat *c = state.clearColour;
    emscripten_glClearColor(c[0], c[1], c[2], c[3]);
    emscripten_glClearDepthf(static_cast<GLfloat>(state.clearDepth));
    const GLint *v = state.viewport;
    emscripten_glViewport(v[0], v[1], v[2], v[3]);
}

void AttachShader(GLuint program, GLenum type, const char *source) {
    const GLuint shader = emscripten_glCreateShader(type);
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    emscripten_glAttachShader(program, shader);
    emscripten_glDeleteShader(shader); // goes with the program
}

// The page's canvas, without alpha (the clear colour's one half is not for
// the page to show through) and without antialiasing (GL 1.1 draws aliased).
EMSCRIPTEN_WEBGL_CONTEXT_HANDLE NewContext() {
    EmscriptenWebGLContextAttributes asked;
    emscripten_webgl_init_context_attributes(&asked);
    asked.alpha = false;
    asked.antialias = false;
    asked.depth = true;
    asked.stencil = false;
    asked.majorVersion = 1;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE made = emscripten_webgl_create_context("#canvas", &asked);
    return made > 0 ? made : 0;
}

// Everything WebGL holds for us, made anew: the canvas's context if there
// is none yet, the shaders, the vertex buffer, and every setting kept. The
// program's first context is made so; one that the browser takes away and
// gives back has lost all but itself, and is made whole here again.
bool Rebuild() {
    if (!context && !(context = NewContext())) return false;
    emscripten_webgl_make_context_current(context);
    const GLuint program = emscripten_glCreateProgram();
    AttachShader(program, GL_VERTEX_SHADER, kVertexShader);
    AttachShader(program, GL_FRAGMENT_SHADER, kFragmentShader);
    emscripten_glBindAttribLocation(program, kPosition, "position");
    emscripten_glBindAttribLocation(program, kColour, "colour");
    emscripten_glLinkProgram(program);
    GLint linked = GL_FALSE;
    emscripten_glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) return false;
    emscripten_glUseProgram(program);

    GLuint buffer = 0;
    emscripten_glGenBuffers(1, &buffer);
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, buffer);
    const GLsizei stride = sizeof(Vertex);
    emscripten_glEnableVertexAttribArray(kPosition);
    emscripten_glVertexAttribPointer(kPosition, 4, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<void *>(offsetof(Vertex, position)));
    emscripten_glEnableVertexAttribArray(kColour);
    emscripten_glVertexAttribPointer(kColour, 4, GL_FLOAT, GL_FALSE, stride,
                                     reinterpret_cast<void *>(offsetof(Vertex, colour)));
    Apply();
    return true;
}

} // namespace

namespace webgl {

// The canvas has one WebGL context: a new context of the program's is a
// fresh start of the state on it. While the browser keeps the context away
// there is nothing to build on: Restore() does it when it comes back.
bool MakeContext() {
    state = State();
    toClipStale = true;
    batched = cornersGiven = 0;
    drawingQuads = false;
    if (context && emscripten_is_webgl_context_lost(context)) return true;
    if (!built && !(built = Rebuild())) return false;
    emscripten_webgl_get_drawing_buffer_size(context, &state.viewport[2], &state.viewport[3]);
    Apply();
    return true;
}

// A context taken away tells no size: the canvas's stands.
void BufferSize(int *width, int *height) {
    int given[2] = {0, 0};
    if (context && !emscripten_is_webgl_context_lost(context))
        emscripten_webgl_get_drawing_buffer_size(context, &given[0], &given[1]);
    if (given[0] <= 0 || given[1] <= 0) return;
    *width = given[0];
    *height = given[1];
}

bool Restore() {
    return built = context && Rebuild();
}

void Flush() {
    if (!batched) return;
    emscripten_glBufferData(GL_ARRAY_BUFFER, batched * sizeof(Vertex), batch, GL_STREAM_DRAW);
    emscripten_glDrawArrays(GL_TRIANGLES, 0, batched);
    batched = 0;
}

} // namespace webgl

using webgl::Flush;

// Settings ------------------------------------------------------------------

void glEnable(GLenum capability) {
    Flush();
    switch (capability) {
    case GL_BLEND:
        state.blend = true;
        break;
    case GL_DEPTH_TEST:
        state.depthTest = true;
        break;
    case GL_LINE_SMOOTH:
        state.lineSmooth = true;
        return; // no lines are drawn
    default:
        return;
    }
    emscripten_glEnable(capability);
}

void glBlendFunc(GLenum source, GLenum destination) {
    Flush();
    state.blendSource = source;
    state.blendDestination = destination;
    emscripten_glBlendFunc(source, destination);
}

void glDepthFunc(GLenum function) {
    Flush();
    state.depthFunction = function;
    emscripten_glDepthFunc(function);
}

void glHint(GLenum target, GLenum mode) {
    if (target == GL_LINE_SMOOTH_HINT) state.lineSmoothHint = mode;
    if (target == GL_PERSPECTIVE_CORRECTION_HINT) state.perspectiveHint = mode;
}

void glLineWidth(GLfloat width) {
    if (width > 0) state.lineWidth = width;
}

// Every quad the program draws is of one colour: smooth and flat shading
// look the same.
void glShadeModel(GLenum mode) {
    state.shadeModel = mode;
}

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) {
    state.clearColour[0] = red;
    state.clearColour[1] = green;
    state.clearColour[2] = blue;
    state.clearColour[3] = alpha;
    emscripten_glClearColor(red, green, blue, alpha);
}

void glClearDepth(GLclampd depth) {
    state.clearDepth = depth;
    emscripten_glClearDepthf(static_cast<GLfloat>(depth));
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    if (width < 0 || height < 0) return;
    Flush();
    state.viewport[0] = x;
    state.viewport[1] = y;
    state.viewport[2] = width;
    state.viewport[3] = height;
    emscripten_glViewport(x, y, width, height);
}

void glClear(GLbitfield mask) {
    Flush();
    emscripten_glClear(mask);
}

// Matrices ------------------------------------------------------------------

void glMatrixMode(GLenum mode) {
    if (mode == GL_MODELVIEW) state.mode = kModelview;
    if (mode == GL_PROJECTION) state.mode = kProjection;
}

void glLoadIdentity() {
    Current() = kIdentity;
    toClipStale = true;
}

void glPushMatrix() {
    Stack &s = state.stacks[state.mode];
    if (s.top + 1 == kStackDepth) return;
    s.m[s.top + 1] = s.m[s.top];
    ++s.top;
}

void glPopMatrix() {
    Stack &s = state.stacks[state.mode];
    if (s.top == 0) return;
    --s.top;
    toClipStale = true;
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    Matrix t = kIdentity;
    t.m[12] = x;
    t.m[13] = y;
    t.m[14] = z;
    MultiplyCurrent(t);
}

void glTranslated(GLdouble x, GLdouble y, GLdouble z) {
    glTranslatef(static_cast<GLfloat>(x), static_cast<GLfloat>(y), static_cast<GLfloat>(z));
}

void glScalef(GLfloat x, GLfloat y, GLfloat z) {
    Matrix s = kIdentity;
    s.m[0] = x;
    s.m[5] = y;
    s.m[10] = z;
    MultiplyCurrent(s);
}

const double kRadiansPerDegree = 3.14159265358979323846 / 180;

// Counter-clockwise by `angle` degrees, looking down the axis towards the origin.
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    const double length = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
    if (length == 0) return;
    const double u[3] = {x / length, y / length, z / length};
    const double c = std::cos(angle * kRadiansPerDegree), s = std::sin(angle * kRadiansPerDegree);
    // c I + (1 - c) u u' + s [u]x, where [u]x v is u x v; here by columns.
    const double cross[3][3] = {{0, u[2], -u[1]}, {-u[2], 0, u[0]}, {u[1], -u[0], 0}};
    Matrix rotation = kIdentity;
    for (int column = 0; column < 3; ++column)
        for (int row = 0; row < 3; ++row)
            rotation.m[column * 4 + row] = static_cast<GLfloat>(
                (row == column ? c : 0) + (1 - c) * u[row] * u[column] + s * cross[column][row]);
    MultiplyCurrent(rotation);
}

// Without a sensible frustum (no depth, no angle, or an aspect of 0, as a
// window minimised to no size gives) the matrix stays as it is.
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    const double half = fovy / 2 * kRadiansPerDegree;
    const double depth = zFar - zNear, sine = std::sin(half);
    if (depth == 0 || sine == 0 || aspect == 0) return;
    const double cotangent = std::cos(half) / sine;
    Matrix p = {};
    p.m[0] = static_cast<GLfloat>(cotangent / aspect);
    p.m[5] = static_cast<GLfloat>(cotangent);
    p.m[10] = static_cast<GLfloat>(-(zFar + zNear) / depth);
    p.m[11] = -1;
    p.m[14] = static_cast<GLfloat>(-2 * zNear * zFar / depth);
    MultiplyCurrent(p);
}

// Drawing -------------------------------------------------------------------

void glColor3f(GLfloat red, GLfloat green, GLfloat blue) {
    state.colour[0] = red;
    state.colour[1] = green;
    state.colour[2] = blue;
    state.colour[3] = 1;
}

void glBegin(GLenum mode) {
    drawingQuads = mode == GL_QUADS;
    cornersGiven = 0;
}

// A quad left with fewer than four corners is dropped, as GL drops it.
void glEnd() {
    drawingQuads = false;
    cornersGiven = 0;
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    if (!drawingQuads) return;
    if (toClipStale) {
        const Stack &projection = state.stacks[kProjection], &modelview = state.stacks[kModelview];
        toClip = Product(projection.m[projection.top], modelview.m[modelview.top]);
        toClipStale = false;
    }
    Vertex &v = corners[cornersGiven++];
    for (int row = 0; row < 4; ++row) {
        const GLfloat *m = toClip.m;
        v.position[row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
        v.colour[row] = state.colour[row];
    }
    if (cornersGiven < 4) return;
    cornersGiven = 0;
    if (batched + 6 > kBatch) Flush();
    static const int kTriangles[6] = {0, 1, 2, 0, 2, 3};
    for (int corner : kTriangles)
        batch[batched++] = corners[corner];
}
