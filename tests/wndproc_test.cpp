// The window procedure: what each message does to the key table, the
// active flag, the projection and the queue, and what reaches the default.
#include "tests/program_support.h"

#include "arm/arm.h"
#include "tools/offscreen_gl.h"
#include "window/window.h"

#include <gtest/gtest.h>

namespace {

// The window procedure's class, registered bare, outside CreateGLWindow.
const WNDCLASSA &BareClass() {
    static WNDCLASSA wc = [] {
        WNDCLASSA c{};
        c.lpfnWndProc = WndProc;
        c.lpszClassName = "OpenGL";
        return c;
    }();
    return wc;
}

HWND BareWindow(DWORD style) {
    return CreateWindowExA(0, "OpenGL", "", style, 0, 0, 640, 480, NULL, NULL, NULL, NULL);
}

class WindowProcedure : public ::testing::Test {
  protected:
    HWND window = nullptr;

    void SetUp() override {
        ResetProgram();
        ASSERT_TRUE(RegisterClassA(&BareClass()));
        window = BareWindow(WS_OVERLAPPEDWINDOW);
        ASSERT_TRUE(window);
        fake::calls.clear();
        fake::defaults.clear();
    }

    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam = 0) {
        return WndProc(window, message, wParam, lParam);
    }
    int DefaultCalls() { return (int)fake::defaults.size(); }
    bool QuitPosted(int *code) {
        MSG msg{};
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            if (msg.message == WM_QUIT) {
                *code = (int)msg.wParam;
                return true;
            }
        return false;
    }
    static void ExpectViewport(GLint width, GLint height) {
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], width);
        EXPECT_EQ(viewport[3], height);
    }
};

TEST_F(WindowProcedure, KeysLatchOnKeyDownAndClearOnKeyUp) {
    for (WPARAM key : {0x00u, 0x1Bu, 0x41u, 0x70u, 0x71u, 0xFFu}) {
        EXPECT_EQ(Send(WM_KEYDOWN, key), 0);
        EXPECT_EQ(keys[key], 1);
        EXPECT_EQ(Send(WM_KEYDOWN, key), 0); // auto-repeat sets it again
        EXPECT_EQ(keys[key], 1);
        EXPECT_EQ(Send(WM_KEYUP, key), 0);
        EXPECT_EQ(keys[key], 0);
    }
    EXPECT_EQ(DefaultCalls(), 0);
    // Nothing is applied to the pose here: that is the control step's job.
    keys[VK_F2] = 0;
    Send(WM_KEYDOWN, VK_F2);
    EXPECT_EQ(Piston1Rot, 0.0f);
}

TEST_F(WindowProcedure, KeyCodesOutsideTheTableAreIgnored) {
    for (WPARAM key : {(WPARAM)256, (WPARAM)0x1FF, (WPARAM)0x10000, ~(WPARAM)0}) {
        EXPECT_EQ(Send(WM_KEYDOWN, key), 0);
        EXPECT_EQ(Send(WM_KEYUP, key), 0);
    }
    for (int k : keys) EXPECT_EQ(k, 0);
    EXPECT_EQ(Piston1Rot, 0.0f);
    EXPECT_EQ(PinceRot, 45.0f);
}

TEST_F(WindowProcedure, ActivationTracksOnlyTheMinimisedState) {
    Send(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1));
    EXPECT_EQ(active, 0);
    Send(WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1)); // activated but still minimised
    EXPECT_EQ(active, 0);
    Send(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0)); // another program in front
    EXPECT_EQ(active, 1);
    EXPECT_EQ(Send(WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0)), 0);
    EXPECT_EQ(active, 1);
    EXPECT_EQ(DefaultCalls(), 0);
}

TEST_F(WindowProcedure, ScreenSaverAndMonitorPowerAreSwallowedAsWholeValuesOnly) {
    EXPECT_EQ(Send(WM_SYSCOMMAND, SC_SCREENSAVE), 0);
    EXPECT_EQ(Send(WM_SYSCOMMAND, SC_MONITORPOWER, 2), 0);
    EXPECT_EQ(DefaultCalls(), 0);
    Send(WM_SYSCOMMAND, SC_SCREENSAVE + 1);
    Send(WM_SYSCOMMAND, SC_MONITORPOWER + 1, 2);
    Send(WM_SYSCOMMAND, SC_KEYMENU);
    EXPECT_EQ(DefaultCalls(), 3);
    int code = -1;
    EXPECT_FALSE(QuitPosted(&code));
}

TEST_F(WindowProcedure, CloseBoxAndAltF4PostQuitWithoutDestroying) {
    int code = -1;
    EXPECT_EQ(Send(WM_CLOSE, 0), 0);
    EXPECT_TRUE(QuitPosted(&code));
    EXPECT_EQ(code, 0);

    Send(WM_SYSCOMMAND, SC_CLOSE); // the close box, through the default procedure
    EXPECT_TRUE(QuitPosted(&code));
    EXPECT_EQ(code, 0);

    Send(WM_SYSKEYDOWN, VK_F4, 1 | 1 << 29); // Alt+F4
    EXPECT_TRUE(QuitPosted(&code));
    EXPECT_EQ(code, 0);

    EXPECT_EQ(fake::LiveWindows(), 1);
    for (const std::string &name : fake::CallNames()) EXPECT_NE(name, "DestroyWindow");
}

TEST_F(WindowProcedure, OtherMessagesReachTheDefaultOnceAndTouchNoKey) {
    const UINT others[] = {WM_CHAR, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_SYSCHAR, WM_CREATE, 0x0400};
    for (UINT message : others) Send(message, VK_F10, 7);
    EXPECT_EQ(DefaultCalls(), 6);
    EXPECT_EQ(fake::defaults, std::vector<UINT>(std::begin(others), std::end(others)));
    EXPECT_EQ(keys[VK_F10], 0);
    int code = -1;
    EXPECT_FALSE(QuitPosted(&code));
}

TEST_F(WindowProcedure, SizeReachesTheProjectionEvenMinimisedOrWithoutAContext) {
    ASSERT_TRUE(offscreen::MakeCurrent(offscreen::CreateContext()));
    EXPECT_EQ(Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 200)), 0);
    ExpectViewport(320, 200);
    Send(WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0));
    ExpectViewport(0, 1);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    void *context = offscreen::CurrentContext();
    offscreen::MakeCurrent(nullptr);
    EXPECT_EQ(Send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(800, 600)), 0); // harmless
    offscreen::MakeCurrent(context);
    ExpectViewport(0, 1);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    EXPECT_EQ(DefaultCalls(), 0);
    offscreen::MakeCurrent(nullptr);
    offscreen::DestroyContext(context);
}

TEST(MessageQueue, KeyDownsTranslateToCharactersTakenNext) {
    ResetProgram();
    ASSERT_TRUE(RegisterClassA(&BareClass()));
    HWND window = BareWindow(WS_POPUP);
    layer::PostMessage(window, WM_KEYDOWN, VK_ESCAPE, 1);
    layer::PostMessage(window, WM_KEYUP, VK_ESCAPE, 1);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_KEYDOWN);
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    EXPECT_EQ(keys[VK_ESCAPE], 1);
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_CHAR);
    EXPECT_EQ(msg.wParam, (WPARAM)27);
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_KEYUP);

    // F-keys and arrows make no character.
    layer::PostMessage(window, WM_KEYDOWN, VK_F2, 1);
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    TranslateMessage(&msg);
    layer::PostMessage(window, 0x0400 /* WM_USER */, 0, 0);
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)0x0400 /* WM_USER */);
}

TEST(ClassRegistry, NamesAreUniqueAndStayWhileAWindowUsesThem) {
    ResetProgram();
    ASSERT_TRUE(RegisterClassA(&BareClass()));
    EXPECT_FALSE(RegisterClassA(&BareClass()));
    HWND window = BareWindow(WS_POPUP);
    ASSERT_TRUE(window);
    EXPECT_FALSE(UnregisterClassA("OpenGL", NULL));
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassA("OpenGL", NULL));
    EXPECT_FALSE(UnregisterClassA("OpenGL", NULL));
    EXPECT_FALSE(BareWindow(WS_POPUP));
}

// Every fullscreen toggle registers the class again: the program must be
// able to do that for ever, not just until a counter wraps.
TEST(ClassRegistry, RegistersAgainAfterAnyNumberOfRounds) {
    ResetProgram();
    for (int round = 0; round < 70000; ++round) {
        ASSERT_TRUE(RegisterClassA(&BareClass())) << "round " << round;
        ASSERT_TRUE(UnregisterClassA("OpenGL", NULL)) << "round " << round;
    }
}

} // namespace
