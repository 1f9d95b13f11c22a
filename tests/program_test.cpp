// The program's own code on our Win32 layer and the fake driver: the window
// procedure, creation and teardown, the main loop, the exits, and the
// messages the layer sends.
#include "tests/program.h"
#include "tests/sequences.h"

#include <algorithm>

namespace {

GLint Viewport(int i) {
    GLint v[4] = {};
    glGetIntegerv(GL_VIEWPORT, v);
    return v[i];
}

// A frame leaves jaw two's colour current; a mark shows whether one was
// drawn since.
void Mark() { glColor3f(0, 0, 0); }
bool DrewSinceMark() {
    GLfloat c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    return c[0] == 0.9f;
}

TEST(WindowProcedure, EachMessageAsATable) {
    ResetProgram();
    ASSERT_TRUE(CreateGLWindow("Orvanel", 640, 480, 16, FALSE));
    fake::scriptRanOut = true; // nothing closes the window behind the test's back
    const LPARAM alt = 1 | 1 << 29;
    struct Row {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        int key, keyValue, active, quit, width, height, defaults;
    } rows[] = {
        {WM_KEYDOWN, VK_F2, 1, VK_F2, 1, 1, -1, 640, 480, 0},
        {WM_KEYDOWN, VK_F2, 1, VK_F2, 1, 1, -1, 640, 480, 0}, // auto-repeat
        {WM_KEYUP, VK_F2, 1, VK_F2, 0, 1, -1, 640, 480, 0},
        {WM_KEYDOWN, 0xFF, 1, 0xFF, 1, 1, -1, 640, 480, 0},
        {WM_KEYDOWN, 0x100, 1, 0, 0, 1, -1, 640, 480, 0}, // outside the table
        {WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0, 0, 0, 0, -1, 640, 480, 0},
        {WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1), 0, 0, 0, 0, -1, 640, 480, 0},
        {WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0, 0, 0, 1, -1, 640, 480, 0},
        {WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 200), 0, 0, 1, -1, 320, 200, 0},
        {WM_SIZE, SIZE_MINIMIZED, 0, 0, 0, 1, -1, 0, 1, 0},
        {WM_SYSCOMMAND, SC_SCREENSAVE, 0, 0, 0, 1, -1, 0, 1, 0},
        {WM_SYSCOMMAND, SC_MONITORPOWER, 2, 0, 0, 1, -1, 0, 1, 0},
        {WM_SYSCOMMAND, SC_SCREENSAVE + 1, 0, 0, 0, 1, -1, 0, 1, 1},
        {WM_SYSKEYDOWN, VK_F10, 1, VK_F10, 0, 1, -1, 0, 1, 1},
        {WM_CHAR, 27, 1, 27, 0, 1, -1, 0, 1, 1},
        {WM_CLOSE, 0, 0, 0, 0, 1, 0, 0, 1, 0},
        {WM_SYSCOMMAND, SC_CLOSE, 0, 0, 0, 1, 0, 0, 1, 1},
        {WM_SYSKEYDOWN, VK_F4, alt, VK_F4, 0, 1, 0, 0, 1, 2},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << r.message << " " << r.wParam);
        fake::defaults.clear();
        const LRESULT result = WndProc(hWnd, r.message, r.wParam, r.lParam);
        EXPECT_TRUE(r.defaults > 0 || result == 0);
        EXPECT_EQ(keys[r.key], r.keyValue);
        EXPECT_EQ(active, r.active);
        EXPECT_EQ(Viewport(2), r.width);
        EXPECT_EQ(Viewport(3), r.height);
        EXPECT_EQ((int)fake::defaults.size(), r.defaults);
        MSG msg{};
        const bool quit = PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE);
        EXPECT_EQ(quit ? (int)msg.wParam : -1, r.quit);
    }
    EXPECT_EQ(std::count(keys, keys + 256, 1), 1); // 0xFF only
    EXPECT_EQ(fake::windows, 1) << "closing is the loop's business";
}

// Creation windowed, fullscreen, and fullscreen refused then accepted as a
// window; then the teardown, in reverse order.
TEST(Lifecycle, CreationAndTeardownAsATable) {
    const std::vector<std::string> head = {"GetModuleHandleA", "LoadIconA", "LoadCursorA",
                                           "RegisterClassA"};
    const std::vector<std::string> tail = {"AdjustWindowRectEx", "CreateWindowExA", "GetDC",
                                           "ChoosePixelFormat", "SetPixelFormat", "wglCreateContext",
                                           "wglMakeCurrent", "ShowWindow", "SetForegroundWindow",
                                           "SetFocus"};
    const struct Row {
        BOOL ask;
        bool refuse;
        BOOL full;
        std::vector<std::string> middle;
        std::string create;
        bool frame;
        int cursor;
        std::vector<std::string> boxes, teardown;
    } rows[] = {
        {FALSE, false, FALSE, {}, "CreateWindowExA(114229248 656x519)", true, 0, {},
         {"wglMakeCurrent", "wglDeleteContext", "ReleaseDC", "DestroyWindow", "UnregisterClassA"}},
        {TRUE, false, TRUE, {"ChangeDisplaySettingsA", "ShowCursor"},
         "CreateWindowExA(2248146944 640x480)", false, -1, {},
         {"ChangeDisplaySettingsA", "ShowCursor", "wglMakeCurrent", "wglDeleteContext", "ReleaseDC",
          "DestroyWindow", "UnregisterClassA"}},
        {TRUE, true, FALSE, {"ChangeDisplaySettingsA", "MessageBoxA"},
         "CreateWindowExA(114229248 656x519)", true, 0,
         {"Vorel GL|The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use "
          "Windowed Mode Instead?|0x34"},
         {"wglMakeCurrent", "wglDeleteContext", "ReleaseDC", "DestroyWindow", "UnregisterClassA"}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.create + (r.refuse ? " refused" : ""));
        ResetProgram();
        fake::refuseMode = r.refuse;
        fake::Answer({IDYES});
        ASSERT_TRUE(CreateGLWindow("Orvanel", 640, 480, 16, r.ask));
        std::vector<std::string> order = head;
        order.insert(order.end(), r.middle.begin(), r.middle.end());
        order.insert(order.end(), tail.begin(), tail.end());
        EXPECT_EQ(fake::CallNames(), order);
        EXPECT_EQ(fake::calls[3], "RegisterClassA(OpenGL 35)");
        EXPECT_EQ(fake::calls[std::find(order.begin(), order.end(), "CreateWindowExA") - order.begin()],
                  r.create);
        EXPECT_EQ(fake::calls[order.size() - 7], "ChoosePixelFormat(37 16 16)");
        EXPECT_TRUE(!r.ask || fake::calls[4] == "ChangeDisplaySettingsA(640x480x16 148 1835008 4)");
        EXPECT_EQ(fullscreen, r.full);
        EXPECT_EQ(fake::lastWindow.width, 640);
        EXPECT_EQ(fake::lastWindow.height, 480);
        EXPECT_EQ(fake::lastWindow.frame, r.frame);
        EXPECT_EQ(fake::lastWindow.fullscreen, !!r.full);
        EXPECT_STREQ(fake::lastWindow.title, "Orvanel");
        EXPECT_EQ(fake::cursorCount, r.cursor);
        EXPECT_EQ(Describe(), r.boxes);
        EXPECT_EQ(Viewport(2), 640);
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        const size_t mark = fake::calls.size();
        KillGLWindow();
        EXPECT_EQ(fake::CallNames(mark), r.teardown);
        EXPECT_EQ(fullscreen, r.full); // left as it was: the caller decides
        ExpectAllReleased();
    }
}

TEST(Lifecycle, AllFiveReleaseStepsFailingAreEachToldAndNeverStopTheTeardown) {
    ResetProgram();
    ASSERT_TRUE(CreateGLWindow("Orvanel", 640, 480, 16, FALSE));
    for (const char *call : {"wglMakeCurrent", "wglDeleteContext", "ReleaseDC", "DestroyWindow",
                             "UnregisterClassA"})
        fake::Fail(call, true);
    KillGLWindow();
    EXPECT_EQ(Describe(), (std::vector<std::string>{
                              "SHUTDOWN ERROR|Release Of DC And RC Failed.|0x40",
                              "SHUTDOWN ERROR|Release Rendering Context Failed.|0x40",
                              "SHUTDOWN ERROR|Release Device Context Failed.|0x40",
                              "SHUTDOWN ERROR|Could Not Release hWnd.|0x40",
                              "SHUTDOWN ERROR|Could Not Unregister Class.|0x40"}));
    EXPECT_TRUE(hRC == NULL && hDC == NULL && hWnd == NULL);
}

// One long walk through the main loop.
TEST(MainLoop, IdlePassesKeysMinimiseAndTheToggle) {
    ResetProgram();
    fake::Answer({IDNO});
    fake::Idle(2);
    fake::Then([] {
        EXPECT_EQ(fake::presents, 2);
        Mark();
    });
    for (int i = 0; i < 30; ++i) fake::Key('A', true); // a run of messages: no frame
    fake::Then([] { EXPECT_FALSE(DrewSinceMark()); });
    fake::Idle();
    fake::Then([] { EXPECT_TRUE(DrewSinceMark()); });
    fake::Key(VK_F2, true); // held: one step a pass, and only per key-down
    fake::Idle(2);
    fake::Key(VK_F2, true);
    fake::Idle();
    fake::Key(VK_F2, false);
    fake::Key(VK_UP, true); // a tap inside one run of messages changes nothing
    fake::Key(VK_UP, false);
    fake::Idle();
    fake::Then([] {
        EXPECT_EQ(Piston1Rot, 2.0f);
        EXPECT_EQ(PinceRot, 45.0f);
        Mark();
    });
    fake::Key(VK_F4, true); // latched just before the minimise
    fake::Minimise();
    fake::Idle(2);
    fake::Then([] {
        EXPECT_FALSE(active);
        EXPECT_FALSE(DrewSinceMark()) << "drawn while minimised";
        EXPECT_EQ(Piston2Rot, 1.0f) << "the pose keys still count";
        EXPECT_EQ(std::count(fake::calls.begin(), fake::calls.end(), "SwapBuffers()"), 9);
        EXPECT_EQ(fake::presents, 7) << "a minimised window is not presented";
    });
    fake::Minimise(false);
    fake::Idle();
    fake::Then([] {
        EXPECT_TRUE(active);
        EXPECT_TRUE(DrewSinceMark());
        keys[VK_F9] = 1; // a key held across the toggle keeps its flag
    });
    fake::Press(VK_F1);
    fake::Then([] {
        EXPECT_TRUE(fullscreen && fake::modeChanged && fake::lastWindow.fullscreen);
        EXPECT_EQ(fake::cursorCount, -1);
        EXPECT_EQ(fake::windows + fake::contexts, 2);
        EXPECT_EQ(Viewport(2), 640); // the new context has its projection and state
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_TRUE(Piston1Rot == 2.0f && keys[VK_F9] == 1 && keys[VK_F1] == 0 && active);
    });
    fake::Press(VK_F1);
    fake::Then([] {
        EXPECT_FALSE(fullscreen || fake::modeChanged || fake::lastWindow.fullscreen);
        EXPECT_EQ(fake::cursorCount, 0);
        fake::presents = 0;
    });
    fake::Key(VK_F2, true); // F2, F1 and Escape before one pass: toggle, pose, end
    fake::Key(VK_F1, true);
    fake::Key(VK_ESCAPE, true);
    fake::Idle();
    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_FALSE(fake::scriptRanOut);
    EXPECT_TRUE(fullscreen);
    EXPECT_EQ(Piston1Rot, 3.0f);
    EXPECT_EQ(fake::presents, 0) << "the pass that ends presents nothing";
    EXPECT_EQ(Describe(), (std::vector<std::string>{
                              "FullScreen ?|Passer en plein ecran (640x480) ?|0x24"}));
    ExpectAllReleased();
}

TEST(MainLoop, ExitsAsATable) {
    const struct Row {
        const char *what;
        std::function<void()> script;
        int status;
        std::vector<std::string> texts;
        GLfloat piston1;
    } rows[] = {
        {"close box", [] { fake::Close(); }, 0, {}, 0},
        {"Alt+F4", [] { fake::Key(VK_MENU, true, true), fake::Key(VK_F4, true, true); }, 0, {}, 0},
        {"Escape", [] { fake::Press(VK_ESCAPE); }, 27, {}, 0},
        {"no context at start", [] { fake::Fail("wglCreateContext"); }, 0,
         {"Can't Create A GL Rendering Context."}, 0},
        {"re-creation fails on F1", [] {
             fake::Then([] { fake::Fail("CreateWindowExA"); });
             fake::Key(VK_F1, true), fake::Key(VK_F2, true);
         }, 0, {"Window Creation Error."}, 0},
        {"F2 then Escape", [] { fake::Key(VK_F2, true), fake::Key(VK_ESCAPE, true); }, 27, {}, 1},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        ResetProgram();
        fake::Answer({IDNO});
        r.script();
        fake::Idle();
        EXPECT_EQ(RunWinMain(), r.status);
        EXPECT_FALSE(fake::scriptRanOut);
        std::vector<std::string> texts = {"Passer en plein ecran (640x480) ?"};
        texts.insert(texts.end(), r.texts.begin(), r.texts.end());
        std::vector<std::string> shown;
        for (const fake::Box &b : fake::boxes) shown.push_back(b.text);
        EXPECT_EQ(shown, texts);
        EXPECT_EQ(Piston1Rot, r.piston1);
        ExpectAllReleased();
    }
}

TEST(Layer, SendsEachSequenceInWindowsOrder) {
    ResetProgram();
    fake::scriptRanOut = true;
    HWND window = NULL;
    EXPECT_HEARS(kCreateSequence, window = OpenRecordedWindow("Recorded"));
    EXPECT_HEARS(kShowSequence, ShowWindow(window, SW_SHOW));
    EXPECT_HEARS(kMinimiseSequence, (fake::Minimise(), DispatchAll()));
    EXPECT_HEARS(kRestoreSequence, (fake::Minimise(false), DispatchAll()));
    EXPECT_HEARS(kCloseBoxSequence, (fake::Close(), DispatchAll()));
    EXPECT_HEARS(kDestroySequence, DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassA("Recorded", NULL));
}

// Every fullscreen toggle registers the class again: the program must be
// able to do that for ever, not just until a counter wraps.
TEST(Layer, RegistersAClassAgainAfterAnyNumberOfRounds) {
    ResetProgram();
    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.lpszClassName = "OpenGL";
    for (int round = 0; round < 70000; ++round) {
        ASSERT_TRUE(RegisterClassA(&wc)) << "round " << round;
        ASSERT_TRUE(UnregisterClassA("OpenGL", NULL)) << "round " << round;
    }
}

} // namespace
