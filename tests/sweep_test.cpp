// Every Win32 call that can fail, failed in turn: a whole run of the
// program (start, F1, F1, Escape; windowed and fullscreen) with call k
// failing once, and again with every call from k on failing. And thousands
// of fullscreen toggles with nothing failing.
#include "tests/program.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>

namespace {

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
                                            "wglDeleteContext", "ReleaseDC", "DestroyWindow",
                                            "UnregisterClassA"};

bool Failed(const std::string &call) {
    return std::any_of(fake::failed.begin(), fake::failed.end(),
                       [&](const std::string &f) { return f.rfind(call, 0) == 0; });
}

// What holds after any run, whatever failed: live now is only what the
// program tried to release and could not.
void ExpectSoundEnd(int status) {
    const std::vector<std::string> shown = Describe();
    const bool error = std::any_of(shown.begin(), shown.end(),
                                   [](const std::string &b) { return b.rfind("ERROR|", 0) == 0; });
    EXPECT_TRUE(status == 0 || (status == 27 && !error && !fake::scriptRanOut)) << status;
    const bool windowStuck = Failed("DestroyWindow");
    EXPECT_TRUE(windowStuck || fake::windows == 0);
    EXPECT_TRUE(Failed("wglDeleteContext") || fake::contexts == 0);
    EXPECT_TRUE(windowStuck || Failed("UnregisterClassA") || Failed("MessageBoxA") ||
                Failed("RegisterClassA") || !fake::ClassRegistered() ||
                std::find(shown.begin(), shown.end(), "ERROR|Program Will Now Close.|0x10") !=
                    shown.end());
    EXPECT_TRUE(!fake::modeChanged || Failed("ChangeDisplaySettingsA(restore)"));
    EXPECT_EQ(fake::cursorCount, 0);
    for (const fake::Box &box : fake::boxes) EXPECT_EQ(box.owner, (HWND)NULL);
}

// A single failure's own box comes first after the question; a creation
// step's comes after the whole teardown, in order, with nothing left.
void ExpectItsBox() {
    std::string call = fake::failed[0];
    if (call == "ChangeDisplaySettingsA(restore)") return; // nothing to say
    if (call.rfind("wglMakeCurrent", 0) != 0) call = call.substr(0, call.find('('));
    const auto box = kBoxOf.find(call);
    if (box == kBoxOf.end()) return; // nothing to say: not a failure the user hears of
    ASSERT_GE(fake::boxes.size(), 2u);
    EXPECT_EQ(Describe()[1], box->second);
    if (box->second.rfind("ERROR|", 0) != 0 || call == "RegisterClassA") return;
    EXPECT_TRUE(!fake::boxes[1].modeChanged && fake::boxes[1].windows == 0 &&
                fake::boxes[1].contexts == 0);
    const std::vector<std::string> names = fake::CallNames();
    const auto shown = std::find(std::find(names.begin(), names.end(), "MessageBoxA") + 1,
                                 names.end(), "MessageBoxA");
    const auto at = std::find(std::make_reverse_iterator(shown), names.rend(),
                              call.substr(0, call.find('(')));
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
            SCOPED_TRACE(testing::Message() << (full ? "fullscreen" : "windowed") << ", call "
                                            << (k + 1) / 2 << (k % 2 ? ": " : " on: ")
                                            << (fake::failed.empty() ? "?" : fake::failed[0]));
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
    const char *count = getenv("ORVANEL_SOAK_TOGGLES"); // the test build's own knob
    const int toggles = count ? atoi(count) : 10000;
    static int done, bad;
    static size_t early, late;
    ResetProgram();
    fake::reuseContexts = true; // Mesa's context creation is not what is soaked here
    fake::Answer({IDNO});
    for (int i = 0; i < toggles; ++i) {
        fake::Press(VK_F1);
        fake::Then([] {
            const bool ok = fake::windows == 1 && fake::contexts == 1 && hRC && hDC && hWnd &&
                            fake::cursorCount == (fullscreen ? -1 : 0) &&
                            fake::modeChanged == !!fullscreen;
            if (!ok && bad++ < 5) ADD_FAILURE() << "after toggle " << done;
            fake::calls.clear(); // the logs grow by design
            fake::defaults.clear();
            glFinish(); // llvmpipe's threads done with the frame: only what stays counts
            if (++done == 100) early = HeapInUse();
            late = HeapInUse();
        });
    }
    fake::Press(VK_ESCAPE);
    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_EQ(done, toggles);
    ExpectAllReleased();
    const long growth = (long)late - (long)early;
    std::cout << "soak: " << done << " toggles, heap growth " << growth << " bytes\n";
    EXPECT_TRUE(toggles < 1000 || growth < 64 * 1024) << growth;
}

} // namespace
