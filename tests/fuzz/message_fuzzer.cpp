// Arbitrary bytes as a stream of window messages (any number, wParam and lParam) and idle passes,
// driven through the layer's queue, the window procedure, the frame step and the pose keys, on the
// fake driver with real headless GL. After every step the program's state must still make sense.
#include "app/main.h"
#include "win32/layer.h"
#include "tests/fake/driver.h"
#include "tools/offscreen_gl.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>

namespace {

const UINT kMessages[] = {WM_ACTIVATE, WM_SYSCOMMAND, WM_CLOSE,      WM_KEYDOWN,  WM_KEYUP,
                          WM_SIZE,     WM_CHAR,       WM_SYSKEYDOWN, WM_SYSKEYUP, WM_SYSCHAR,
                          WM_CREATE,   WM_DESTROY,    WM_QUIT,       WM_NCCREATE, 0x0400};
// Keys the program reads and one it does not, the table's bounds; system commands, also with low
// bits set (not the screen saver's; still a close).
const WPARAM kKeys[] = {VK_ESCAPE, VK_F1, VK_F2,    VK_F3,   VK_F4,  VK_F5, VK_F6, VK_F7,
                        VK_LEFT,   VK_UP, VK_RIGHT, VK_DOWN, VK_F10, 'A',   255,   256};
const WPARAM kCommands[] = {SC_SCREENSAVE, SC_MONITORPOWER, SC_SCREENSAVE + 1,
                            SC_CLOSE,      SC_CLOSE + 3,    SC_KEYMENU};

void Check(bool good, const char *what) {
    if (good) return;
    fprintf(stderr, "broken: %s\n", what);
    abort();
}

// A pose value on whole numbers within its limits, or a report of which one is not.
void CheckPose(const PoseLimit &p) {
    const GLfloat v = *p.value;
    if (v >= p.lowest && v <= p.highest && v == std::floor(v)) return;
    fprintf(stderr, "broken: pose value %d of 5 is %g, off %g..%g or off whole numbers\n",
            int(&p - PoseLimits) + 1, v, p.lowest, p.highest);
    abort();
}

void CheckState() {
    for (const PoseLimit &p : PoseLimits)
        CheckPose(p);
    for (int k : keys)
        Check(k == 0 || k == 1, "key table entry not 0 or 1");
    Check(active == 0 || active == 1, "active not 0 or 1");
    Check(fake::boxes.empty(), "a box on a healthy system");
}

} // namespace

// Frames are drawn into a tiny surface: the pixels are not what is checked.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    std::string why;
    Check(offscreen::Open(&why, 16, 16), "no headless GL");
    return 0;
}

// Each input starts from the program's start state in a fresh window, and runs the main loop's two
// halves as the bytes say, until the loop would end.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    KillGLWindow();
    ResetProgram();
    fake::scriptRanOut = true;  // no script
    fake::reuseContexts = true; // new contexts cost milliseconds
    Check(CreateGLWindow("Orvanel", 640, 480, 16, FALSE), "no window to start from");
    FuzzedDataProvider in(data, size);
    for (BOOL done = FALSE; !done && in.remaining_bytes() > 0;) {
        if (in.ConsumeIntegralInRange(0, 7) == 0) {
            GLint depth = 0, after = 0;
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
            Check(FrameStep(&done), "the fullscreen toggle failed on a healthy system");
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &after);
            Check(after == depth, "a frame left the modelview stack deeper or shallower");
            Check(glGetError() == GL_NO_ERROR, "a frame left a GL error");
            CheckState();
            continue;
        }
        const UINT message =
            in.ConsumeBool() ? in.PickValueInArray(kMessages) : in.ConsumeIntegral<UINT>();
        WPARAM wParam = in.ConsumeIntegral<WPARAM>();
        if (in.ConsumeBool()) wParam = in.PickValueInArray(kKeys);
        if (in.ConsumeBool()) wParam = in.PickValueInArray(kCommands);
        layer::Post(hWnd, message, wParam, in.ConsumeIntegral<LPARAM>());
        MSG msg{};
        while (!done && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            done = msg.message == WM_QUIT;
            if (done) break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            CheckState();
        }
    }
    return 0;
}
