// The entry point: the fullscreen question, then the main loop, which
// draws a frame whenever the message queue is empty.
#include "app/main.h"
#include "arm/arm.h"
#include "window/window.h"

static const char kTitle[] = "Orvanel";

BOOL FrameStep(BOOL *done) {
    // Escape ends the loop whether or not we are minimised; while minimised
    // nothing is drawn but the buffers are still swapped.
    if ((active && !DrawGLScene()) || keys[VK_ESCAPE]) {
        *done = TRUE;
    } else {
        SwapBuffers(hDC);
    }

    if (keys[VK_F1]) {
        keys[VK_F1] = FALSE;
        KillGLWindow();
        fullscreen = !fullscreen;
        if (!CreateGLWindow(kTitle, 640, 480, 16, fullscreen)) return FALSE;
    }

    ApplyPoseKeys();
    return TRUE;
}

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
    MSG msg = {}; // its wParam is the exit status, even if no message is ever taken
    BOOL done = FALSE;

    // Only a Yes changes the display: a box that could not be shown, or a
    // Cancel where the system gives one, leaves it alone.
    if (MessageBoxA(NULL, "Passer en plein ecran (640x480) ?", "FullScreen ?",
                    MB_YESNO | MB_ICONQUESTION) != IDYES) {
        fullscreen = FALSE;
    }
    if (!CreateGLWindow(kTitle, 640, 480, 16, fullscreen)) return 0;

    while (!done) {
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                done = TRUE;
            } else {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            continue; // no frame until the queue is empty
        }
        if (!FrameStep(&done)) return 0;
    }

    KillGLWindow();
    return (int)msg.wParam;
}
