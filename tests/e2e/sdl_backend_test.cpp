// The SDL2 backend in this process, on a private Xvfb: the messages a
// window procedure gets for real key presses and window events, the
// screen saver, the cursor count, display modes, pixel formats and GL
// contexts. ctest runs each test in a process of its own, with its own
// server.
// gtest first: Xlib's macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include "platform/sdl_backend.h"
#include "tests/e2e/sdl_private_server.h"

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool swallowScreenSaver = true;

// Records everything; swallows the screen saver's requests when asked to,
// and passes the rest on like the program's procedure does.
LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({message, wParam, lParam});
    if (message == WM_SYSCOMMAND && (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) &&
        swallowScreenSaver)
        return 0;
    if (message == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const char kClass[] = "BackendTest";
const char kTitle[] = "Backend under test";

const PIXELFORMATDESCRIPTOR kProgramFormat = {
    40,
    1,
    PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,
    PFD_TYPE_RGBA,
    16,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    16,
    0,
    0,
    PFD_MAIN_PLANE,
    0,
    0,
    0,
    0,
};

bool Has(UINT message, WPARAM wParam) { return Find(message, wParam) != nullptr; }

int Count(UINT message, WPARAM wParam) {
    int n = 0;
    for (const Seen &s : seen)
        n += s.message == message && s.wParam == wParam;
    return n;
}

const Seen *LastOf(UINT message) {
    for (auto it = seen.rbegin(); it != seen.rend(); ++it)
        if (it->message == message) return &*it;
    return nullptr;
}

class Backend : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server && server->Ready());
        seen.clear();
        swallowScreenSaver = true;
        ASSERT_NE(RegisterTestClass(kClass, RecordingProc), 0);
    }
    void TearDown() override {
        Close();
        EXPECT_TRUE(UnregisterClassA(kClass, GetModuleHandleA(NULL)));
    }

    // A window as the program makes it, with a current context, shown and
    // focused; client area 640x480 when windowed.
    void Open(DWORD style = WS_OVERLAPPEDWINDOW, DWORD exStyle = WS_EX_APPWINDOW) {
        RECT r{0, 0, 640, 480};
        AdjustWindowRectEx(&r, style, FALSE, exStyle);
        window = CreateWindowExA(exStyle, kClass, kTitle, style, 0, 0, r.right - r.left,
                                 r.bottom - r.top, NULL, NULL, GetModuleHandleA(NULL), NULL);
        ASSERT_TRUE(window);
        ASSERT_TRUE(dc = GetDC(window));
        const int format = ChoosePixelFormat(dc, &kProgramFormat);
        ASSERT_NE(format, 0);
        ASSERT_TRUE(SetPixelFormat(dc, format, &kProgramFormat));
        ASSERT_TRUE(context = wglCreateContext(dc));
        ASSERT_TRUE(wglMakeCurrent(dc, context));
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
        SetFocus(window);
        ASSERT_TRUE(x = desk.WaitForWindow(kTitle));
    }

    void Close() {
        if (context) {
            EXPECT_TRUE(wglMakeCurrent(NULL, NULL));
            EXPECT_TRUE(wglDeleteContext(context));
        }
        if (dc) {
            EXPECT_TRUE(ReleaseDC(window, dc));
        }
        if (window) {
            EXPECT_TRUE(DestroyWindow(window));
        }
        context = NULL, dc = NULL, window = NULL, x = 0;
    }

    e2e::Desk desk{server ? server->X() : nullptr};
    HWND window = NULL;
    HDC dc = NULL;
    HGLRC context = NULL;
    Window x = 0;
};

using Windows = Backend;
using Keys = Backend;
using ScreenSaver = Backend;
using Modes = Backend;
using GL = Backend;

TEST_F(Windows, AWindowHasTheClientSizeAskedForAndHearsItsSizeAndActivationAtOnce) {
    RECT r{0, 0, 640, 480};
    AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
    window = CreateWindowExA(0, kClass, kTitle, WS_OVERLAPPEDWINDOW, 0, 0, r.right - r.left,
                             r.bottom - r.top, NULL, NULL, GetModuleHandleA(NULL), NULL);
    ASSERT_TRUE(window);
    // Sent during creation, as Windows does: no message loop needed.
    ASSERT_TRUE(LastOf(WM_SIZE));
    EXPECT_EQ(LastOf(WM_SIZE)->lParam, MAKELPARAM(640, 480));
    EXPECT_FALSE(desk.WaitForWindow(kTitle, 0, 100)) << "shown before ShowWindow";

    seen.clear();
    EXPECT_FALSE(ShowWindow(window, SW_SHOW)); // was hidden
    ASSERT_TRUE(LastOf(WM_ACTIVATE));
    EXPECT_EQ(HIWORD(LastOf(WM_ACTIVATE)->wParam), 0);
    ASSERT_TRUE(x = desk.WaitForWindow(kTitle));
    EXPECT_EQ(desk.Attributes(x).width, 640);
    EXPECT_EQ(desk.Attributes(x).height, 480);
    EXPECT_FALSE(desk.AsksForNoDecorations(x));
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, NULL, NULL,
                              NULL, NULL),
              (HWND)NULL);
}

TEST_F(Windows, CloseMinimiseRestoreAndResizeBecomeTheirMessages) {
    Open();
    desk.Minimise(x); // what a window manager does to minimise
    ASSERT_TRUE(PumpUntil([] { return LastOf(WM_SIZE) && LastOf(WM_SIZE)->lParam == 0; }));
    EXPECT_EQ(LastOf(WM_SIZE)->wParam, (WPARAM)SIZE_MINIMIZED);
    EXPECT_EQ(HIWORD(LastOf(WM_ACTIVATE)->wParam), 1) << "minimised";

    desk.Restore(x);
    ASSERT_TRUE(PumpUntil([] { return LastOf(WM_SIZE)->lParam == MAKELPARAM(640, 480); }));
    EXPECT_EQ(HIWORD(LastOf(WM_ACTIVATE)->wParam), 0) << "not minimised";

    XResizeWindow(server->X(), x, 800, 600);
    XSync(server->X(), False);
    ASSERT_TRUE(PumpUntil([] { return LastOf(WM_SIZE)->lParam == MAKELPARAM(800, 600); }));

    desk.Close(x); // the close box
    ASSERT_TRUE(PumpUntil([] { return Has(WM_CLOSE, 0); }));
    EXPECT_TRUE(Has(WM_SYSCOMMAND, SC_CLOSE));
}

TEST_F(Keys, RealKeysArriveWithTheirVirtualKeyCodes) {
    Open();
    const struct {
        const char *key;
        WPARAM vk;
    } keys[] = {
        {"a", 'A'},
        {"z", 'Z'},
        {"0", '0'},
        {"9", '9'},
        {"Return", VK_RETURN},
        {"space", VK_SPACE},
        {"Tab", VK_TAB},
        {"BackSpace", VK_BACK},
        {"Escape", VK_ESCAPE},
        {"Shift_L", VK_SHIFT},
        {"Control_L", VK_CONTROL},
        {"Left", VK_LEFT},
        {"Up", VK_UP},
        {"Right", VK_RIGHT},
        {"Down", VK_DOWN},
        {"F1", VK_F1},
        {"F2", VK_F2},
        {"F3", VK_F3},
        {"F4", VK_F4},
        {"F5", VK_F5},
        {"F6", VK_F6},
        {"F7", VK_F7},
        {"F8", VK_F8},
        {"F9", VK_F9},
        {"F11", VK_F11},
        {"F12", VK_F12},
    };
    for (const auto &k : keys) {
        SCOPED_TRACE(k.key);
        seen.clear();
        desk.Press(k.key, nullptr, 0);
        ASSERT_TRUE(PumpUntil([&] { return Has(WM_KEYUP, k.vk); }));
        const Seen *down = Find(WM_KEYDOWN, k.vk), *up = Find(WM_KEYUP, k.vk);
        ASSERT_TRUE(down);
        EXPECT_LT(down, up);
        EXPECT_EQ(down->lParam & 0xFFFF, 1) << "repeat count";
        EXPECT_EQ(down->lParam >> 29, 0) << "no Alt, not down before, going down";
        EXPECT_EQ(up->lParam >> 29, 6) << "no Alt, down before, going up";
    }
}

TEST_F(Keys, AHeldKeyRepeatsItsKeyDown) {
    Open();
    desk.AutoRepeat(true);
    desk.KeyDown("F2");
    const bool repeated = PumpUntil([] { return Count(WM_KEYDOWN, VK_F2) >= 3; });
    desk.KeyUp("F2");
    ASSERT_TRUE(repeated);
    EXPECT_EQ(Find(WM_KEYDOWN, VK_F2)->lParam >> 30, 0);
    EXPECT_EQ(LastOf(WM_KEYDOWN)->lParam >> 30, 1) << "a repeat says the key was down";
}

TEST_F(Keys, F10AndKeysWithAltAreSystemKeysAndAltF4Closes) {
    Open();
    desk.Press("F10", nullptr, 0);
    ASSERT_TRUE(PumpUntil([] { return Has(WM_SYSKEYUP, VK_F10); }));
    EXPECT_FALSE(Has(WM_KEYDOWN, VK_F10));
    EXPECT_EQ(Find(WM_SYSKEYDOWN, VK_F10)->lParam & (1 << 29), 0) << "no Alt";

    seen.clear();
    desk.Press("F4", "Alt_L", 0);
    ASSERT_TRUE(PumpUntil([] { return Has(WM_CLOSE, 0); }));
    ASSERT_TRUE(Has(WM_SYSKEYDOWN, VK_MENU));
    EXPECT_NE(Find(WM_SYSKEYDOWN, VK_F4)->lParam & (1 << 29), 0) << "Alt held";
    EXPECT_FALSE(Has(WM_KEYDOWN, VK_F4));
    EXPECT_TRUE(Has(WM_SYSCOMMAND, SC_CLOSE)); // from DefWindowProcA
}

TEST_F(ScreenSaver, StaysOffOnlyWhileTheFocusedWindowSwallowsTheRequests) {
    Open();
    ASSERT_TRUE(PumpUntil([] { return !SDL_IsScreenSaverEnabled(); }));
    EXPECT_TRUE(Has(WM_SYSCOMMAND, SC_SCREENSAVE));
    EXPECT_TRUE(Has(WM_SYSCOMMAND, SC_MONITORPOWER));
    Close();
    EXPECT_TRUE(SDL_IsScreenSaverEnabled()) << "no window in front any more";

    swallowScreenSaver = false; // this procedure lets the system have its way
    seen.clear();
    Open();
    ASSERT_TRUE(PumpUntil([] { return Has(WM_SYSCOMMAND, SC_SCREENSAVE); }));
    EXPECT_TRUE(SDL_IsScreenSaverEnabled());
}

TEST_F(ScreenSaver, TheCursorCountsLikeWindows) {
    Open();
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(ShowCursor(FALSE), -2);
    EXPECT_EQ(ShowCursor(TRUE), -1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE) << "hidden twice, shown once";
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

DEVMODEA Mode(DWORD width, DWORD height) {
    DEVMODEA mode{};
    mode.dmSize = 148;
    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    mode.dmBitsPerPel = 16;
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    return mode;
}

TEST_F(Modes, OnlyAModeTheDisplayRunsIsAcceptedAndAPopupThenCoversIt) {
    DEVMODEA small = Mode(640, 480), own = Mode(1024, 768);
    EXPECT_EQ(ChangeDisplaySettingsA(&small, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
    ASSERT_EQ(ChangeDisplaySettingsA(&own, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);

    Open(WS_POPUP);
    EXPECT_EQ(LastOf(WM_SIZE)->lParam, MAKELPARAM(1024, 768));
    EXPECT_EQ(desk.Attributes(x).width, 1024);
    EXPECT_TRUE(desk.AsksForNoDecorations(x));
    EXPECT_TRUE(desk.AsksForFullscreen(x));
    EXPECT_EQ(ChangeDisplaySettingsA(NULL, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(desk.AsksForFullscreen(x)) << "restoring the mode leaves fullscreen";
}

TEST_F(GL, TheProgramsPixelFormatGivesAFixedFunctionContextThatPresents) {
    Open();
    GLint depth = 0;
    GLboolean doubled = GL_FALSE;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetBooleanv(GL_DOUBLEBUFFER, &doubled);
    EXPECT_GE(depth, 16);
    EXPECT_TRUE(doubled);
    EXPECT_EQ(SDL_GL_GetSwapInterval(), 0);
    EXPECT_EQ(wglGetCurrentContext(), context);

    // Immediate mode works: this is no core-profile context.
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(0, 1, 0);
    glBegin(GL_QUADS);
    glVertex2f(-1, -1), glVertex2f(0, -1), glVertex2f(0, 1), glVertex2f(-1, 1);
    glEnd();
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_TRUE(SwapBuffers(dc));
    bool met = false;
    desk.WaitForImage(
        x,
        [](const e2e::Image &i) {
            return i.width == 640 && i.At(100, 240)[1] == 255 && i.At(540, 240)[0] == 255;
        },
        e2e::kTimeoutMs, &met);
    EXPECT_TRUE(met) << "left half green, right half red";
}

TEST_F(GL, FormatsNothingOffersAreRefusedAndAWindowKeepsItsFormat) {
    Open();
    PIXELFORMATDESCRIPTOR indexed = kProgramFormat, bitmap = kProgramFormat;
    indexed.iPixelType = 1;              // colour index
    bitmap.dwFlags = PFD_SUPPORT_OPENGL; // not to a window
    EXPECT_EQ(ChoosePixelFormat(dc, &indexed), 0);
    EXPECT_EQ(ChoosePixelFormat(dc, &bitmap), 0);

    PIXELFORMATDESCRIPTOR deep = kProgramFormat;
    deep.cDepthBits = 24;
    const int other = ChoosePixelFormat(dc, &deep);
    ASSERT_NE(other, 0);
    EXPECT_NE(other, ChoosePixelFormat(dc, &kProgramFormat));
    EXPECT_FALSE(SetPixelFormat(dc, other, &deep)) << "a window's format is set once";
    EXPECT_FALSE(SetPixelFormat(dc, 99, &deep));
}

TEST_F(GL, ContextsAreMadeWithoutBecomingCurrentAndDeletedOnce) {
    Open();
    ASSERT_TRUE(wglMakeCurrent(NULL, NULL));
    EXPECT_EQ(wglGetCurrentContext(), (HGLRC)NULL);
    const HGLRC second = wglCreateContext(dc);
    ASSERT_TRUE(second);
    EXPECT_EQ(wglGetCurrentContext(), (HGLRC)NULL) << "creating makes nothing current";
    EXPECT_TRUE(wglMakeCurrent(dc, second));
    EXPECT_EQ(wglGetCurrentContext(), second);
    EXPECT_TRUE(wglDeleteContext(second));
    EXPECT_FALSE(wglDeleteContext(second));
    EXPECT_FALSE(wglMakeCurrent(dc, second));
}

// Mappings of the GL and driver libraries in this process.
int LibraryMappings() {
    std::ifstream maps("/proc/self/maps");
    int n = 0;
    for (std::string line; std::getline(maps, line);)
        n += line.find("libGL") != std::string::npos || line.find("_dri.so") != std::string::npos;
    return n;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

TEST_F(GL, WindowAndContextCyclesLoadTheLibrariesOnceAndDoNotGrow) {
    for (int i = 0; i < 5; ++i)
        Open(), Close();
    // No window is left, and the GL library is still loaded for the next.
    EXPECT_TRUE(SDL_GL_GetProcAddress("glClear")) << SDL_GetError();
    const int mapped = LibraryMappings();
    const long resident = ResidentKiB();
    ASSERT_GT(mapped, 0);
    for (int i = 0; i < 20; ++i)
        Open(), Close();
    EXPECT_EQ(LibraryMappings(), mapped);
    // A context left behind each time costs some 3.5 MiB; the allocator's
    // own ups and downs stay well below 16 MiB in all.
    EXPECT_LT(ResidentKiB() - resident, 16384) << "KiB more after 20 cycles";
}

} // namespace
