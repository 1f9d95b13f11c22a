// The window procedure: key presses latched in the key table, the active
// flag, the projection kept in step with the size, and the close request.
#include "arm/arm.h"
#include "window/scene.h"
#include "window/window.h"

BOOL active = TRUE;

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE:
        active = HIWORD(wParam) == 0; // the high word is the minimised state
        return 0;

    case WM_SYSCOMMAND:
        // Keep the screen saver and monitor power saving off while we are in front.
        if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) return 0;
        break;

    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;

    case WM_KEYDOWN:
        if (wParam < 256) keys[wParam] = TRUE;
        return 0;

    case WM_KEYUP:
        if (wParam < 256) keys[wParam] = FALSE;
        return 0;

    case WM_SIZE:
        ReSizeGLScene(LOWORD(lParam), HIWORD(lParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
