// Every call that can fail, failed in turn: a whole run of the program
// (start, F1, F1, Escape; windowed and fullscreen) with call k failing once,
// and again with every call from k on failing. After each run the user has
// been told, the exit status is right, and nothing is left behind that the
// program could have released.
#include "tests/program_support.h"

#include "window/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>

namespace {

void Script(bool startFullscreen) {
    fake::Answer({startFullscreen ? IDYES : IDNO});
    fake::Idle();
    fake::Press(VK_F1);
    fake::Idle();
    fake::Press(VK_F1);
    fake::Idle();
    fake::Press(VK_ESCAPE);
}

// The box a single failure of each call shows, if any.
const std::map<std::string, std::string> kBoxOf = {
    {"RegisterClassA", "Failed To Register The Window Class."},
    {"ChangeDisplaySettingsA", "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use "
                               "Windowed Mode Instead?"},
    {"CreateWindowExA", "Window Creation Error."},
    {"GetDC", "Can't Create A GL Device Context."},
    {"ChoosePixelFormat", "Can't Find A Suitable PixelFormat."},
    {"SetPixelFormat", "Can't Set The PixelFormat."},
    {"wglCreateContext", "Can't Create A GL Rendering Context."},
    {"wglMakeCurrent(context)", "Can't Activate The GL Rendering Context."},
    {"wglMakeCurrent(none)", "Release Of DC And RC Failed."},
    {"wglDeleteContext", "Release Rendering Context Failed."},
    {"ReleaseDC", "Release Device Context Failed."},
    {"DestroyWindow", "Could Not Release hWnd."},
    {"UnregisterClassA", "Could Not Unregister Class."},
};

bool Failed(const std::string &call) {
    return std::any_of(fake::failed.begin(), fake::failed.end(),
                       [&](const std::string &f) { return f.rfind(call, 0) == 0; });
}

bool Shown(const std::string &text) {
    return std::any_of(fake::boxes.begin(), fake::boxes.end(),
                       [&](const fake::MessageBox &b) { return b.text == text; });
}

// What holds after any run, whatever failed.
void ExpectSoundEnd(int status, const std::string &run) {
    SCOPED_TRACE(run);
    const bool toldOfError = std::any_of(fake::boxes.begin(), fake::boxes.end(),
                                         [](const fake::MessageBox &b) { return b.caption == "ERROR"; });
    EXPECT_TRUE(status == 0 || status == 27) << status;
    EXPECT_TRUE(!toldOfError || status == 0) << status;
    EXPECT_TRUE(status != 27 || !fake::scriptRanOut);

    // Live now only what the program tried to release and could not.
    const bool windowStuck = Failed("DestroyWindow");
    const bool classKept = windowStuck || Failed("UnregisterClassA") || Failed("MessageBoxA") ||
                           Shown("Program Will Now Close.");
    EXPECT_TRUE(windowStuck || fake::LiveWindows() == 0);
    EXPECT_TRUE(windowStuck || Failed("ReleaseDC") || fake::LiveDCs() == 0);
    EXPECT_TRUE(Failed("wglDeleteContext") || fake::LiveContexts() == 0);
    EXPECT_TRUE(classKept || !layer::LookUpClassInfo("OpenGL", nullptr));
    const bool desktop = fake::display.width == fake::kDesktop.width &&
                         fake::display.bits == fake::kDesktop.bits;
    EXPECT_TRUE(desktop || Failed("ChangeDisplaySettingsA(restore)"));
    EXPECT_EQ(fake::cursorCount, 0);
    for (const fake::MessageBox &box : fake::boxes) EXPECT_EQ(box.owner, (HWND)NULL);
}

TEST(FaultSweep, EveryFallibleCallFailedOnceAndFromThenOn) {
    int runs = 0;
    for (bool startFullscreen : {false, true}) {
        ResetProgram();
        Script(startFullscreen);
        ASSERT_EQ(RunWinMain(), 27);
        ASSERT_FALSE(fake::scriptRanOut);
        const int count = fake::fallibleCalls;
        const std::vector<std::string> clean = fake::calls;

        for (int k = 1; k <= count; ++k) {
            for (bool always : {false, true}) {
                ResetProgram();
                Script(startFullscreen);
                fake::FailNth(k, always);
                const int status = RunWinMain();
                ++runs;
                const std::string run = std::string(startFullscreen ? "fullscreen" : "windowed") +
                                        ", call " + std::to_string(k) + (always ? " and on" : " once") +
                                        ": " + (fake::failed.empty() ? "?" : fake::failed[0]);
                ExpectSoundEnd(status, run);
                if (always || fake::failed.empty()) continue;

                // A single failure shows its own box.
                std::string call = fake::failed[0];
                if (call == "ChangeDisplaySettingsA(restore)") continue; // nothing to say
                if (call.rfind("wglMakeCurrent", 0) != 0) call = call.substr(0, call.find('('));
                auto box = kBoxOf.find(call);
                EXPECT_TRUE(box == kBoxOf.end() || Shown(box->second)) << run;
            }
        }
        EXPECT_GT(count, 40) << "the scripted run makes fewer fallible calls than expected";
    }
    std::cout << "fault sweep: " << runs << " runs with a failed call\n";
    RecordProperty("runs", runs);
}

} // namespace
