// The tests' fake driver (see driver.h): native calls answered from a script, and the program's
// Win32 calls made to fail.
#include "tests/fake/driver.h"

#include "tools/offscreen_gl.h"
#include "win32/layer.h"

#include <algorithm>
#include <deque>
#include <signal.h>

namespace fake {

std::vector<std::string> failed;
std::vector<Box> boxes;
int fallibleCalls, windows, windowsShown, contexts, cursorCount;
bool modeChanged, refuseMode, cursorShown, screenKeptOn, scriptRanOut, reuseContexts, noGL;
driver::WindowSpec lastWindow;
driver::PixelFormat lastFormat;

namespace {

// A step of the script; one without an action is an idle pass.
struct Step {
    std::function<void()> run;
    bool input;
};
int faultAt;        // the fallible call that fails, if not 0
bool faultFromThen; // and every one after it
std::deque<Step> script;
std::deque<int> answers;
std::vector<void *> natives; // live windows, oldest first
std::vector<void *> spares;  // deleted contexts, to hand out again
int standIn;                 // the one context when there is no GL
int passesAfterEnd;          // with the script run out

// Counts the call and says whether it is to fail.
bool Fails(const char *name, const std::string &detail = "") {
    ++fallibleCalls;
    if (faultAt == 0 || fallibleCalls < faultAt) return false;
    if (!faultFromThen) faultAt = 0;
    failed.push_back(detail.empty() ? name : std::string(name) + "(" + detail + ")");
    return true;
}

HWND Newest() {
    return natives.empty() ? nullptr : layer::WindowOfNative(natives.back());
}

} // namespace
} // namespace fake

using namespace fake;

// The program's Win32 calls, through the linker's --wrap: made to fail when a fault says so.
#define WRAP(R, name, failure, params, args)                                                       \
    extern "C" R __real_##name params;                                                             \
    extern "C" R __wrap_##name params {                                                            \
        return Fails(#name) ? failure : __real_##name args;                                        \
    }
WRAP(ATOM, RegisterClassA, 0, (const WNDCLASSA *c), (c));
WRAP(BOOL, UnregisterClassA, FALSE, (LPCSTR n, HINSTANCE i), (n, i));
WRAP(BOOL, DestroyWindow, FALSE, (HWND w), (w));
WRAP(HDC, GetDC, NULL, (HWND w), (w));
WRAP(int, ReleaseDC, 0, (HWND w, HDC d), (w, d));
WRAP(int, ChoosePixelFormat, 0, (HDC d, const PIXELFORMATDESCRIPTOR *p), (d, p));
WRAP(BOOL, SetPixelFormat, FALSE, (HDC d, int f, const PIXELFORMATDESCRIPTOR *p), (d, f, p));
WRAP(BOOL, SwapBuffers, FALSE, (HDC d), (d));
WRAP(HGLRC, wglCreateContext, NULL, (HDC d), (d));
WRAP(BOOL, wglDeleteContext, FALSE, (HGLRC r), (r));
WRAP(HWND, CreateWindowExA, NULL,
     (DWORD x, LPCSTR c, LPCSTR t, DWORD s, int l, int o, int w, int h, HWND p, HMENU m,
      HINSTANCE i, LPVOID a),
     (x, c, t, s, l, o, w, h, p, m, i, a));

extern "C" BOOL __real_wglMakeCurrent(HDC d, HGLRC r);
extern "C" BOOL __wrap_wglMakeCurrent(HDC d, HGLRC r) {
    return Fails("wglMakeCurrent", r ? "context" : "none") ? FALSE : __real_wglMakeCurrent(d, r);
}

extern "C" LONG __real_ChangeDisplaySettingsA(DEVMODEA *m, DWORD f);
extern "C" LONG __wrap_ChangeDisplaySettingsA(DEVMODEA *m, DWORD f) {
    if (Fails("ChangeDisplaySettingsA", m ? "set" : "restore")) return DISP_CHANGE_FAILED;
    return __real_ChangeDisplaySettingsA(m, f);
}

extern "C" int __real_ShowCursor(BOOL show);
extern "C" int __wrap_ShowCursor(BOOL show) {
    cursorCount = __real_ShowCursor(show);
    return cursorCount;
}

extern "C" int __real_MessageBoxA(HWND o, LPCSTR t, LPCSTR c, UINT type);
extern "C" int __wrap_MessageBoxA(HWND o, LPCSTR t, LPCSTR c, UINT type) {
    if (Fails("MessageBoxA")) return 0;
    boxes.push_back({c, t, type, modeChanged, windows});
    return __real_MessageBoxA(o, t, c, type);
}

// The driver -----------------------------------------------------------------------------------

namespace driver {

bool Open() {
    return true;
}

void *MakeWindow(const WindowSpec &asked) { // a native window is a number
    static std::uintptr_t last = 0;
    lastWindow = asked;
    ++windows;
    return natives.emplace_back(reinterpret_cast<void *>(++last));
}

void FreeWindow(void *window) {
    natives.erase(std::find(natives.begin(), natives.end(), window));
    --windows;
}

void SetVisible(void *, bool visible) {
    windowsShown += visible;
}

bool SetFormat(void *, const PixelFormat &format) {
    lastFormat = format;
    return true;
}

// Plays the script up to the next idle step. An idle step reached after input was posted is left
// for the next call, so that the pass after that input is the idle one.
void PumpEvents() {
    bool posted = false;
    while (!script.empty() && (script.front().run || !posted)) {
        Step step = std::move(script.front());
        script.pop_front();
        if (!step.run) return;
        step.run();
        posted |= step.input;
    }
    if (!posted && script.empty() && !scriptRanOut) {
        scriptRanOut = true;
        if (HWND w = Newest()) {
            layer::CloseAsked(w);
        } else {
            PostQuitMessage(0);
        }
    }
    if (scriptRanOut && ++passesAfterEnd == 10000) PostQuitMessage(99); // it did not end: say so
}

void WaitEvents(int) {}

bool Present(void *) {
    return true;
}

bool ChooseFormat(const PixelFormat &) {
    return true;
}

void *MakeContext(void *) {
    void *context = &standIn;
    if (!noGL && reuseContexts && !spares.empty()) {
        context = spares.back();
        spares.pop_back();
    } else if (!noGL) {
        context = offscreen::CreateContext();
    }
    if (context) ++contexts;
    return context;
}

bool MakeCurrent(void *, void *context) {
    return offscreen::MakeCurrent(context == &standIn ? nullptr : context);
}

void FreeContext(void *context) {
    --contexts;
    if (context == &standIn) return;
    if (reuseContexts) {
        spares.push_back(context);
    } else {
        offscreen::DestroyContext(context);
    }
}

// The display has one mode besides its own: 640x480 at 16 bits.
bool SetMode(int width, int height, int bits) {
    modeChanged = !refuseMode && width == 640 && height == 480 && bits == 16;
    return modeChanged;
}

void RestoreMode() {
    modeChanged = false;
}
void SetCursorShown(bool shown) {
    cursorShown = shown;
}
void KeepScreenOn(bool on) {
    screenKeptOn = on;
}
void EndBox() {}

// Answers in turn; with none left, the last button (No, or OK).
int ShowBox(const char *, const char *, Buttons buttons, Icon) {
    if (!boxes.empty()) boxes.back().shown = true;
    int answer = buttons == kYesNo ? IDNO : IDOK;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    if (answer < 0) raise(-answer); // the signal arrives while the box is up
    if (answer > 0) return answer == IDNO ? 1 : 0;
    layer::Why("the fake system shows no boxes");
    return -1;
}

} // namespace driver

// The tests' controls --------------------------------------------------------------------------

namespace fake {

void Reset() {
    static std::string why;
    [[maybe_unused]] static const bool open = offscreen::Open(&why) && layer::Start();
    // What a run left behind goes, through the layer itself.
    script.clear();
    scriptRanOut = true;
    __real_wglMakeCurrent(NULL, NULL);
    while (HWND w = Newest())
        __real_DestroyWindow(w);
    __real_UnregisterClassA("OpenGL", NULL);
    __real_ChangeDisplaySettingsA(NULL, 0);
    while (cursorCount != 0)
        __wrap_ShowCursor(cursorCount < 0);
    for (int pass = 0; pass < 2; ++pass) { // a close request left becomes a quit message
        for (MSG msg; PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE);) {
        }
    }
    failed.clear();
    boxes.clear();
    answers.clear();
    fallibleCalls = faultAt = windowsShown = contexts = passesAfterEnd = 0;
    lastWindow = {};
    modeChanged = refuseMode = screenKeptOn = scriptRanOut = reuseContexts = noGL = false;
    cursorShown = true;
}

void Answer(std::vector<int> list) {
    answers.assign(list.begin(), list.end());
}
void FailNth(int k, Times times) {
    faultAt = fallibleCalls + k;
    faultFromThen = times == kFromThenOn;
}

bool ClassRegistered() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "OpenGL";
    return !__real_RegisterClassA(&wc) || !__real_UnregisterClassA("OpenGL", NULL);
}

void Key(WPARAM vk, Stroke stroke) {
    const bool repeat = false, alt = false, ctrl = false, input = true;
    script.push_back({[=] { layer::Key(nullptr, vk, stroke == kDown, repeat, alt, ctrl); }, input});
}

void Press(WPARAM vk) {
    Key(vk, kDown);
    Idle();
    Key(vk, kUp);
}

void Idle(int passes) {
    script.insert(script.end(), passes, Step{nullptr, false});
}
void Then(std::function<void()> action) {
    script.push_back({std::move(action), false});
}
// Sent at once, not posted, as Windows sends them.
void Minimise() {
    Then([] { layer::Minimised(Newest()); });
}
void Restore() {
    Then([] {
        if (const layer::Window *w = layer::Lookup(Newest()))
            layer::Restored(w->handle, w->width, w->height);
    });
}
void Resize(int width, int height) {
    Then([=] { layer::Resized(Newest(), width, height); });
}
bool ScriptDone() {
    return script.empty();
}

} // namespace fake

void ResetProgram() {
    fake::Reset();
    hInstance = NULL;
    hWnd = NULL;
    hDC = NULL;
    hRC = NULL;
    fullscreen = TRUE;
    active = TRUE;
    std::fill(std::begin(keys), std::end(keys), 0);
    Piston1Rot = Piston2Rot = Piston3Rot = 0;
    Piston3Trans = 1;
    PinceRot = 45;
}

int RunWinMain() {
    const int status = WinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "", SW_SHOW);
    EXPECT_TRUE(fake::ScriptDone()) << "the program ended before the script did";
    return status;
}
