// Creating and tearing down the window and its context: what is asked of
// the system, every failure and its box, and what is left afterwards.
#include "tests/program_support.h"

#include "window/window.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const UINT kErrorBox = MB_OK | MB_ICONEXCLAMATION;
const UINT kShutdownBox = MB_OK | MB_ICONINFORMATION;

class Lifecycle : public ::testing::Test {
  protected:
    void SetUp() override { ResetProgram(); }
    static GLint Integer(GLenum what) {
        GLint value = 0;
        glGetIntegerv(what, &value);
        return value;
    }
    static size_t IndexOf(const std::vector<std::string> &names, const std::string &name,
                          size_t from = 0) {
        auto it = std::find(names.begin() + from, names.end(), name);
        return it == names.end() ? std::string::npos : size_t(it - names.begin());
    }
};

TEST_F(Lifecycle, WindowedCreationAsksForA640By480ClientAreaAndAReadyContext) {
    ASSERT_EQ(CreateGLWindow("Orvanel", 640, 480, 16, FALSE), TRUE);
    EXPECT_TRUE(fake::boxes.empty());
    EXPECT_EQ(fullscreen, FALSE);

    ASSERT_EQ(fake::created.size(), 1u);
    const fake::CreatedWindow &w = fake::created[0];
    EXPECT_EQ(w.className, "OpenGL");
    EXPECT_EQ(w.title, "Orvanel");
    EXPECT_EQ(w.exStyle, 0x40100u);
    EXPECT_EQ(w.style, 0xCF0000u | 0x6000000u);
    EXPECT_EQ(w.x, 0);
    EXPECT_EQ(w.y, 0);
    EXPECT_GT(w.width, 640); // the frame and caption come on top
    EXPECT_GT(w.height, 480);
    EXPECT_EQ(w.clientWidth, 640);
    EXPECT_EQ(w.clientHeight, 480);
    EXPECT_EQ(w.parent, (HWND)NULL);
    EXPECT_EQ(w.menu, (HMENU)NULL);
    EXPECT_EQ(w.param, (LPVOID)NULL);
    EXPECT_EQ(w.instance, GetModuleHandleA(NULL));

    ASSERT_EQ(fake::formatRequests.size(), 1u);
    const PIXELFORMATDESCRIPTOR &p = fake::formatRequests[0];
    EXPECT_EQ(p.nSize, 40);
    EXPECT_EQ(p.nVersion, 1);
    EXPECT_EQ(p.dwFlags, 0x25u);
    EXPECT_EQ(p.iPixelType, PFD_TYPE_RGBA);
    EXPECT_EQ(p.cColorBits, 16);
    EXPECT_EQ(p.cDepthBits, 16);
    EXPECT_EQ(p.cAlphaBits + p.cAccumBits + p.cStencilBits + p.cAuxBuffers + p.iLayerType, 0);

    // Shown, in front, focused; then the projection and render state on the
    // current context.
    const std::vector<std::string> names = fake::CallNames();
    const size_t current = IndexOf(names, "wglMakeCurrent");
    EXPECT_LT(current, IndexOf(names, "ShowWindow"));
    EXPECT_LT(IndexOf(names, "ShowWindow"), IndexOf(names, "SetForegroundWindow"));
    EXPECT_LT(IndexOf(names, "SetForegroundWindow"), IndexOf(names, "SetFocus"));
    EXPECT_EQ(IndexOf(names, "ChangeDisplaySettingsA"), std::string::npos);
    EXPECT_EQ(fake::cursorCount, 0);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_TRUE(hInstance && hWnd && hDC && hRC);

    KillGLWindow();
    EXPECT_TRUE(fake::boxes.empty());
    ExpectAllReleased();
}

TEST_F(Lifecycle, ClassUsesTheStockIconAndArrowAndOwnDC) {
    ASSERT_TRUE(CreateGLWindow("Orvanel", 640, 480, 16, FALSE));
    WNDCLASSA wc{};
    ASSERT_TRUE(layer::LookUpClassInfo("OpenGL", &wc));
    EXPECT_EQ(wc.style, 0x23u);
    EXPECT_EQ(wc.lpfnWndProc, &WndProc);
    EXPECT_EQ(wc.cbClsExtra + wc.cbWndExtra, 0);
    EXPECT_EQ(wc.hInstance, GetModuleHandleA(NULL));
    EXPECT_EQ(wc.hIcon, LoadIconA(NULL, IDI_WINLOGO));
    EXPECT_EQ(wc.hCursor, LoadCursorA(NULL, IDC_ARROW));
    EXPECT_EQ(wc.hbrBackground, (HBRUSH)NULL);
    EXPECT_EQ(wc.lpszMenuName, (LPCSTR)NULL);
    EXPECT_STREQ(wc.lpszClassName, "OpenGL");
    KillGLWindow();
}

TEST_F(Lifecycle, FullscreenSwitchesTheModeHidesTheCursorAndCoversTheScreen) {
    ASSERT_EQ(CreateGLWindow("Orvanel", 640, 480, 16, TRUE), TRUE);
    EXPECT_EQ(fullscreen, TRUE);
    ASSERT_EQ(fake::modeRequests.size(), 1u);
    const DEVMODEA &m = fake::modeRequests[0];
    EXPECT_EQ(m.dmSize, 148);
    EXPECT_EQ(m.dmPelsWidth, 640u);
    EXPECT_EQ(m.dmPelsHeight, 480u);
    EXPECT_EQ(m.dmBitsPerPel, 16u);
    EXPECT_EQ(m.dmFields, 0x1C0000u);
    EXPECT_EQ(m.dmDisplayFrequency + m.dmDriverExtra + m.dmDisplayFlags, 0u);
    EXPECT_EQ(fake::calls[IndexOf(fake::CallNames(), "ChangeDisplaySettingsA")],
              "ChangeDisplaySettingsA(640x480x16, 0x4)");
    EXPECT_EQ(fake::display.width, 640u);
    EXPECT_EQ(fake::cursorCount, -1);

    const fake::CreatedWindow &w = fake::created.at(0);
    EXPECT_EQ(w.exStyle, 0x40000u);
    EXPECT_EQ(w.style, 0x80000000u | 0x6000000u);
    EXPECT_EQ(w.width, 640);
    EXPECT_EQ(w.height, 480);

    // Teardown restores the display and the cursor first.
    const size_t mark = fake::calls.size();
    KillGLWindow();
    const std::vector<std::string> expected = {"ChangeDisplaySettingsA", "ShowCursor", "wglMakeCurrent",
                                               "wglDeleteContext", "ReleaseDC", "DestroyWindow",
                                               "UnregisterClassA"};
    EXPECT_EQ(fake::CallNames(mark), expected);
    EXPECT_EQ(fake::calls[mark], "ChangeDisplaySettingsA(restore)");
    EXPECT_EQ(fullscreen, TRUE); // left as it was; the caller decides the next mode
    ExpectAllReleased();
}

TEST_F(Lifecycle, RefusedModeAnsweredYesFallsBackToAWindow) {
    fake::accepts640x480x16 = false;
    fake::Answer({IDYES});
    ASSERT_EQ(CreateGLWindow("Orvanel", 640, 480, 16, TRUE), TRUE);
    ASSERT_EQ(fake::boxes.size(), 1u);
    EXPECT_EQ(Describe(fake::boxes[0]), "Vorel GL|The Requested Fullscreen Mode Is Not Supported By\n"
                                        "Your Video Card. Use Windowed Mode Instead?|0x34");
    EXPECT_EQ(fullscreen, FALSE);
    EXPECT_EQ(fake::created.at(0).clientWidth, 640);
    EXPECT_EQ(fake::created.at(0).style & WS_POPUP, 0u);
    EXPECT_EQ(fake::cursorCount, 0);

    const size_t mark = fake::calls.size();
    KillGLWindow();
    for (const std::string &name : fake::CallNames(mark)) {
        EXPECT_NE(name, "ChangeDisplaySettingsA");
        EXPECT_NE(name, "ShowCursor");
    }
    ExpectAllReleased();
}

TEST_F(Lifecycle, RefusedModeAnsweredNoClosesLeavingTheClass) {
    fake::accepts640x480x16 = false;
    fake::Answer({IDNO});
    EXPECT_EQ(CreateGLWindow("Orvanel", 640, 480, 16, TRUE), FALSE);
    ASSERT_EQ(fake::boxes.size(), 2u);
    EXPECT_EQ(Describe(fake::boxes[1]), "ERROR|Program Will Now Close.|0x10");
    EXPECT_EQ(fullscreen, TRUE);
    EXPECT_TRUE(layer::LookUpClassInfo("OpenGL", nullptr));
    EXPECT_EQ(fake::LiveWindows(), 0);
    EXPECT_EQ(fake::cursorCount, 0);
    EXPECT_EQ(fake::display.width, fake::kDesktop.width);
}

TEST_F(Lifecycle, ClassRegistrationFailureSaysSoAndBuildsNothing) {
    fake::Fail("RegisterClassA");
    EXPECT_EQ(CreateGLWindow("Orvanel", 640, 480, 16, TRUE), FALSE);
    ASSERT_EQ(fake::boxes.size(), 1u);
    EXPECT_EQ(Describe(fake::boxes[0]), "ERROR|Failed To Register The Window Class.|0x30");
    EXPECT_TRUE(fake::modeRequests.empty());
    EXPECT_TRUE(fake::created.empty());
}

// Each step after the window exists, failed once: its box comes after a
// complete teardown, and nothing is left.
struct StepFailure {
    const char *call;
    const char *text;
};

const StepFailure kStepFailures[] = {
    {"CreateWindowExA", "Window Creation Error."},
    {"GetDC", "Can't Create A GL Device Context."},
    {"ChoosePixelFormat", "Can't Find A Suitable PixelFormat."},
    {"SetPixelFormat", "Can't Set The PixelFormat."},
    {"wglCreateContext", "Can't Create A GL Rendering Context."},
    {"wglMakeCurrent", "Can't Activate The GL Rendering Context."},
};

class CreationStepFails : public ::testing::TestWithParam<std::tuple<StepFailure, bool>> {
  protected:
    void SetUp() override { ResetProgram(); }
};

TEST_P(CreationStepFails, TearsDownThenShowsItsBox) {
    const StepFailure step = std::get<0>(GetParam());
    const bool wantFullscreen = std::get<1>(GetParam());
    fake::Fail(step.call);
    EXPECT_EQ(CreateGLWindow("Orvanel", 640, 480, 16, wantFullscreen), FALSE);

    ASSERT_EQ(fake::boxes.size(), 1u) << Describe(fake::boxes.back());
    const fake::MessageBox &box = fake::boxes[0];
    EXPECT_EQ(Describe(box), std::string("ERROR|") + step.text + "|0x30");
    EXPECT_EQ(box.owner, (HWND)NULL);
    EXPECT_FALSE(box.displayChanged);
    EXPECT_EQ(box.liveWindows + box.liveDCs + box.liveContexts, 0);

    // Teardown order after the failing call: display and cursor, context,
    // DC, window, class; then the box.
    const std::vector<std::string> names = fake::CallNames();
    auto indexOf = [&](const char *name) {
        return size_t(std::find(names.begin(), names.end(), name) - names.begin());
    };
    const size_t failed = indexOf(step.call);
    ASSERT_LT(failed, names.size());
    std::vector<std::string> teardown(names.begin() + failed + 1, names.end());
    std::vector<std::string> expected;
    if (wantFullscreen) expected = {"ChangeDisplaySettingsA", "ShowCursor"};
    if (std::string(step.call) == "wglMakeCurrent") expected.push_back("wglDeleteContext");
    if (failed > indexOf("GetDC")) expected.push_back("ReleaseDC");
    if (std::string(step.call) != "CreateWindowExA") expected.push_back("DestroyWindow");
    expected.push_back("UnregisterClassA");
    expected.push_back("MessageBoxA");
    EXPECT_EQ(teardown, expected);
    ExpectAllReleased();
}

INSTANTIATE_TEST_SUITE_P(WindowedAndFullscreen, CreationStepFails,
                         ::testing::Combine(::testing::ValuesIn(kStepFailures), ::testing::Bool()),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).call) +
                                    (std::get<1>(info.param) ? "_Fullscreen" : "_Windowed");
                         });

// Teardown: each of its five release steps failing, in every combination.
// Every step is still attempted, each failure has its own box, and the
// handles end up null.
TEST_F(Lifecycle, TeardownFailuresAreReportedAndNeverStopIt) {
    const char *steps[5] = {"wglMakeCurrent", "wglDeleteContext", "ReleaseDC", "DestroyWindow",
                            "UnregisterClassA"};
    const char *texts[5] = {"Release Of DC And RC Failed.", "Release Rendering Context Failed.",
                            "Release Device Context Failed.", "Could Not Release hWnd.",
                            "Could Not Unregister Class."};
    for (int mask = 0; mask < 32; ++mask) {
        ResetProgram();
        ASSERT_TRUE(CreateGLWindow("Orvanel", 640, 480, 16, TRUE));
        for (int i = 0; i < 5; ++i)
            if (mask & (1 << i)) fake::Fail(steps[i]);
        const size_t mark = fake::calls.size();
        KillGLWindow();

        std::vector<std::string> shown;
        for (const fake::MessageBox &box : fake::boxes) shown.push_back(Describe(box));
        std::vector<std::string> expected;
        // A window that could not be destroyed still holds its class.
        const int failing = (mask & 8) ? mask | 16 : mask;
        for (int i = 0; i < 5; ++i)
            if (failing & (1 << i)) expected.push_back(std::string("SHUTDOWN ERROR|") + texts[i] + "|0x40");
        EXPECT_EQ(shown, expected) << "mask " << mask;
        std::vector<std::string> attempted;
        for (const std::string &name : fake::CallNames(mark))
            if (name != "MessageBoxA") attempted.push_back(name);
        EXPECT_EQ(attempted.size(), 7u) << "mask " << mask;
        EXPECT_EQ(hRC, (HGLRC)NULL);
        EXPECT_EQ(hDC, (HDC)NULL);
        EXPECT_EQ(hWnd, (HWND)NULL);
        EXPECT_EQ(fake::cursorCount, 0);
        EXPECT_EQ(fake::display.width, fake::kDesktop.width);
    }
}

TEST_F(Lifecycle, TeardownSkipsWhatIsNotThere) {
    // Nothing live at all: only the class is tried, and its failure shown.
    fullscreen = FALSE;
    KillGLWindow();
    EXPECT_EQ(fake::CallNames(), (std::vector<std::string>{"UnregisterClassA", "MessageBoxA"}));
    EXPECT_EQ(Describe(fake::boxes.at(0)), "SHUTDOWN ERROR|Could Not Unregister Class.|0x40");

    // A window without DC or context.
    ResetProgram();
    ASSERT_TRUE(CreateGLWindow("Orvanel", 640, 480, 16, FALSE));
    const HGLRC context = hRC;
    wglMakeCurrent(NULL, NULL);
    wglDeleteContext(context);
    ReleaseDC(hWnd, hDC);
    hRC = NULL;
    hDC = NULL;
    const size_t mark = fake::calls.size();
    KillGLWindow();
    EXPECT_EQ(fake::CallNames(mark), (std::vector<std::string>{"DestroyWindow", "UnregisterClassA"}));
    EXPECT_TRUE(fake::boxes.empty());
    ExpectAllReleased();
}

} // namespace
