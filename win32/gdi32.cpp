// GDI32: pixel formats on a window's device context, and presenting the
// back buffer.
#include "win32/layer.h"

#include <vector>

namespace {

// Formats handed out by ChoosePixelFormat, by index - 1.
std::vector<driver::PixelFormat> formats;

// What pfd asks of the system; false when it asks for something other than
// RGBA drawing with GL into a window, which no format of ours offers.
bool FormatFor(const PIXELFORMATDESCRIPTOR &pfd, driver::PixelFormat *format) {
    const DWORD needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if ((pfd.dwFlags & needed) != needed || pfd.iPixelType != PFD_TYPE_RGBA) return false;
    driver::PixelFormat f{};
    f.doubleBuffer = (pfd.dwFlags & PFD_DOUBLEBUFFER) != 0;
    if (pfd.cRedBits || pfd.cGreenBits || pfd.cBlueBits) {
        f.red = pfd.cRedBits, f.green = pfd.cGreenBits, f.blue = pfd.cBlueBits;
    } else if (pfd.cColorBits >= 24) {
        f.red = f.green = f.blue = 8;
    } else if (pfd.cColorBits >= 15) {
        f.red = f.blue = 5, f.green = pfd.cColorBits - 10; // 5-6-5 or 5-5-5
    } else if (pfd.cColorBits > 0) {
        f.red = f.green = 3, f.blue = 2;
    }
    f.alpha = pfd.cAlphaBits;
    f.depth = pfd.cDepthBits;
    f.stencil = pfd.cStencilBits;
    f.accum = pfd.cAccumBits;
    *format = f;
    return true;
}

} // namespace

int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR *pfd) {
    driver::PixelFormat f;
    if (!layer::WindowOfDC(dc) || !pfd || !FormatFor(*pfd, &f)) return 0;
    for (size_t i = 0; i < formats.size(); ++i)
        if (formats[i] == f) return (int)i + 1;
    if (!driver::ChooseFormat(f)) {
        layer::PrintRefusal("ChoosePixelFormat");
        return 0;
    }
    formats.push_back(f);
    return (int)formats.size();
}

// A window's format is set once for its life.
BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR * /*pfd*/) {
    layer::Window *w = layer::WindowOfDC(dc);
    if (!w || format < 1 || format > (int)formats.size()) return FALSE;
    if (w->format) return w->format == format;
    if (!driver::SetFormat(w->native, formats[format - 1])) {
        layer::PrintRefusal("SetPixelFormat");
        return FALSE;
    }
    w->format = format;
    return TRUE;
}

// A window that nobody can see is not drawn: its frame waits up to one
// display interval instead, as a compositor holds back a hidden window's,
// so that a minimised program rests and still hears of input at once.
BOOL SwapBuffers(HDC dc) {
    const layer::Window *w = layer::WindowOfDC(dc);
    if (!w || !w->format) return FALSE;
    if (!w->visible || w->minimised) {
        driver::WaitEvents(16);
        return TRUE;
    }
    return driver::Present(w->native);
}
