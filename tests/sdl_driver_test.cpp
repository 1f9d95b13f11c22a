// Our Win32 layer on the SDL2 driver, in this process, on the private X server that ctest starts:
// the message sequences, real keys and window events.
// gtest first: Xlib's macros (None, Bool) clash with its names.
#include "tests/sequences.h"
#include "win32/layer.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/extensions/XTest.h>

#include <sys/socket.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <fstream>

namespace {

Display *display = XOpenDisplay(nullptr);

// What SDL knows of its window with that title on X11: the window, its connection.
SDL_SysWMinfo X11Of(const char *title) { // SDL numbers its windows from 1
    SDL_SysWMinfo info{};
    SDL_VERSION(&info.version);
    for (Uint32 id = 1; id < 100; ++id) {
        SDL_Window *w = SDL_GetWindowFromID(id);
        if (w && !strcmp(SDL_GetWindowTitle(w), title) && SDL_GetWindowWMInfo(w, &info)) break;
    }
    return info;
}

Window XOf(const char *title) {
    return X11Of(title).info.x11.window;
}

// Takes and dispatches messages until `done` holds; whether it came.
bool PumpUntil(const std::function<bool()> &done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < end)
        DispatchAll();
    return done();
}

bool WasHeard(UINT message, WPARAM wParam = kAny) {
    for (const Heard &h : heard)
        if (h.message == message && (wParam == kAny || h.wParam == wParam)) return true;
    return false;
}

bool Shows(Window window) {
    XWindowAttributes a{};
    return XGetWindowAttributes(display, window, &a) && a.map_state == IsViewable;
}

// Key strokes sent in one go: the server stamps them within a millisecond.
enum Stroke { kUp, kDown };
struct KeyEvent {
    const char *keysym;
    Stroke stroke;
};
void Keys(std::vector<KeyEvent> events) {
    for (const KeyEvent &e : events) {
        const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(e.keysym));
        XTestFakeKeyEvent(display, code, e.stroke == kDown, 0);
    }
    XSync(display, False);
}

// Each test on a window of its own, shown: it hears the sequences of its creation, its showing and
// its destruction.
class SdlWindow : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(display);
        ExpectHears(kCreateSequence, "create", [&] { window = OpenRecordedWindow("Recorded"); });
        ExpectHears(kShowSequence, "show", [&] { ShowWindow(window, SW_SHOW); });
        xw = XOf("Recorded");
        ASSERT_TRUE(PumpUntil([&] { return Shows(xw); })) << "the window never showed";
    }
    void TearDown() override {
        ExpectHears(kDestroySequence, "destroyed", [&] { DestroyWindow(window); });
        EXPECT_TRUE(UnregisterClassA("Recorded", NULL));
    }
    HWND window = NULL;
    Window xw = 0;
};

// Keys pressed and let go, and the messages they must give (the end-to-end tests press the rest of
// the program's keys); the system keys. The keypad's 4 and 8 come twice: with NumLock off, then
// on (the lock is pressed in between, and again at the end).
struct KeyRow {
    const char *keysym;
    WPARAM vk;
    bool system = false; // WM_SYSKEYDOWN and WM_SYSKEYUP
    bool alt = false;    // Alt held (bit 29) at the key-down
};
const KeyRow kKeyRows[] = {
    {.keysym = "Left", .vk = VK_LEFT},
    {.keysym = "Down", .vk = VK_DOWN},
    {.keysym = "F7", .vk = VK_F7},
    {.keysym = "F10", .vk = VK_F10, .system = true},
    {.keysym = "Alt_L", .vk = VK_MENU, .system = true, .alt = true},
    {.keysym = "KP_Left", .vk = VK_LEFT},
    {.keysym = "KP_Up", .vk = VK_UP},
    {.keysym = "KP_Right", .vk = VK_RIGHT},
    {.keysym = "KP_Down", .vk = VK_DOWN},
    {.keysym = "Num_Lock", .vk = 0}, // no code of ours, but the lock goes on
    {.keysym = "KP_Left", .vk = VK_NUMPAD0 + 4},
    {.keysym = "KP_Up", .vk = VK_NUMPAD0 + 8},
};
const LPARAM kRepeatOne = 1, kAltHeld = LPARAM(1) << 29;
const LPARAM kKeyUp = kRepeatOne | LPARAM(1) << 30 | LPARAM(1) << 31;

TEST_F(SdlWindow, Keys) {
    for (const KeyRow &k : kKeyRows) {
        SCOPED_TRACE(k.keysym);
        heard.clear();
        Keys({{k.keysym, kDown}, {k.keysym, kUp}});
        if (k.vk == 0) continue;
        const UINT down = k.system ? WM_SYSKEYDOWN : WM_KEYDOWN;
        const std::vector<Heard> want = {
            {.message = down, .wParam = k.vk, .posted = true},
            {.message = down + 1, .wParam = k.vk, .posted = true},
        };
        PumpUntil([&] { return heard.size() >= want.size(); });
        EXPECT_EQ(heard, want);
        if (heard.size() != want.size()) continue;
        EXPECT_EQ(heard[0].lParam, kRepeatOne | (k.alt ? kAltHeld : 0));
        EXPECT_EQ(heard[1].lParam, kKeyUp) << "Alt itself is up by then";
    }
    Keys({{"Num_Lock", kDown}, {"Num_Lock", kUp}});
    // Alt let go and pressed again around F4 within a millisecond: SDL takes it for auto-repeat
    // and Alt as held, the server says otherwise. AltGr is no Alt either; the right Alt is.
    for (const char *alt : {"Alt_L", "ISO_Level3_Shift"}) {
        SCOPED_TRACE(alt);
        heard.clear();
        Keys({{alt, kDown}});
        PumpUntil([] { return !heard.empty(); });
        Keys({{alt, kUp}, {"F4", kDown}, {alt, kDown}, {"F4", kUp}, {alt, kUp}});
        PumpUntil([] { return WasHeard(WM_KEYUP, VK_F4) || WasHeard(WM_SYSKEYUP, VK_F4); });
        EXPECT_TRUE(WasHeard(WM_KEYDOWN, VK_F4)) << testing::PrintToString(heard);
        EXPECT_FALSE(WasHeard(WM_CLOSE));
    }
    heard.clear(); // Ctrl+Alt is AltGr on Windows: the key is no system key
    Keys({{"Control_L", kDown}, {"Alt_L", kDown}, {"Left", kDown}, {"Left", kUp}});
    Keys({{"Alt_L", kUp}, {"Control_L", kUp}});
    EXPECT_TRUE(PumpUntil([] { return WasHeard(WM_KEYDOWN, VK_LEFT); })) << "Ctrl+Alt+Left";
    heard.clear();
    Keys({{"Alt_R", kDown}, {"F4", kDown}, {"F4", kUp}, {"Alt_R", kUp}});
    PumpUntil([] { return WasHeard(WM_CLOSE); });
    EXPECT_TRUE(WasHeard(WM_SYSKEYDOWN, VK_F4)) << "Alt+F4";
    EXPECT_TRUE(WasHeard(WM_CLOSE)) << "Alt+F4";
}

// Minimised, restored and resized, as the window manager does it; the screen saver held off only
// while the window has the focus.
TEST_F(SdlWindow, MinimisedRestoredAndResized) {
    DispatchAll(); // the layer asks the focused window about the screen saver
    EXPECT_FALSE(SDL_IsScreenSaverEnabled()) << "held off while the window has the focus";
    const auto untilResized = [] { return WasHeard(WM_SIZE); };
    ExpectHears(kMinimiseSequence, "unmapped", [&] {
        XUnmapWindow(display, xw);
        XSync(display, False);
        PumpUntil(untilResized);
    });
    EXPECT_TRUE(SDL_IsScreenSaverEnabled()) << "let go with the focus";
    ExpectHears(kRestoreSequence, "mapped again", [&] {
        XMapRaised(display, xw);
        XSync(display, False);
        PumpUntil(untilResized);
    });
    ExpectHears({{.message = WM_SIZE, .wParam = SIZE_RESTORED}}, "resized", [&] {
        XResizeWindow(display, xw, 500, 200);
        XSync(display, False);
        PumpUntil(untilResized);
    });
    EXPECT_EQ(heard.at(0).lParam, MAKELPARAM(500, 200));
}

TEST_F(SdlWindow, TheCloseBoxAsksToClose) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = xw;
    e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    ExpectHears(kCloseBoxSequence, "the close box", [&] {
        XSendEvent(display, xw, False, NoEventMask, &e);
        XSync(display, False);
        PumpUntil([] { return WasHeard(WM_CLOSE); });
    });
}

// The box's own process (the guard forks it from this program) meets the toolkit here and presses
// the button labelled Yes, or OK, as a person reading the labels would.
extern "C" int __wrap_SDL_ShowMessageBox(const SDL_MessageBoxData *box, int *pressed) {
    for (int i = 0; i < box->numbuttons; ++i) {
        const bool yes =
            !strcmp(box->buttons[i].text, "Yes") || !strcmp(box->buttons[i].text, "OK");
        if (yes) *pressed = box->buttons[i].buttonid;
    }
    return 0;
}

TEST(SdlDriver, TheButtonLabelledYesAnswersYes) {
    ASSERT_TRUE(layer::Start());
    EXPECT_EQ(MessageBoxA(NULL, "Text", "Caption", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(MessageBoxA(NULL, "Text", "Caption", MB_OK | MB_ICONSTOP), IDOK);
}

TEST(SdlDriver, ShowCursorHidesAndShowsIt) {
    ASSERT_TRUE(layer::Start());
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

// The server ends our connection as we write to it (the window killed, the server gone): the write
// fails before any read has seen the end. The program still ends with the line that says so, and
// status 1, not silently by SIGPIPE. Here the connection becomes a socket that takes no more
// writes, in a process of its own (a fresh one: a fork's connection would be this one's).
TEST(SdlDriver, AConnectionThatEndsUnderAWriteEndsTheProgramWithTheLine) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            OpenRecordedWindow("Lost");
            Display *x = X11Of("Lost").info.x11.display;
            int ended[2]; // its far end kept open: nothing to read, so the write comes first
            socketpair(AF_UNIX, SOCK_STREAM, 0, ended);
            dup2(ended[0], ConnectionNumber(x));
            shutdown(ConnectionNumber(x), SHUT_WR);
            XNoOp(x);
            XFlush(x);
            std::exit(0);
        },
        testing::ExitedWithCode(1), "^sdl_driver_test: lost the connection to the display\n$");
}

// Last, as it ends the guard: with its guard gone a box cannot be shown: the line on stderr says
// so, naming the call.
TEST(SdlDriver, ABoxWithItsGuardGoneSaysWhy) {
    ASSERT_TRUE(layer::Start());
    pid_t guard = 0; // this process's one child
    std::ifstream("/proc/self/task/" + std::to_string(getpid()) + "/children") >> guard;
    ASSERT_GT(guard, 0);
    kill(guard, SIGKILL);
    waitpid(guard, nullptr, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(NULL, "Text", "Caption", MB_OK), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Caption: Text\nsdl_driver_test: MessageBoxA: the guard process has ended\n");
}

} // namespace
