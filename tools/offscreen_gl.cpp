// Headless OpenGL on Mesa through EGL, for tests, tools and benchmarks.
#include "tools/offscreen_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstdio>

namespace offscreen {

static EGLDisplay display = EGL_NO_DISPLAY;
static EGLConfig config;
static EGLSurface surface = EGL_NO_SURFACE;

// Mesa's surfaceless platform needs no X server or GPU; the default display
// is the fallback for EGL builds without it.
static EGLDisplay FirstDisplay() {
    auto getPlatformDisplay =
        (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
    if (getPlatformDisplay) {
        EGLDisplay d =
            getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) return d;
    }
    EGLDisplay d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) return d;
    return EGL_NO_DISPLAY;
}

// Releases the pbuffer and the display, whatever of them is open.
static void Close() {
    if (display == EGL_NO_DISPLAY) return;
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
    eglTerminate(display);
    surface = EGL_NO_SURFACE;
    display = EGL_NO_DISPLAY;
}

static bool Fail(std::string *why, const char *what) {
    if (why) {
        char code[32];
        snprintf(code, sizeof code, " (EGL error 0x%04X)", (unsigned)eglGetError());
        *why = std::string(what) + code;
    }
    Close();
    return false;
}

bool Open(std::string *why, int width, int height) {
    if (surface != EGL_NO_SURFACE) return true;
    display = FirstDisplay();
    if (display == EGL_NO_DISPLAY) return Fail(why, "no EGL display");
    if (!eglBindAPI(EGL_OPENGL_API)) return Fail(why, "EGL has no desktop OpenGL");

    const EGLint want[] = {EGL_SURFACE_TYPE,
                           EGL_PBUFFER_BIT,
                           EGL_RENDERABLE_TYPE,
                           EGL_OPENGL_BIT,
                           EGL_RED_SIZE,
                           8,
                           EGL_GREEN_SIZE,
                           8,
                           EGL_BLUE_SIZE,
                           8,
                           EGL_ALPHA_SIZE,
                           8,
                           EGL_DEPTH_SIZE,
                           16,
                           EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, want, &config, 1, &count) || count < 1)
        return Fail(why, "no RGBA pbuffer config with a depth buffer");

    const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    surface = eglCreatePbufferSurface(display, config, size);
    if (surface == EGL_NO_SURFACE) return Fail(why, "cannot create the pbuffer");
    return true;
}

void *CreateContext() {
    if (surface == EGL_NO_SURFACE) return nullptr;
    const EGLint attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
    return context == EGL_NO_CONTEXT ? nullptr : context;
}

bool DestroyContext(void *context) {
    return surface != EGL_NO_SURFACE && eglDestroyContext(display, (EGLContext)context);
}

bool MakeCurrent(void *context) {
    if (surface == EGL_NO_SURFACE) return false;
    if (!context) return eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    return eglMakeCurrent(display, surface, surface, (EGLContext)context);
}

bool Start(std::string *why) {
    if (!Open(why)) return false;
    void *context = CreateContext();
    if (!context) return Fail(why, "cannot create a compatibility-profile context");
    if (!MakeCurrent(context)) return Fail(why, "cannot make the context current");
    return true;
}

std::vector<unsigned char> ReadRGBA() {
    std::vector<unsigned char> pixels(size_t(kWidth) * kHeight * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

} // namespace offscreen
