#include "tests/fake_win32.h"

#include "tools/offscreen_gl.h"

#include <deque>
#include <map>

namespace fake {

std::vector<std::string> calls;
std::vector<UINT> defaults;
std::vector<std::string> failed;
std::vector<MessageBox> boxes;
std::vector<CreatedWindow> created;
std::vector<DEVMODEA> modeRequests;
std::vector<PIXELFORMATDESCRIPTOR> formatRequests;
const DisplayMode kDesktop = {1024, 768, 32};
DisplayMode display = kDesktop;
bool accepts640x480x16 = true;
int cursorCount = 0;
int swaps = 0;
int fallibleCalls = 0;
bool scriptRanOut = false;
bool closeWhenScriptRunsOut = true;
bool reuseGLContexts = false;

namespace {

struct Window {
    HDC dc;
    bool dcOut;
    int pixelFormat;
    int clientWidth, clientHeight;
};

struct Context {
    void *egl;
    HDC dc;
};

struct Fault {
    std::string name; // empty: by position
    int at;           // fallible call number, for a fault by position
    bool always;
    int skip;         // calls of that name to let through first
};

struct ScriptStep {
    enum { Message, Idle, Action } kind;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::function<void()> action;
};

std::map<HWND, Window> windows;
std::map<HGLRC, Context> contexts;
std::vector<void *> spareContexts; // deleted, kept for reuseGLContexts
HGLRC current = nullptr;
HWND newest = nullptr;
std::uintptr_t lastHandle = 0x1000;
std::vector<Fault> faults;
std::deque<ScriptStep> script;
std::deque<int> answers;

const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(0x400000);

template <typename Handle> Handle NewHandle() { return reinterpret_cast<Handle>(++lastHandle); }

std::string Hex(std::uintptr_t value) {
    char text[32];
    snprintf(text, sizeof text, "0x%lX", (unsigned long)value);
    return text;
}

// Logs the call and says whether it is to fail.
bool Fallible(const char *name, const std::string &detail = "") {
    calls.push_back(std::string(name) + "(" + detail + ")");
    ++fallibleCalls;
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        const bool hit = it->name.empty() ? fallibleCalls >= it->at : it->name == name;
        if (!hit) continue;
        if (it->skip > 0) {
            --it->skip;
            continue;
        }
        if (!it->always) faults.erase(it);
        failed.push_back(calls.back());
        return true;
    }
    return false;
}

void Log(const char *name, const std::string &detail = "") {
    calls.push_back(std::string(name) + "(" + detail + ")");
}

Window *WindowOfDC(HDC dc, HWND *owner = nullptr) {
    for (auto &[hwnd, w] : windows)
        if (w.dc == dc) {
            if (owner) *owner = hwnd;
            return &w;
        }
    return nullptr;
}

HWND LiveTarget() { return windows.count(newest) ? newest : nullptr; }

} // namespace

void Reset() {
    offscreen::MakeCurrent(nullptr);
    for (auto &[handle, c] : contexts) offscreen::DestroyContext(c.egl);
    for (void *egl : spareContexts) offscreen::DestroyContext(egl);
    contexts.clear();
    spareContexts.clear();
    windows.clear();
    current = nullptr;
    newest = nullptr;
    layer::Reset();
    calls.clear();
    defaults.clear();
    failed.clear();
    boxes.clear();
    created.clear();
    modeRequests.clear();
    formatRequests.clear();
    display = kDesktop;
    accepts640x480x16 = true;
    cursorCount = 0;
    swaps = 0;
    fallibleCalls = 0;
    scriptRanOut = false;
    closeWhenScriptRunsOut = true;
    reuseGLContexts = false;
    faults.clear();
    script.clear();
    answers.clear();
    std::string why;
    offscreen::Open(&why);
}

int LiveWindows() { return (int)windows.size(); }

int LiveDCs() {
    int n = 0;
    for (auto &[hwnd, w] : windows) n += w.dcOut;
    return n;
}

int LiveContexts() { return (int)contexts.size(); }

std::vector<std::string> CallNames(size_t from) {
    std::vector<std::string> names;
    for (size_t i = from; i < calls.size(); ++i) names.push_back(calls[i].substr(0, calls[i].find('(')));
    return names;
}

void Answer(std::vector<int> list) { answers.assign(list.begin(), list.end()); }

void Fail(const std::string &name, bool always, int skip) {
    faults.push_back({name, 0, always, skip});
}
void FailNth(int k, bool always) { faults.push_back({"", fallibleCalls + k, always, 0}); }

void Post(UINT message, WPARAM wParam, LPARAM lParam) {
    script.push_back({ScriptStep::Message, message, wParam, lParam, nullptr});
}
void Idle(int passes) {
    for (int i = 0; i < passes; ++i) script.push_back({ScriptStep::Idle, 0, 0, 0, nullptr});
}
void Then(std::function<void()> action) {
    script.push_back({ScriptStep::Action, 0, 0, 0, std::move(action)});
}

// lParam of a key message: repeat count 1, bit 30 set on key-up and bit 31
// for a key being released, as Windows sets them.
void KeyDown(WPARAM key) { Post(WM_KEYDOWN, key, 1); }
void KeyUp(WPARAM key) { Post(WM_KEYUP, key, (LPARAM)(1u | 3u << 30)); }
void Press(WPARAM key) {
    KeyDown(key);
    Idle();
    KeyUp(key);
}
void Minimise() {
    Post(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
    Post(WM_SIZE, SIZE_MINIMIZED, 0);
}
void Restore() {
    Post(WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
    Post(WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480));
}
void Close() { Post(WM_SYSCOMMAND, SC_CLOSE, 0); }

} // namespace fake

using namespace fake;

// The shared part's fallible calls come through here too.
bool layer::TestHook(const char *call, const std::string &detail) {
    if (std::string(call) == "DefWindowProcA") {
        defaults.push_back((UINT)std::stoul(detail));
        return false;
    }
    return Fallible(call, detail);
}

// Plays the script up to the next Idle(). An Idle() reached after this
// call has posted something is left for the next call, so that the pass
// after those messages is the idle one.
void layer::PumpEvents() {
    bool posted = false;
    while (!script.empty()) {
        ScriptStep &step = script.front();
        if (step.kind == ScriptStep::Idle) {
            if (!posted) script.pop_front();
            return;
        }
        ScriptStep taken = std::move(step);
        script.pop_front();
        if (taken.kind == ScriptStep::Action) {
            taken.action();
        } else {
            layer::PostMessage(LiveTarget(), taken.message, taken.wParam, taken.lParam);
            posted = true;
        }
    }
    if (!posted && !scriptRanOut && closeWhenScriptRunsOut) {
        scriptRanOut = true;
        if (HWND target = LiveTarget()) layer::PostMessage(target, WM_CLOSE, 0, 0);
        else PostQuitMessage(0);
    }
}

HMODULE GetModuleHandleA(LPCSTR) {
    Log("GetModuleHandleA");
    return kInstance;
}

HICON LoadIconA(HINSTANCE, LPCSTR name) {
    if (Fallible("LoadIconA", Hex((std::uintptr_t)name))) return nullptr;
    return reinterpret_cast<HICON>(0x10000 + (std::uintptr_t)name);
}

HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) {
    if (Fallible("LoadCursorA", Hex((std::uintptr_t)name))) return nullptr;
    return reinterpret_cast<HCURSOR>(0x10000 + (std::uintptr_t)name);
}

LONG ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags) {
    if (!mode) {
        if (Fallible("ChangeDisplaySettingsA", "restore")) return DISP_CHANGE_FAILED;
        display = kDesktop;
        return DISP_CHANGE_SUCCESSFUL;
    }
    modeRequests.push_back(*mode);
    char detail[64];
    snprintf(detail, sizeof detail, "%ux%ux%u, 0x%X", mode->dmPelsWidth, mode->dmPelsHeight,
             mode->dmBitsPerPel, flags);
    if (Fallible("ChangeDisplaySettingsA", detail)) return DISP_CHANGE_FAILED;
    const DWORD needed = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    if (mode->dmSize < 148 || (mode->dmFields & needed) != needed) return DISP_CHANGE_BADMODE;
    if (!(accepts640x480x16 && mode->dmPelsWidth == 640 && mode->dmPelsHeight == 480 &&
          mode->dmBitsPerPel == 16))
        return DISP_CHANGE_BADMODE;
    display = {mode->dmPelsWidth, mode->dmPelsHeight, mode->dmBitsPerPel};
    return DISP_CHANGE_SUCCESSFUL;
}

int ShowCursor(BOOL show) {
    Log("ShowCursor", std::to_string(show));
    return cursorCount += show ? 1 : -1;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
    if (Fallible("CreateWindowExA", className ? className : "")) return nullptr;
    layer::Window *w = layer::AddWindow(className, instance, style, exStyle);
    if (!w) return nullptr;
    const RECT insets = layer::FrameInsets(style, exStyle);
    const int clientWidth = width - insets.left - insets.right;
    const int clientHeight = height - insets.top - insets.bottom;
    created.push_back({exStyle, style, className, title ? title : "", x, y, width, height,
                       clientWidth, clientHeight, parent, menu, instance, param});
    windows[w->handle] = {NewHandle<HDC>(), false, 0, clientWidth, clientHeight};
    newest = w->handle;
    // As on Windows, the new window hears of its size before anyone could
    // have made a context current for it.
    layer::SendMessage(w->handle, WM_CREATE, 0, 0);
    layer::SendMessage(w->handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(clientWidth, clientHeight));
    return w->handle;
}

BOOL DestroyWindow(HWND window) {
    if (Fallible("DestroyWindow") || !windows.count(window)) return FALSE;
    layer::SendMessage(window, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0);
    layer::SendMessage(window, WM_DESTROY, 0, 0);
    windows.erase(window); // its own DC goes with it
    layer::RemoveWindow(window);
    return TRUE;
}

BOOL ShowWindow(HWND window, int command) {
    Log("ShowWindow", std::to_string(command));
    if (!windows.count(window)) return FALSE;
    layer::SendMessage(window, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
    return FALSE; // it was hidden before
}

BOOL SetForegroundWindow(HWND window) {
    Log("SetForegroundWindow");
    return windows.count(window) ? TRUE : FALSE;
}

HWND SetFocus(HWND window) {
    Log("SetFocus");
    return windows.count(window) ? window : nullptr;
}

HDC GetDC(HWND window) {
    if (Fallible("GetDC") || !windows.count(window)) return nullptr;
    windows[window].dcOut = true;
    return windows[window].dc;
}

int ReleaseDC(HWND window, HDC dc) {
    if (Fallible("ReleaseDC") || !windows.count(window) || windows[window].dc != dc) return 0;
    windows[window].dcOut = false;
    return 1;
}

int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR *pfd) {
    if (pfd) formatRequests.push_back(*pfd);
    if (Fallible("ChoosePixelFormat") || !WindowOfDC(dc) || !pfd) return 0;
    const DWORD needed = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if (pfd->nSize != sizeof *pfd || pfd->nVersion != 1 || (pfd->dwFlags & needed) != needed ||
        pfd->iPixelType != PFD_TYPE_RGBA)
        return 0;
    return 1; // the one format: double-buffered RGBA with a depth buffer
}

BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR *) {
    if (Fallible("SetPixelFormat", std::to_string(format))) return FALSE;
    Window *w = WindowOfDC(dc);
    if (!w || format != 1 || w->pixelFormat != 0) return FALSE; // set once per window
    w->pixelFormat = format;
    return TRUE;
}

BOOL SwapBuffers(HDC dc) {
    ++swaps;
    if (Fallible("SwapBuffers")) return FALSE;
    Window *w = WindowOfDC(dc);
    return w && w->pixelFormat ? TRUE : FALSE;
}

HGLRC wglCreateContext(HDC dc) {
    if (Fallible("wglCreateContext")) return nullptr;
    Window *w = WindowOfDC(dc);
    if (!w || !w->pixelFormat) return nullptr;
    void *egl = nullptr;
    if (reuseGLContexts && !spareContexts.empty()) {
        egl = spareContexts.back();
        spareContexts.pop_back();
    } else {
        egl = offscreen::CreateContext();
    }
    if (!egl) return nullptr;
    HGLRC context = NewHandle<HGLRC>();
    contexts[context] = {egl, dc};
    return context;
}

BOOL wglMakeCurrent(HDC dc, HGLRC context) {
    if (Fallible("wglMakeCurrent", context ? "context" : "none")) return FALSE;
    if (!context) {
        if (!current) return FALSE; // nothing to release
        offscreen::MakeCurrent(nullptr);
        current = nullptr;
        return TRUE;
    }
    Window *w = WindowOfDC(dc);
    if (!contexts.count(context) || !w || !w->pixelFormat) return FALSE;
    if (!offscreen::MakeCurrent(contexts[context].egl)) return FALSE;
    current = context;
    return TRUE;
}

BOOL wglDeleteContext(HGLRC context) {
    if (Fallible("wglDeleteContext") || !contexts.count(context)) return FALSE;
    if (current == context) {
        offscreen::MakeCurrent(nullptr);
        current = nullptr;
    }
    if (reuseGLContexts) spareContexts.push_back(contexts[context].egl);
    else offscreen::DestroyContext(contexts[context].egl);
    contexts.erase(context);
    return TRUE;
}

HGLRC wglGetCurrentContext() { return current; }

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (Fallible("MessageBoxA", text ? text : "")) return 0;
    const bool changed = display.width != kDesktop.width || display.height != kDesktop.height ||
                         display.bits != kDesktop.bits;
    boxes.push_back({owner, text ? text : "", caption ? caption : "", type, changed, LiveWindows(),
                     LiveDCs(), LiveContexts()});
    if (!answers.empty()) {
        int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
}
