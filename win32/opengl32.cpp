// OPENGL32's WGL: rendering contexts for a window's device context, and the
// one that is current.
#include "win32/layer.h"

#include <vector>

namespace {

struct Context {
    HGLRC handle;
    void *native;
};

std::vector<Context> contexts;
std::uintptr_t lastContext = 0;
HGLRC current = nullptr;

Context *Find(HGLRC handle) {
    for (Context &c : contexts)
        if (handle && c.handle == handle) return &c;
    return nullptr;
}

} // namespace

// A context needs a window whose pixel format is set; it is made without
// becoming current.
HGLRC wglCreateContext(HDC dc) {
    const layer::Window *w = layer::WindowOfDC(dc);
    if (!w || !w->format) return NULL;
    void *native = driver::MakeContext(w->native);
    if (!native) {
        layer::PrintRefusal("wglCreateContext");
        return NULL;
    }
    contexts.push_back({reinterpret_cast<HGLRC>(++lastContext), native});
    return contexts.back().handle;
}

// With a null context, releases the current one; with nothing current
// there is nothing to release, which fails.
BOOL wglMakeCurrent(HDC dc, HGLRC context) {
    if (!context) {
        if (!current) return FALSE;
        driver::MakeCurrent(nullptr, nullptr);
        current = nullptr;
        return TRUE;
    }
    const layer::Window *w = layer::WindowOfDC(dc);
    const Context *c = Find(context);
    if (!w || !w->format || !c) return FALSE;
    if (!driver::MakeCurrent(w->native, c->native)) {
        layer::PrintRefusal("wglMakeCurrent");
        return FALSE;
    }
    current = context;
    return TRUE;
}

// Deleting the current context releases it first.
BOOL wglDeleteContext(HGLRC context) {
    const Context *c = Find(context);
    if (!c) return FALSE;
    if (current == context) {
        driver::MakeCurrent(nullptr, nullptr);
        current = nullptr;
    }
    driver::FreeContext(c->native);
    contexts.erase(contexts.begin() + (c - contexts.data()));
    return TRUE;
}

HGLRC wglGetCurrentContext() {
    return current;
}
