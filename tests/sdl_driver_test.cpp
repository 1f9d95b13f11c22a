// Our Win32 layer on the SDL2 driver, in this process, on the private X server that ctest starts:
// the message sequences, real keys, window events, display modes, the cursor, the GL context, and
// the heap. gtest first: Xlib's macros (None, Bool) clash with its names.
#include "tests/sequences.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/extensions/XTest.h>
#include <malloc.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>

namespace {

Display *x = XOpenDisplay(nullptr);

Window XOf(const char *title) { // SDL numbers its windows from 1
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    for (Uint32 id = 1; id < 100; ++id)
        if (SDL_Window *w = SDL_GetWindowFromID(id);
            w && !strcmp(SDL_GetWindowTitle(w), title) && SDL_GetWindowWMInfo(w, &info))
            return info.info.x11.window;
    return 0;
}

// Takes and dispatches messages until `done` holds; whether it came.
bool PumpUntil(const std::function<bool()> &done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < end)
        DispatchAll();
    return done();
}
const Heard *Find(UINT message, WPARAM wParam = kAny) {
    for (const Heard &h : heard)
        if (h.message == message && (wParam == kAny || h.wParam == wParam)) return &h;
    return nullptr;
}

// Key events sent in one go: the server stamps them within a millisecond.
void Keys(std::vector<std::pair<const char *, bool>> events) {
    for (auto &e : events)
        XTestFakeKeyEvent(x, XKeysymToKeycode(x, XStringToKeysym(e.first)), e.second, 0);
    XSync(x, False);
}

long ResidentAnonKiB() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("RssAnon:", 0) == 0) return std::atol(line.c_str() + 8);
    return -1;
}

TEST(SdlDriver, SequencesKeysAndWindowEvents) {
    ASSERT_TRUE(x);
    HWND window = NULL;
    EXPECT_HEARS(kCreateSequence, window = OpenRecordedWindow("Recorded"));
    EXPECT_HEARS(kShowSequence, ShowWindow(window, SW_SHOW));
    const Window xw = XOf("Recorded");
    XWindowAttributes a{};
    ASSERT_TRUE(
        PumpUntil([&] { return XGetWindowAttributes(x, xw, &a) && a.map_state == IsViewable; }));

    // The keypad's 4 and 8 with NumLock off, then on (toggled by the key the table presses in
    // between).
    const struct {
        const char *key;
        WPARAM vk;
        UINT down = WM_KEYDOWN;
        LPARAM alt = 0;
    } keys[] = {{"a", 'A'},
                {"z", 'Z'},
                {"0", '0'},
                {"Return", VK_RETURN},
                {"Escape", VK_ESCAPE},
                {"space", VK_SPACE},
                {"Shift_L", VK_SHIFT},
                {"Control_L", VK_CONTROL},
                {"Left", VK_LEFT},
                {"Up", VK_UP},
                {"Right", VK_RIGHT},
                {"Down", VK_DOWN},
                {"F1", VK_F1},
                {"F2", VK_F2},
                {"F7", VK_F7},
                {"F12", VK_F12},
                {"F10", VK_F10, WM_SYSKEYDOWN},
                {"Alt_L", VK_MENU, WM_SYSKEYDOWN, 1 << 29},
                {"KP_Left", VK_LEFT},
                {"KP_Up", VK_UP},
                {"Num_Lock", 0x90},
                {"KP_Left", VK_NUMPAD0 + 4},
                {"KP_Up", VK_NUMPAD0 + 8}};
    for (const auto &k : keys) {
        SCOPED_TRACE(k.key);
        heard.clear();
        Keys({{k.key, true}, {k.key, false}});
        if (k.vk == 0x90) continue; // no code of ours, but the lock goes on
        ASSERT_TRUE(PumpUntil([&] { return Find(k.down + 1, k.vk); }));
        ASSERT_GE(heard.size(), 2u);
        EXPECT_EQ(heard[0], (Heard{k.down, k.vk, true}));
        EXPECT_EQ(heard[1], (Heard{k.down + 1, k.vk, true}));
        EXPECT_EQ(heard[0].lParam, 1 | k.alt);
        EXPECT_EQ(heard[1].lParam, LPARAM(0xC0000001)); // Alt itself is up by then
    }
    Keys({{"Num_Lock", true}, {"Num_Lock", false}});
    // Alt let go and pressed again around F4 within a millisecond: SDL takes it for auto-repeat and
    // Alt as held, the server says otherwise. AltGr is no Alt either; the right Alt is.
    for (const char *alt : {"Alt_L", "ISO_Level3_Shift"}) {
        heard.clear();
        Keys({{alt, true}});
        PumpUntil([] { return !heard.empty(); });
        Keys({{alt, false}, {"F4", true}, {alt, true}, {"F4", false}, {alt, false}});
        ASSERT_TRUE(PumpUntil([] { return Find(WM_KEYUP, VK_F4) || Find(WM_SYSKEYUP, VK_F4); }));
        EXPECT_TRUE(Find(WM_KEYDOWN, VK_F4) && !Find(WM_CLOSE, kAny)) << alt;
    }
    heard.clear();
    Keys({{"Alt_R", true}, {"F4", true}, {"F4", false}, {"Alt_R", false}});
    EXPECT_TRUE(PumpUntil([] { return Find(WM_SYSKEYDOWN, VK_F4) && Find(WM_CLOSE, 0); }));

    EXPECT_HEARS(kMinimiseSequence,
                 (XUnmapWindow(x, xw), XSync(x, False), PumpUntil([] { return Find(WM_SIZE); })));
    EXPECT_HEARS(kRestoreSequence,
                 (XMapRaised(x, xw), XSync(x, False), PumpUntil([] { return Find(WM_SIZE); })));
    EXPECT_HEARS(
        (std::vector<Heard>{{WM_SIZE, SIZE_RESTORED, false, MAKELPARAM(500, 200)}}),
        (XResizeWindow(x, xw, 500, 200), XSync(x, False), PumpUntil([] { return Find(WM_SIZE); })));
    EXPECT_EQ(heard.at(0).lParam, MAKELPARAM(500, 200));
    XEvent e{};
    e.xclient = {ClientMessage, 0, True, x, xw, XInternAtom(x, "WM_PROTOCOLS", False), 32, {}};
    e.xclient.data.l[0] = (long)XInternAtom(x, "WM_DELETE_WINDOW", False);
    EXPECT_HEARS(kCloseBoxSequence, (XSendEvent(x, xw, False, NoEventMask, &e), XSync(x, False),
                                     PumpUntil([] { return Find(WM_CLOSE); })));
    EXPECT_HEARS(kDestroySequence, DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassA("Recorded", NULL));
}

TEST(SdlDriver, FullscreenCursorGLAndTheHeap) {
    DEVMODEA mode{};
    mode.dmSize = 148, mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = 640, mode.dmPelsHeight = 480;
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
    mode.dmPelsWidth = 1024, mode.dmPelsHeight = 768;
    ASSERT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    HWND window = OpenRecordedWindow("Covering", WS_POPUP);
    ShowWindow(window, SW_SHOW);
    XWindowAttributes a{};
    EXPECT_TRUE(PumpUntil(
        [&] { return XGetWindowAttributes(x, XOf("Covering"), &a) && a.map_state == IsViewable; }));
    EXPECT_EQ(a.width, 1024) << "a popup made in a changed mode covers the display";
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = 40, pfd.nVersion = 1, pfd.cColorBits = pfd.cDepthBits = 16;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    const HDC dc = GetDC(window);
    ASSERT_TRUE(SetPixelFormat(dc, ChoosePixelFormat(dc, &pfd), &pfd));
    const HGLRC rc = wglCreateContext(dc);
    ASSERT_TRUE(wglMakeCurrent(dc, rc));
    GLint depth = 0, doubled = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth), glGetIntegerv(GL_DOUBLEBUFFER, &doubled);
    EXPECT_TRUE(depth >= 16 && doubled && SDL_GL_GetSwapInterval() == 0);
    EXPECT_TRUE(SwapBuffers(dc));
    EXPECT_EQ(ChangeDisplaySettingsA(NULL, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(SDL_GetWindowFlags(SDL_GL_GetCurrentWindow()) & SDL_WINDOW_FULLSCREEN, 0u);
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);

    // A freed buffer the size of a window's must not send the next one to the heap (glibc raises
    // its threshold after the first), and taking a window down gives the heap's free pages back.
    for (int i = 0; i < 3; ++i) {
        const size_t mapped = mallinfo2().hblkhd;
        char *volatile block = static_cast<char *>(malloc(640 * 480 * 4));
        block[0] = 1;
        EXPECT_GT(mallinfo2().hblkhd, mapped) << "from the heap";
        free(block);
    }
    std::vector<void *> blocks(4096);
    for (void *&b : blocks)
        memset(b = malloc(1024), 1, 1024);
    void *pin = malloc(1024); // keeps the heap's end
    for (void *b : blocks)
        free(b);
    const long before = ResidentAnonKiB();
    EXPECT_TRUE(wglDeleteContext(rc) && DestroyWindow(window));
    EXPECT_LT(ResidentAnonKiB(), before - 2048);
    free(pin);
    EXPECT_TRUE(UnregisterClassA("Recorded", NULL));
}

} // namespace
