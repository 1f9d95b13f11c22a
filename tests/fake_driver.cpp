#include "tests/fake_driver.h"

#include "platform/layer.h"
#include "tools/offscreen_gl.h"

#include <algorithm>
#include <deque>

namespace fake {

std::vector<std::string> calls, failed;
std::vector<UINT> defaults;
std::vector<Box> boxes;
int fallibleCalls, windows, contexts, presents, cursorCount;
bool modeChanged, refuseMode, scriptRanOut, reuseContexts;
driver::WindowSpec lastWindow;

namespace {

struct Fault {
    std::string name; // empty: by position
    int at;
    bool always;
    int skip;
};
std::vector<Fault> faults;
struct Step {
    std::function<void()> run; // none: an idle pass
    bool input;                // what it reports is input, not a test's own action
};
std::deque<Step> script;
std::deque<int> answers;
std::vector<void *> natives, spares; // live windows, deleted contexts
bool open = false;

// Logs the call and says whether it is to fail.
bool Fallible(const char *name, const std::string &detail) {
    calls.push_back(std::string(name) + "(" + detail + ")");
    ++fallibleCalls;
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (!(it->name.empty() ? fallibleCalls >= it->at : it->name == name)) continue;
        if (it->skip > 0 && it->skip--) continue;
        if (!it->always) faults.erase(it);
        failed.push_back(calls.back());
        return true;
    }
    return false;
}

HWND Newest() { return natives.empty() ? nullptr : layer::WindowOfNative(natives.back()); }

} // namespace
} // namespace fake

using namespace fake;

// The program's Win32 calls, through the linker's --wrap ----------------------

#define LOGGED(R, name, detail, params, args)                                                      \
    extern "C" R __real_##name params;                                                             \
    extern "C" R __wrap_##name params {                                                            \
        calls.push_back(std::string(#name "(") + detail + ")");                                    \
        return __real_##name args;                                                                 \
    }
#define FALLIBLE(R, name, fails, detail, params, args)                                             \
    extern "C" R __real_##name params;                                                             \
    extern "C" R __wrap_##name params {                                                            \
        if (Fallible(#name, detail)) return fails;                                                 \
        return __real_##name args;                                                                 \
    }

static std::string ModeText(const DEVMODEA *m, DWORD flags) {
    if (!m) return "restore";
    return std::to_string(m->dmPelsWidth) + "x" + std::to_string(m->dmPelsHeight) + "x" +
           std::to_string(m->dmBitsPerPel) + " " + std::to_string(m->dmSize) + " " +
           std::to_string(m->dmFields) + " " + std::to_string(flags);
}

LOGGED(HMODULE, GetModuleHandleA, "", (LPCSTR n), (n))
LOGGED(BOOL, ShowWindow, std::to_string(c), (HWND w, int c), (w, c))
LOGGED(BOOL, SetForegroundWindow, "", (HWND w), (w))
LOGGED(HWND, SetFocus, "", (HWND w), (w))
LOGGED(BOOL, AdjustWindowRectEx, "", (LPRECT r, DWORD s, BOOL m, DWORD x), (r, s, m, x))
FALLIBLE(HICON, LoadIconA, NULL, "", (HINSTANCE i, LPCSTR n), (i, n))
FALLIBLE(HCURSOR, LoadCursorA, NULL, "", (HINSTANCE i, LPCSTR n), (i, n))
FALLIBLE(ATOM, RegisterClassA, 0, std::string(c->lpszClassName) + " " + std::to_string(c->style),
         (const WNDCLASSA *c), (c))
FALLIBLE(BOOL, UnregisterClassA, FALSE, "", (LPCSTR n, HINSTANCE i), (n, i))
FALLIBLE(LONG, ChangeDisplaySettingsA, DISP_CHANGE_FAILED, ModeText(m, f), (DEVMODEA * m, DWORD f),
         (m, f))
FALLIBLE(HWND, CreateWindowExA, NULL, std::to_string(s) + " " + std::to_string(w) + "x" + std::to_string(h),
         (DWORD x, LPCSTR c, LPCSTR t, DWORD s, int l, int o, int w, int h, HWND p, HMENU m,
          HINSTANCE i, LPVOID a),
         (x, c, t, s, l, o, w, h, p, m, i, a))
FALLIBLE(BOOL, DestroyWindow, FALSE, "", (HWND w), (w))
FALLIBLE(HDC, GetDC, NULL, "", (HWND w), (w))
FALLIBLE(int, ReleaseDC, 0, "", (HWND w, HDC d), (w, d))
FALLIBLE(int, ChoosePixelFormat, 0,
         std::to_string(p->dwFlags) + " " + std::to_string(p->cColorBits) + " " +
             std::to_string(p->cDepthBits),
         (HDC d, const PIXELFORMATDESCRIPTOR *p), (d, p))
FALLIBLE(BOOL, SetPixelFormat, FALSE, "", (HDC d, int f, const PIXELFORMATDESCRIPTOR *p), (d, f, p))
FALLIBLE(BOOL, SwapBuffers, FALSE, "", (HDC d), (d))
FALLIBLE(HGLRC, wglCreateContext, NULL, "", (HDC d), (d))
FALLIBLE(BOOL, wglMakeCurrent, FALSE, r ? "context" : "none", (HDC d, HGLRC r), (d, r))
FALLIBLE(BOOL, wglDeleteContext, FALSE, "", (HGLRC r), (r))

extern "C" LRESULT __real_DefWindowProcA(HWND w, UINT m, WPARAM p, LPARAM l);
extern "C" LRESULT __wrap_DefWindowProcA(HWND w, UINT m, WPARAM p, LPARAM l) {
    defaults.push_back(m);
    return __real_DefWindowProcA(w, m, p, l);
}

extern "C" int __real_ShowCursor(BOOL show);
extern "C" int __wrap_ShowCursor(BOOL show) {
    calls.push_back("ShowCursor(" + std::to_string(show) + ")");
    return cursorCount = __real_ShowCursor(show);
}

extern "C" int __real_MessageBoxA(HWND o, LPCSTR t, LPCSTR c, UINT type);
extern "C" int __wrap_MessageBoxA(HWND o, LPCSTR t, LPCSTR c, UINT type) {
    if (Fallible("MessageBoxA", t)) return 0;
    boxes.push_back({c, t, type, o, modeChanged, windows, contexts});
    return __real_MessageBoxA(o, t, c, type);
}

// The driver -----------------------------------------------------------------

namespace driver {

const char *Error() { return "the fake system said no"; }
bool Open() { return true; }

void *MakeWindow(const WindowSpec &spec) {
    lastWindow = spec;
    ++windows;
    natives.push_back(new int(0));
    return natives.back();
}

void FreeWindow(void *window) {
    natives.erase(std::find(natives.begin(), natives.end(), window));
    delete static_cast<int *>(window);
    --windows;
}

void SetVisible(void *, bool) {}
bool SetFormat(void *, const PixelFormat &) { return true; }

// Plays the script up to the next idle pass. An idle step reached after
// this call has reported something is left for the next call, so that the
// pass after that input is the idle one.
void PumpEvents() {
    bool reported = false;
    while (!script.empty()) {
        Step step = std::move(script.front());
        if (!step.run && reported) return;
        script.pop_front();
        if (!step.run) return;
        step.run();
        reported |= step.input;
    }
    if (!reported && !scriptRanOut) {
        scriptRanOut = true;
        if (HWND w = Newest()) layer::CloseAsked(w);
        else PostQuitMessage(0);
    }
}

void WaitEvents(int) {}

bool Present(void *) {
    ++presents;
    return true;
}

bool ChooseFormat(const PixelFormat &) { return true; }

void *MakeContext(void *) {
    void *egl = nullptr;
    if (reuseContexts && !spares.empty()) {
        egl = spares.back();
        spares.pop_back();
    } else {
        egl = offscreen::CreateContext();
    }
    contexts += egl != nullptr;
    return egl;
}

bool MakeCurrent(void *, void *context) { return offscreen::MakeCurrent(context); }

void FreeContext(void *context) {
    --contexts;
    if (reuseContexts) spares.push_back(context);
    else offscreen::DestroyContext(context);
}

bool SetMode(int width, int height, int bits) {
    modeChanged = !refuseMode && width == 640 && height == 480 && bits == 16;
    return modeChanged;
}

void RestoreMode() { modeChanged = false; }
void SetCursorShown(bool) {}
void Interrupt() {}
void KeepScreenOn(bool) {}

int ShowBox(const char *, const char *, Buttons buttons, Icon) {
    const int answer = answers.empty() ? (buttons == kYesNo ? IDNO : IDOK) : answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer == 0 ? -1 : answer == IDNO ? 1 : 0;
}

} // namespace driver

// The tests' controls ----------------------------------------------------------

extern "C" BOOL __real_DestroyWindow(HWND);
extern "C" BOOL __real_UnregisterClassA(LPCSTR, HINSTANCE);
extern "C" ATOM __real_RegisterClassA(const WNDCLASSA *);
extern "C" LONG __real_ChangeDisplaySettingsA(DEVMODEA *, DWORD);
extern "C" BOOL __real_wglMakeCurrent(HDC, HGLRC);

namespace fake {

void Reset() {
    if (!open) {
        std::string why;
        open = offscreen::Open(&why);
    }
    // What a run left behind goes, through the layer itself.
    script.clear();
    scriptRanOut = true;
    __real_wglMakeCurrent(NULL, NULL);
    while (HWND w = Newest()) __real_DestroyWindow(w);
    __real_UnregisterClassA("OpenGL", NULL);
    __real_ChangeDisplaySettingsA(NULL, 0);
    while (cursorCount != 0) __wrap_ShowCursor(cursorCount < 0);
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
    }
    calls.clear();
    failed.clear();
    defaults.clear();
    boxes.clear();
    faults.clear();
    answers.clear();
    fallibleCalls = contexts = presents = 0;
    modeChanged = refuseMode = scriptRanOut = reuseContexts = false;
}

std::vector<std::string> CallNames(size_t from) {
    std::vector<std::string> names;
    for (size_t i = from; i < calls.size(); ++i) names.push_back(calls[i].substr(0, calls[i].find('(')));
    return names;
}

void Answer(std::vector<int> list) { answers.assign(list.begin(), list.end()); }
void Fail(const std::string &name, bool always, int skip) { faults.push_back({name, 0, always, skip}); }
void FailNth(int k, bool always) { faults.push_back({"", fallibleCalls + k, always, 0}); }

bool ClassRegistered() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "OpenGL";
    if (!__real_RegisterClassA(&wc)) return true;
    __real_UnregisterClassA("OpenGL", NULL);
    return false;
}

void Key(WPARAM vk, bool down, bool alt) {
    script.push_back({[=] { layer::Key(nullptr, vk, down, false, alt, false); }, true});
}
void Press(WPARAM vk) {
    Key(vk, true);
    Idle();
    Key(vk, false);
}
void Idle(int passes) { script.insert(script.end(), passes, Step{nullptr, false}); }
void Then(std::function<void()> action) { script.push_back({std::move(action), false}); }
void Minimise(bool minimised) {
    script.push_back({[=] { layer::Minimised(Newest(), minimised); }, false}); // sent, not posted
}
void Close() {
    script.push_back({[] { layer::CloseAsked(Newest()); }, true});
}

} // namespace fake
