#include "tests/fake/driver.h"

#include "win32/layer.h"
#include "tools/offscreen_gl.h"

#include <algorithm>
#include <deque>

namespace fake {

std::vector<std::string> calls, failed;
std::vector<UINT> defaults;
std::vector<Box> boxes;
int fallibleCalls, windows, contexts, presents, cursorCount;
bool modeChanged, refuseMode, scriptRanOut, reuseContexts, noGL;
driver::WindowSpec lastWindow;

namespace {

struct Fault { std::string name; int at; bool always; }; // by name, or else by position
struct Step { std::function<void()> run; bool input; };  // no run: an idle pass
std::vector<Fault> faults;
std::deque<Step> script;
std::deque<int> answers;
std::vector<void *> natives, spares; // live windows; deleted contexts to hand out again
int standIn;        // the one context when there is no GL
int passesAfterEnd; // with the script run out

// Logs the call and says whether it is to fail.
bool Fails(const char *name, const std::string &detail, bool fallible = true) {
    calls.push_back(std::string(name) + "(" + detail + ")");
    if (!fallible) return false;
    ++fallibleCalls;
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (!(it->name.empty() ? fallibleCalls >= it->at : it->name == name)) continue;
        if (!it->always) faults.erase(it);
        failed.push_back(calls.back());
        return true;
    }
    return false;
}

HWND Newest() { return natives.empty() ? nullptr : layer::WindowOfNative(natives.back()); }

std::string ModeText(const DEVMODEA *m, DWORD flags) {
    char t[64] = "restore";
    if (m) snprintf(t, sizeof t, "%ux%ux%u %u %u %u", m->dmPelsWidth, m->dmPelsHeight, m->dmBitsPerPel, m->dmSize, m->dmFields, flags);
    return t;
}

} // namespace
} // namespace fake

using namespace fake;

// The program's Win32 calls, through the linker's --wrap: logged, and the fallible ones made to fail when a
// fault says so.
#define WRAP(R, name, fallible, fails, detail, params, args)                                       \
    extern "C" R __real_##name params;                                                             \
    extern "C" R __wrap_##name params {                                                            \
        return Fails(#name, detail, fallible) ? fails : __real_##name args;                        \
    }
WRAP(HMODULE, GetModuleHandleA, false, NULL, "", (LPCSTR n), (n))
WRAP(BOOL, ShowWindow, false, FALSE, std::to_string(c), (HWND w, int c), (w, c))
WRAP(BOOL, SetForegroundWindow, false, FALSE, "", (HWND w), (w)) WRAP(HWND, SetFocus, false, NULL, "", (HWND w), (w))
WRAP(BOOL, AdjustWindowRectEx, false, FALSE, "", (LPRECT r, DWORD s, BOOL m, DWORD x), (r, s, m, x))
WRAP(HICON, LoadIconA, true, NULL, "", (HINSTANCE i, LPCSTR n), (i, n)) WRAP(HCURSOR, LoadCursorA, true, NULL, "", (HINSTANCE i, LPCSTR n), (i, n))
WRAP(ATOM, RegisterClassA, true, 0, std::string(c->lpszClassName) + " " + std::to_string(c->style),
     (const WNDCLASSA *c), (c))
WRAP(BOOL, UnregisterClassA, true, FALSE, "", (LPCSTR n, HINSTANCE i), (n, i))
WRAP(LONG, ChangeDisplaySettingsA, true, DISP_CHANGE_FAILED, ModeText(m, f), (DEVMODEA * m, DWORD f), (m, f))
WRAP(HWND, CreateWindowExA, true, NULL, std::to_string(s) + " " + std::to_string(w) + "x" + std::to_string(h),
     (DWORD x, LPCSTR c, LPCSTR t, DWORD s, int l, int o, int w, int h, HWND p, HMENU m, HINSTANCE i, LPVOID a),
     (x, c, t, s, l, o, w, h, p, m, i, a))
WRAP(BOOL, DestroyWindow, true, FALSE, "", (HWND w), (w)) WRAP(HDC, GetDC, true, NULL, "", (HWND w), (w))
WRAP(int, ReleaseDC, true, 0, "", (HWND w, HDC d), (w, d))
WRAP(int, ChoosePixelFormat, true, 0,
     std::to_string(p->dwFlags) + " " + std::to_string(p->cColorBits) + " " + std::to_string(p->cDepthBits),
     (HDC d, const PIXELFORMATDESCRIPTOR *p), (d, p))
WRAP(BOOL, SetPixelFormat, true, FALSE, "", (HDC d, int f, const PIXELFORMATDESCRIPTOR *p), (d, f, p))
WRAP(BOOL, SwapBuffers, true, FALSE, "", (HDC d), (d)) WRAP(HGLRC, wglCreateContext, true, NULL, "", (HDC d), (d))
WRAP(BOOL, wglMakeCurrent, true, FALSE, r ? "context" : "none", (HDC d, HGLRC r), (d, r))
WRAP(BOOL, wglDeleteContext, true, FALSE, "", (HGLRC r), (r))

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
    if (Fails("MessageBoxA", t)) return 0;
    boxes.push_back({c, t, type, o, modeChanged, windows, contexts});
    return __real_MessageBoxA(o, t, c, type);
}

// The driver -----------------------------------------------------------------

namespace driver {

const char *Error() { return "the fake system said no"; }
bool Open() { return true; }
void *MakeWindow(const WindowSpec &asked) { // a native window is a number
    lastWindow = asked, ++windows;
    static std::uintptr_t last = 0;
    return natives.emplace_back(reinterpret_cast<void *>(++last));
}
void FreeWindow(void *window) { natives.erase(std::find(natives.begin(), natives.end(), window)), --windows; }
void SetVisible(void *, bool) {}
bool SetFormat(void *, const PixelFormat &) { return true; }

// Plays the script up to the next idle pass. An idle step reached after input was posted is left for the next
// call, so that the pass after that input is the idle one.
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
        if (HWND w = Newest()) layer::CloseAsked(w);
        else PostQuitMessage(0);
    }
    if (scriptRanOut && ++passesAfterEnd == 10000) PostQuitMessage(99); // it did not end: say so
}
void WaitEvents(int) {}
bool Present(void *) { return ++presents; }
bool ChooseFormat(const PixelFormat &) { return true; }
void *MakeContext(void *) {
    void *egl = noGL ? &standIn : reuseContexts && !spares.empty() ? spares.back() : offscreen::CreateContext();
    if (reuseContexts && !spares.empty()) spares.pop_back();
    return contexts += egl != nullptr, egl;
}
bool MakeCurrent(void *, void *context) { return offscreen::MakeCurrent(context == &standIn ? nullptr : context); }
void FreeContext(void *context) {
    if (--contexts, context == &standIn) return;
    reuseContexts ? spares.push_back(context) : (void)offscreen::DestroyContext(context);
}
bool SetMode(int width, int height, int bits) {
    return modeChanged = !refuseMode && width == 640 && height == 480 && bits == 16;
}
void RestoreMode() { modeChanged = false; }
void SetCursorShown(bool) {}
void KeepScreenOn(bool) {}
void EndBox() {}
int ShowBox(const char *, const char *, Buttons buttons, Icon) {
    const int answer = answers.empty() ? (buttons == kYesNo ? IDNO : IDOK) : answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer == 0 ? -1 : answer == IDNO ? 1 : 0;
}

} // namespace driver

// The tests' controls ----------------------------------------------------------

namespace fake {

void Reset() {
    static std::string why;
    [[maybe_unused]] static const bool open = offscreen::Open(&why);
    // What a run left behind goes, through the layer itself.
    script.clear();
    scriptRanOut = true;
    __real_wglMakeCurrent(NULL, NULL);
    while (HWND w = Newest()) __real_DestroyWindow(w);
    __real_UnregisterClassA("OpenGL", NULL);
    __real_ChangeDisplaySettingsA(NULL, 0);
    while (cursorCount != 0) __wrap_ShowCursor(cursorCount < 0);
    for (MSG msg; PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE);) {
    }
    calls.clear(), failed.clear(), defaults.clear(), boxes.clear(), faults.clear(), answers.clear();
    fallibleCalls = contexts = presents = passesAfterEnd = modeChanged = refuseMode = scriptRanOut = reuseContexts = noGL = 0;
}

std::vector<std::string> CallNames(size_t from) {
    std::vector<std::string> names;
    for (size_t i = from; i < calls.size(); ++i) names.push_back(calls[i].substr(0, calls[i].find('(')));
    return names;
}

void Answer(std::vector<int> list) { answers.assign(list.begin(), list.end()); }
void Fail(const std::string &name, bool always) { faults.push_back({name, 0, always}); }
void FailNth(int k, bool always) { faults.push_back({"", fallibleCalls + k, always}); }

bool ClassRegistered() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "OpenGL";
    return !__real_RegisterClassA(&wc) || !__real_UnregisterClassA("OpenGL", NULL);
}

void Key(WPARAM vk, bool down, bool alt) {
    script.push_back({[=] { layer::Key(nullptr, vk, down, false, alt, false); }, true});
}
void Press(WPARAM vk) { Key(vk, true), Idle(), Key(vk, false); }
void Idle(int passes) { script.insert(script.end(), passes, Step{nullptr, false}); }
void Then(std::function<void()> action) { script.push_back({std::move(action), false}); }
// Sent at once, not posted, as Windows sends them.
void Minimise(bool minimised) { Then([=] { layer::Minimised(Newest(), minimised); }); }
void Close() { script.push_back({[] { layer::CloseAsked(Newest()); }, true}); }

} // namespace fake
