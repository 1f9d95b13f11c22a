// A recording fake of the system side of our Win32 layer, for tests (the
// model is GLFW's null platform). It keeps state like Windows does
// (windows, DCs, pixel formats, contexts, display mode, cursor count),
// makes WGL real with headless Mesa contexts, answers message boxes from a
// script, feeds scripted input to the shared queue, and can make any call
// fail once or from then on.
#pragma once

#include "platform/layer.h"

#include <functional>
#include <string>
#include <vector>

namespace fake {

struct MessageBox {
    HWND owner;
    std::string text, caption;
    UINT type;
    // The system as the user saw it when the box came up.
    bool displayChanged;
    int liveWindows, liveDCs, liveContexts;
};

struct DisplayMode {
    DWORD width, height, bits;
};

struct CreatedWindow {
    DWORD exStyle, style;
    std::string className, title;
    int x, y, width, height;           // outer rectangle
    int clientWidth, clientHeight;
    HWND parent;
    HMENU menu;
    HINSTANCE instance;
    LPVOID param;
};

// Everything the fake has seen and holds.
extern std::vector<std::string> calls;      // "Name(detail)", in order
extern std::vector<UINT> defaults;          // messages that reached DefWindowProcA
extern std::vector<std::string> failed;     // the calls made to fail, as logged
extern std::vector<MessageBox> boxes;
extern std::vector<CreatedWindow> created;
extern std::vector<DEVMODEA> modeRequests;  // as passed to ChangeDisplaySettingsA
extern std::vector<PIXELFORMATDESCRIPTOR> formatRequests;
extern DisplayMode display;                 // what the screen runs now
extern const DisplayMode kDesktop;
extern bool accepts640x480x16;              // whether the display can switch to it
extern int cursorCount;                     // cursor shown while >= 0
extern int swaps;
extern int fallibleCalls;                   // calls that could have failed so far
extern bool scriptRanOut;
extern bool closeWhenScriptRunsOut;         // true unless a driver plays input itself
// Hands out deleted GL contexts again instead of new ones, whose creation
// costs milliseconds. Their GL state is not fresh: only for drivers that
// do not look at it (the fuzzer). Off after Reset().
extern bool reuseGLContexts;

// A fresh system: no windows, classes, contexts or messages, the desktop
// mode, a visible cursor, no faults, no script, default answers.
void Reset();

// Live resources, for leak checks.
int LiveWindows();
int LiveDCs();
int LiveContexts();

// Names only, from the call log, starting at index `from`.
std::vector<std::string> CallNames(size_t from = 0);

// Message boxes take their answers from this list, in order; once it is
// empty OK boxes answer IDOK and Yes/No boxes IDNO.
void Answer(std::vector<int> answers);

// Faults: the next call of `name` after `skip` more fails (or every call
// from then on); or the k-th fallible call from now (1-based).
void Fail(const std::string &name, bool always = false, int skip = 0);
void FailNth(int k, bool always = false);

// The input script. PeekMessageA finds the queue empty, and the fake then
// plays the script up to the next Idle(): messages go to the newest live
// window, actions run. With nothing played the pass is idle. When the
// script has run out the fake asks the window to close (scriptRanOut).
void Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
void Idle(int passes = 1);
void Then(std::function<void()> action);

// Key presses as Windows delivers them, each held over one idle pass.
void Press(WPARAM key);
void KeyDown(WPARAM key);
void KeyUp(WPARAM key);
void Minimise();
void Restore();
void Close(); // the close box: WM_SYSCOMMAND SC_CLOSE

} // namespace fake
