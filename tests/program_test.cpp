// The program's own code on our Win32 layer and the fake driver: the window procedure, creation and teardown,
// the main loop, the exits, the messages the layer sends; every Win32 call that can fail, failed in turn (the
// sweep); thousands of fullscreen toggles (the soak).
#include "tests/fake/driver.h"
#include "tests/sequences.h"

#include <malloc.h>

#include <algorithm>
#include <iostream>
#include <map>

namespace {

GLint Viewport(int i) { GLint v[4] = {}; return glGetIntegerv(GL_VIEWPORT, v), v[i]; }
// A frame leaves jaw two's colour current; a mark shows whether one was drawn since.
void Mark() { glColor3f(0, 0, 0); }
bool DrewSinceMark() { GLfloat c[4]; return glGetFloatv(GL_CURRENT_COLOR, c), c[0] == 0.9f; }

TEST(WindowProcedure, EachMessageAsATable) {
    ResetProgram();
    ASSERT_TRUE(CreateGLWindow("Orvanel", 640, 480, 16, FALSE));
    fake::scriptRanOut = true; // nothing closes the window behind the test's back
    const LPARAM alt = 1 | 1 << 29;
    const struct Row { UINT message; WPARAM wParam; LPARAM lParam; int key, keyValue, active, quit, width, height, defaults; } rows[] = {
        {WM_KEYDOWN, VK_F2, 1, VK_F2, 1, 1, -1, 640, 480, 0}, {WM_KEYDOWN, VK_F2, 1, VK_F2, 1, 1, -1, 640, 480, 0},
        {WM_KEYUP, VK_F2, 1, VK_F2, 0, 1, -1, 640, 480, 0}, {WM_KEYDOWN, 0xFF, 1, 0xFF, 1, 1, -1, 640, 480, 0},
        {WM_KEYDOWN, 0x100, 1, 0, 0, 1, -1, 640, 480, 0}, // outside the table
        {WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0, 0, 0, 0, -1, 640, 480, 0},
        {WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1), 0, 0, 0, 0, -1, 640, 480, 0},
        {WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0, 0, 0, 1, -1, 640, 480, 0},
        {WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 200), 0, 0, 1, -1, 320, 200, 0}, {WM_SIZE, SIZE_MINIMIZED, 0, 0, 0, 1, -1, 0, 1, 0},
        {WM_SYSCOMMAND, SC_SCREENSAVE, 0, 0, 0, 1, -1, 0, 1, 0}, {WM_SYSCOMMAND, SC_MONITORPOWER, 2, 0, 0, 1, -1, 0, 1, 0},
        {WM_SYSCOMMAND, SC_SCREENSAVE + 1, 0, 0, 0, 1, -1, 0, 1, 1}, {WM_SYSKEYDOWN, VK_F10, 1, VK_F10, 0, 1, -1, 0, 1, 1},
        {WM_CHAR, 27, 1, 27, 0, 1, -1, 0, 1, 1}, {WM_CLOSE, 0, 0, 0, 0, 1, 0, 0, 1, 0},
        {WM_SYSCOMMAND, SC_CLOSE, 0, 0, 0, 1, 0, 0, 1, 1}, {WM_SYSKEYDOWN, VK_F4, alt, VK_F4, 0, 1, 0, 0, 1, 2},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << r.message << " " << r.wParam);
        fake::defaults.clear();
        const LRESULT result = WndProc(hWnd, r.message, r.wParam, r.lParam);
        MSG msg{};
        const int quit = PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE) ? (int)msg.wParam : -1;
        EXPECT_TRUE(r.defaults > 0 || result == 0);
        EXPECT_EQ(std::vector<int>({keys[r.key], active, quit, Viewport(2), Viewport(3), (int)fake::defaults.size()}),
                  std::vector<int>({r.keyValue, r.active, r.quit, r.width, r.height, r.defaults}));
    }
    EXPECT_EQ(std::count(keys, keys + 256, 1), 1); // 0xFF only
    EXPECT_EQ(fake::windows, 1) << "closing is the loop's business";
}

// Creation windowed, fullscreen, and fullscreen refused then accepted as a window; then the teardown, in
// reverse order.
TEST(Lifecycle, CreationAndTeardownAsATable) {
    const std::vector<std::string> head = {"GetModuleHandleA", "LoadIconA", "LoadCursorA", "RegisterClassA"},
        tail = {"AdjustWindowRectEx", "CreateWindowExA", "GetDC", "ChoosePixelFormat", "SetPixelFormat",
                "wglCreateContext", "wglMakeCurrent", "ShowWindow", "SetForegroundWindow", "SetFocus"},
        release = {"wglMakeCurrent", "wglDeleteContext", "ReleaseDC", "DestroyWindow", "UnregisterClassA"};
    const std::string windowed = "CreateWindowExA(114229248 656x519)", mode = "ChangeDisplaySettingsA";
    const struct Row { bool refuse; BOOL full; std::vector<std::string> middle; std::string create, box; } rows[] = {
        {false, FALSE, {}, windowed, ""},
        {false, TRUE, {mode, "ShowCursor"}, "CreateWindowExA(2248146944 640x480)", ""},
        {true, FALSE, {mode, "MessageBoxA"}, windowed,
         "Vorel GL|The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?|0x34"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.create + (r.refuse ? " refused" : ""));
        ResetProgram();
        fake::refuseMode = r.refuse;
        fake::Answer({IDYES});
        ASSERT_TRUE(CreateGLWindow("Orvanel", 640, 480, 16, r.full || r.refuse));
        std::vector<std::string> order = head;
        order.insert(order.end(), r.middle.begin(), r.middle.end());
        order.insert(order.end(), tail.begin(), tail.end());
        EXPECT_EQ(fake::CallNames(), order);
        EXPECT_EQ(fake::calls[3], "RegisterClassA(OpenGL 35)");
        EXPECT_EQ(fake::calls[head.size() + r.middle.size() + 1], r.create);
        EXPECT_EQ(fake::calls[order.size() - 7], "ChoosePixelFormat(37 16 16)");
        EXPECT_TRUE(r.middle.empty() || fake::calls[4] == mode + "(640x480x16 148 1835008 4)");
        EXPECT_EQ(fullscreen, r.full);
        const driver::WindowSpec &w = fake::lastWindow;
        EXPECT_TRUE(w.width == 640 && w.height == 480 && w.frame == !r.full && w.fullscreen == !!r.full);
        EXPECT_STREQ(w.title, "Orvanel");
        EXPECT_EQ(fake::cursorCount, r.full ? -1 : 0);
        EXPECT_EQ(Describe(), r.box.empty() ? std::vector<std::string>{} : std::vector<std::string>{r.box});
        EXPECT_TRUE(Viewport(2) == 640 && glIsEnabled(GL_DEPTH_TEST));
        const size_t mark = fake::calls.size();
        KillGLWindow();
        std::vector<std::string> teardown = release;
        if (r.full) teardown.insert(teardown.begin(), {mode, "ShowCursor"});
        EXPECT_EQ(fake::CallNames(mark), teardown);
        EXPECT_EQ(fullscreen, r.full); // left as it was: the caller decides
        ExpectAllReleased();
    }
}

// One long walk through the main loop.
TEST(MainLoop, IdlePassesKeysMinimiseAndTheToggle) {
    ResetProgram(), fake::Answer({IDNO}), fake::Idle(2);
    fake::Then([] { EXPECT_EQ(fake::presents, 2); Mark(); });
    for (int i = 0; i < 30; ++i) fake::Key('A', true); // a run of messages: no frame
    fake::Then([] { EXPECT_FALSE(DrewSinceMark()); }), fake::Idle(), fake::Then([] { EXPECT_TRUE(DrewSinceMark()); });
    fake::Key(VK_F2, true), fake::Idle(2); // held: one step a pass, and only per key-down
    fake::Key(VK_F2, true), fake::Idle(), fake::Key(VK_F2, false);
    fake::Key(VK_UP, true), fake::Key(VK_UP, false), fake::Idle(); // a tap inside one run changes nothing
    fake::Then([] { EXPECT_TRUE(Piston1Rot == 2.0f && PinceRot == 45.0f); Mark(); });
    fake::Key(VK_F4, true), fake::Minimise(), fake::Idle(2); // latched just before
    fake::Then([] {
        EXPECT_FALSE(active || DrewSinceMark()) << "drawn while minimised";
        EXPECT_EQ(Piston2Rot, 1.0f) << "the pose keys still count";
        EXPECT_EQ(std::count(fake::calls.begin(), fake::calls.end(), "SwapBuffers()"), 9);
        EXPECT_EQ(fake::presents, 7) << "a minimised window is not presented";
    });
    fake::Minimise(false), fake::Idle();
    fake::Then([] { EXPECT_TRUE(active && DrewSinceMark()); keys[VK_F9] = 1; }); // held across the toggle
    fake::Press(VK_F1);
    fake::Then([] {
        EXPECT_TRUE(fullscreen && fake::modeChanged && fake::lastWindow.fullscreen);
        EXPECT_TRUE(fake::cursorCount == -1 && fake::windows + fake::contexts == 2);
        EXPECT_TRUE(Viewport(2) == 640 && glIsEnabled(GL_DEPTH_TEST)) << "the new context's state";
        EXPECT_TRUE(Piston1Rot == 2.0f && keys[VK_F9] == 1 && keys[VK_F1] == 0 && active);
    });
    fake::Press(VK_F1);
    fake::Then([] { EXPECT_FALSE(fullscreen || fake::modeChanged || fake::lastWindow.fullscreen || fake::cursorCount); fake::presents = 0; });
    // F2, F1 and Escape before one pass: the toggle, the pose, the end.
    fake::Key(VK_F2, true), fake::Key(VK_F1, true), fake::Key(VK_ESCAPE, true), fake::Idle();
    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_TRUE(!fake::scriptRanOut && fullscreen && Piston1Rot == 3.0f);
    EXPECT_EQ(fake::presents, 0) << "the pass that ends presents nothing";
    EXPECT_EQ(std::count(fake::defaults.begin(), fake::defaults.end(), WM_CHAR), 31) << "'a' 30 times, Escape";
    EXPECT_EQ(Describe(), std::vector<std::string>{"FullScreen ?|Passer en plein ecran (640x480) ?|0x24"});
    ExpectAllReleased();
}

TEST(MainLoop, ExitsAsATable) {
    const struct Row { const char *what; std::function<void()> script; int status; std::vector<std::string> texts; GLfloat piston1; } rows[] = {
        {"close box", [] { fake::Close(); }, 0, {}, 0},
        {"Alt+F4", [] { fake::Key(VK_MENU, true, true), fake::Key(VK_F4, true, true); }, 0, {}, 0},
        {"Escape", [] { fake::Press(VK_ESCAPE); }, 27, {}, 0},
        {"F2 then Escape", [] { fake::Key(VK_F2, true), fake::Key(VK_ESCAPE, true); }, 27, {}, 1},
        {"the question not shown: no fullscreen", [] { fake::Answer({0}), fake::Close(); }, 0, {}, 0},
        {"no context at start", [] { fake::Fail("wglCreateContext"); }, 0, {"Can't Create A GL Rendering Context."}, 0},
        {"re-creation fails on F1", [] { fake::Then([] { fake::Fail("CreateWindowExA"); }), fake::Key(VK_F1, true), fake::Key(VK_F2, true); },
         0, {"Window Creation Error."}, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        ResetProgram();
        fake::Answer({IDNO}), r.script(), fake::Idle();
        EXPECT_EQ(RunWinMain(), r.status);
        std::vector<std::string> texts = {"Passer en plein ecran (640x480) ?"}, shown;
        texts.insert(texts.end(), r.texts.begin(), r.texts.end());
        for (const fake::Box &b : fake::boxes) shown.push_back(b.text);
        EXPECT_EQ(shown, texts);
        EXPECT_TRUE(Piston1Rot == r.piston1 && !fake::scriptRanOut && !fake::lastWindow.fullscreen);
        ExpectAllReleased();
    }
}

TEST(Layer, SendsEachSequenceInWindowsOrder) {
    ResetProgram();
    HWND window = NULL;
    fake::scriptRanOut = true; // no close when the script runs out
    EXPECT_HEARS(kCreateSequence, window = OpenRecordedWindow("Recorded"));
    EXPECT_HEARS(kShowSequence, ShowWindow(window, SW_SHOW));
    EXPECT_HEARS(kMinimiseSequence, (fake::Minimise(), DispatchAll()));
    EXPECT_HEARS(kRestoreSequence, (fake::Minimise(false), DispatchAll()));
    EXPECT_HEARS(kCloseBoxSequence, (fake::Close(), DispatchAll()));
    EXPECT_HEARS(kDestroySequence, DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassA("Recorded", NULL));
}

// Every fullscreen toggle registers the class again: the program must be able to do that for ever, not just
// until a counter wraps.
TEST(Layer, RegistersAClassAgainAfterAnyNumberOfRounds) {
    ResetProgram();
    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc, wc.lpszClassName = "OpenGL";
    for (int round = 0; round < 70000; ++round)
        ASSERT_TRUE(RegisterClassA(&wc) && UnregisterClassA("OpenGL", NULL)) << "round " << round;
}

// The sweep: a whole run of the program (start, F1, F1, Escape; windowed and fullscreen) with call k failing
// once, and again with every call from k on.
void Script(bool startFullscreen) {
    fake::Answer({startFullscreen ? IDYES : IDNO});
    fake::Idle(), fake::Press(VK_F1), fake::Idle(), fake::Press(VK_F1), fake::Idle(), fake::Press(VK_ESCAPE);
}

// The box a single failure of each call shows: caption, text and type.
const std::map<std::string, std::string> kBoxOf = {
    {"RegisterClassA", "ERROR|Failed To Register The Window Class.|0x30"},
    {"ChangeDisplaySettingsA", "Vorel GL|The Requested Fullscreen Mode Is Not Supported By\nYour "
                               "Video Card. Use Windowed Mode Instead?|0x34"},
    {"CreateWindowExA", "ERROR|Window Creation Error.|0x30"},
    {"GetDC", "ERROR|Can't Create A GL Device Context.|0x30"},
    {"ChoosePixelFormat", "ERROR|Can't Find A Suitable PixelFormat.|0x30"},
    {"SetPixelFormat", "ERROR|Can't Set The PixelFormat.|0x30"},
    {"wglCreateContext", "ERROR|Can't Create A GL Rendering Context.|0x30"},
    {"wglMakeCurrent(context)", "ERROR|Can't Activate The GL Rendering Context.|0x30"},
    {"wglMakeCurrent(none)", "SHUTDOWN ERROR|Release Of DC And RC Failed.|0x40"},
    {"wglDeleteContext", "SHUTDOWN ERROR|Release Rendering Context Failed.|0x40"},
    {"ReleaseDC", "SHUTDOWN ERROR|Release Device Context Failed.|0x40"},
    {"DestroyWindow", "SHUTDOWN ERROR|Could Not Release hWnd.|0x40"},
    {"UnregisterClassA", "SHUTDOWN ERROR|Could Not Unregister Class.|0x40"}};
const std::vector<std::string> kTeardown = {"ChangeDisplaySettingsA", "ShowCursor", "wglMakeCurrent",
                                            "wglDeleteContext", "ReleaseDC", "DestroyWindow", "UnregisterClassA"};
bool Failed(const std::string &call) {
    return std::any_of(fake::failed.begin(), fake::failed.end(), [&](auto &f) { return !f.rfind(call, 0); });
}

// What holds after any run, whatever failed: live now is only what the program tried to release and could
// not.
void ExpectSoundEnd(int status) {
    const std::vector<std::string> shown = Describe();
    const bool error = std::any_of(shown.begin(), shown.end(), [](auto &b) { return !b.rfind("ERROR|", 0); });
    EXPECT_TRUE(status == 0 || (status == 27 && !error && !fake::scriptRanOut)) << status;
    const bool windowStuck = Failed("DestroyWindow");
    EXPECT_TRUE(windowStuck || fake::windows == 0);
    EXPECT_TRUE(Failed("wglDeleteContext") || fake::contexts == 0);
    EXPECT_TRUE(windowStuck || Failed("UnregisterClassA") || Failed("MessageBoxA") || Failed("RegisterClassA") ||
                !fake::ClassRegistered() || std::count(shown.begin(), shown.end(), "ERROR|Program Will Now Close.|0x10"));
    EXPECT_TRUE(!fake::modeChanged || Failed("ChangeDisplaySettingsA(restore)"));
    EXPECT_EQ(fake::cursorCount, 0);
    for (const fake::Box &box : fake::boxes) EXPECT_EQ(box.owner, (HWND)NULL);
}

// A single failure's own box comes first after the question; a creation step's comes after the whole
// teardown, in order, with nothing left.
void ExpectItsBox() {
    std::string call = fake::failed[0];
    if (call == "ChangeDisplaySettingsA(restore)") return; // nothing to say
    if (call.rfind("wglMakeCurrent", 0) != 0) call = call.substr(0, call.find('('));
    const auto box = kBoxOf.find(call);
    if (box == kBoxOf.end()) return; // nothing to say: not a failure the user hears of
    ASSERT_GE(fake::boxes.size(), 2u);
    EXPECT_EQ(Describe()[1], box->second);
    if (box->second.rfind("ERROR|", 0) != 0 || call == "RegisterClassA") return;
    EXPECT_TRUE(!fake::boxes[1].modeChanged && fake::boxes[1].windows == 0 && fake::boxes[1].contexts == 0);
    const std::vector<std::string> names = fake::CallNames();
    const auto shown = std::find(std::find(names.begin(), names.end(), "MessageBoxA") + 1, names.end(), "MessageBoxA");
    const auto at = std::find(std::make_reverse_iterator(shown), names.rend(), call.substr(0, call.find('(')));
    const std::vector<std::string> between(at.base(), shown);
    auto next = kTeardown.begin();
    for (const std::string &name : between) next = std::find(next, kTeardown.end(), name);
    EXPECT_TRUE(next != kTeardown.end() && between.back() == "UnregisterClassA");
}

TEST(FaultSweep, EveryFallibleCallFailedOnceAndFromThenOn) {
    int runs = 0;
    for (bool full : {false, true}) {
        ResetProgram();
        Script(full);
        ASSERT_EQ(RunWinMain(), 27);
        const int count = fake::fallibleCalls;
        EXPECT_GT(count, 40) << "the scripted run makes fewer fallible calls than expected";
        for (int k = 1; k <= count * 2; ++k, ++runs) {
            ResetProgram();
            Script(full);
            fake::FailNth((k + 1) / 2, k % 2 == 0);
            const int status = RunWinMain();
            SCOPED_TRACE(testing::Message() << (full ? "fullscreen" : "windowed") << ", call " << (k + 1) / 2
                                            << (k % 2 ? ": " : " on: ") << (fake::failed.empty() ? "?" : fake::failed[0]));
            ExpectSoundEnd(status);
            if (k % 2 && !fake::failed.empty()) ExpectItsBox();
        }
    }
    std::cout << "fault sweep: " << runs << " runs with a failed call\n";
}

TEST(Lifecycle, AllFiveReleaseStepsFailingAreEachToldAndNeverStopTheTeardown) {
    ResetProgram();
    ASSERT_TRUE(CreateGLWindow("Orvanel", 640, 480, 16, FALSE));
    std::vector<std::string> told;
    for (std::string call : {"wglMakeCurrent(none)", "wglDeleteContext", "ReleaseDC", "DestroyWindow", "UnregisterClassA"})
        fake::Fail(call.substr(0, call.find('(')), true), told.push_back(kBoxOf.at(call));
    KillGLWindow();
    EXPECT_EQ(Describe(), told);
    EXPECT_TRUE(hRC == NULL && hDC == NULL && hWnd == NULL);
}

#if defined(__SANITIZE_ADDRESS__) // glibc's figures never see the sanitizer's allocator
extern "C" size_t __sanitizer_get_current_allocated_bytes();
size_t HeapInUse() { return __sanitizer_get_current_allocated_bytes(); }
#else
size_t HeapInUse() { return mallinfo2().uordblks; }
#endif

TEST(Soak, TenThousandTogglesLeaveOneOfEverythingAndAFlatHeap) {
    static int toggles, done, bad;
    static size_t early, late;
    toggles = getenv("ORVANEL_SOAK_TOGGLES") ? atoi(getenv("ORVANEL_SOAK_TOGGLES")) : 10000;
    ResetProgram();
    fake::noGL = true; // Mesa's heap is not what is soaked here, and its work areas come and go
    fake::Answer({IDNO});
    static void (*const check)() = [] { // after each toggle; it then asks for the next one
        const bool ok = fake::windows == 1 && fake::contexts == 1 && hRC && hDC && hWnd &&
                        fake::cursorCount == (fullscreen ? -1 : 0) && fake::modeChanged == !!fullscreen;
        if (!ok && bad++ < 5) ADD_FAILURE() << "after toggle " << done;
        fake::calls.clear(), fake::defaults.clear(); // the logs grow by design
        late = HeapInUse(), early = ++done == 100 ? late : early;
        done < toggles ? (fake::Press(VK_F1), fake::Then(check)) : fake::Press(VK_ESCAPE);
    };
    fake::Press(VK_F1), fake::Then(check);
    EXPECT_TRUE(RunWinMain() == 27 && done == toggles);
    ExpectAllReleased();
    const long growth = (long)late - (long)early;
    std::cout << "soak: " << done << " toggles, heap growth " << growth << " bytes\n";
    EXPECT_TRUE(toggles < 1000 || growth < 16 * 1024) << growth;
}

} // namespace
