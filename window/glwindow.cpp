// The window and its GL context: the window set, creation (with the
// fullscreen mode and its windowed fallback) and the teardown that serves
// every exit, each failure told in its own box.
#include "window/scene.h"
#include "window/window.h"

#include <cstring>

HINSTANCE hInstance = NULL;
HWND hWnd = NULL;
HDC hDC = NULL;
HGLRC hRC = NULL;
BOOL fullscreen = TRUE;

// Double-buffered RGBA for a window, 16 colour bits, 16-bit depth buffer.
static const PIXELFORMATDESCRIPTOR pfd = {
    40, // nSize
    1,  // nVersion
    PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,
    PFD_TYPE_RGBA,
    16, // cColorBits
    0,
    0,
    0,
    0,
    0,
    0, // colour bits and shifts
    0,
    0, // no alpha
    0,
    0,
    0,
    0,
    0,  // no accumulation buffer
    16, // cDepthBits
    0,  // no stencil
    0,  // no auxiliary buffers
    PFD_MAIN_PLANE,
    0, // bReserved
    0,
    0,
    0, // layer, visible and damage masks
};

static const char kClassName[] = "OpenGL";

// The size of Win32's DEVMODE without the panning fields, which is what
// display-mode requests have always passed.
static const WORD kDevModeSize = 148;

static void ShowError(const char *text) {
    MessageBoxA(NULL, text, "ERROR", MB_OK | MB_ICONEXCLAMATION);
}

static void ShowShutdownError(const char *text) {
    MessageBoxA(NULL, text, "SHUTDOWN ERROR", MB_OK | MB_ICONINFORMATION);
}

// Tears down what a failed creation had built, then says why.
static BOOL CreationFailed(const char *text) {
    KillGLWindow();
    ShowError(text);
    return FALSE;
}

static BOOL SwitchToFullscreenMode(int width, int height, int bits) {
    DEVMODEA mode;
    memset(&mode, 0, sizeof mode);
    mode.dmSize = kDevModeSize;
    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    mode.dmBitsPerPel = bits;
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
}

BOOL CreateGLWindow(const char *title, int width, int height, int bits, BOOL fullscreenflag) {
    RECT windowRect;
    windowRect.left = 0;
    windowRect.top = 0;
    windowRect.right = width;
    windowRect.bottom = height;
    fullscreen = fullscreenflag;

    hInstance = GetModuleHandleA(NULL);
    WNDCLASSA wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    wc.lpfnWndProc = WndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(NULL, IDI_WINLOGO);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = NULL;
    wc.lpszMenuName = NULL;
    wc.lpszClassName = kClassName;
    if (!RegisterClassA(&wc)) {
        ShowError("Failed To Register The Window Class.");
        return FALSE;
    }

    if (fullscreen && !SwitchToFullscreenMode(width, height, bits)) {
        if (MessageBoxA(NULL,
                        "The Requested Fullscreen Mode Is Not Supported By\n"
                        "Your Video Card. Use Windowed Mode Instead?",
                        "Vorel GL", MB_YESNO | MB_ICONEXCLAMATION) == IDYES) {
            fullscreen = FALSE;
        } else {
            MessageBoxA(NULL, "Program Will Now Close.", "ERROR", MB_OK | MB_ICONSTOP);
            return FALSE;
        }
    }

    DWORD exStyle, style;
    if (fullscreen) {
        exStyle = WS_EX_APPWINDOW;
        style = WS_POPUP;
        ShowCursor(FALSE);
    } else {
        exStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
        style = WS_OVERLAPPEDWINDOW;
    }
    AdjustWindowRectEx(&windowRect, style, FALSE, exStyle);

    hWnd = CreateWindowExA(exStyle, kClassName, title, style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0,
                           0, windowRect.right - windowRect.left,
                           windowRect.bottom - windowRect.top, NULL, NULL, hInstance, NULL);
    if (!hWnd) return CreationFailed("Window Creation Error.");
    if (!(hDC = GetDC(hWnd))) return CreationFailed("Can't Create A GL Device Context.");
    int format = ChoosePixelFormat(hDC, &pfd);
    if (!format) return CreationFailed("Can't Find A Suitable PixelFormat.");
    if (!SetPixelFormat(hDC, format, &pfd)) return CreationFailed("Can't Set The PixelFormat.");
    if (!(hRC = wglCreateContext(hDC)))
        return CreationFailed("Can't Create A GL Rendering Context.");
    if (!wglMakeCurrent(hDC, hRC))
        return CreationFailed("Can't Activate The GL Rendering Context.");

    ShowWindow(hWnd, SW_SHOW);
    SetForegroundWindow(hWnd);
    SetFocus(hWnd);
    ReSizeGLScene(width, height);
    if (!InitGL()) return CreationFailed("Initialization Failed.");
    return TRUE;
}

void KillGLWindow() {
    if (fullscreen) {
        ChangeDisplaySettingsA(NULL, 0);
        ShowCursor(TRUE);
    }
    if (hRC) {
        // A creation that failed to make hRC current has nothing to release.
        if (wglGetCurrentContext() == hRC && !wglMakeCurrent(NULL, NULL))
            ShowShutdownError("Release Of DC And RC Failed.");
        if (!wglDeleteContext(hRC)) ShowShutdownError("Release Rendering Context Failed.");
        hRC = NULL;
    }
    if (hDC) {
        if (!ReleaseDC(hWnd, hDC)) ShowShutdownError("Release Device Context Failed.");
        hDC = NULL;
    }
    if (hWnd) {
        if (!DestroyWindow(hWnd)) ShowShutdownError("Could Not Release hWnd.");
        hWnd = NULL;
    }
    if (!UnregisterClassA(kClassName, hInstance)) ShowShutdownError("Could Not Unregister Class.");
}
