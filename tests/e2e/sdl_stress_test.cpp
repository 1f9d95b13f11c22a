// The SDL2 backend in this process, on a private Xvfb, held to what the
// stress tests of the real program found: key bursts whose modifiers SDL
// misreads, AltGr taken for Alt, and the memory that windows and contexts
// take and leave in the heap.
// gtest first: Xlib's macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include "platform/sdl_backend.h"
#include "tests/e2e/sdl_private_server.h"

#include <X11/extensions/XTest.h>
#include <malloc.h>

#include <cstring>
#include <fstream>
#include <string>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// Records everything and passes it on, as the program's procedure passes
// on what it does not handle; the close request ends nothing here.
LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({message, wParam, lParam});
    if (message == WM_CLOSE) return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

const char kClass[] = "StressTest";
const char kTitle[] = "Backend under stress";

class Modifiers : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server && server->Ready());
        seen.clear();
        ASSERT_NE(RegisterTestClass(kClass, RecordingProc), 0);
        RECT r{0, 0, 320, 240};
        AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
        window = CreateWindowExA(0, kClass, kTitle, WS_OVERLAPPEDWINDOW, 0, 0, r.right - r.left,
                                 r.bottom - r.top, NULL, NULL, GetModuleHandleA(NULL), NULL);
        ASSERT_TRUE(window);
        ShowWindow(window, SW_SHOW);
        SetFocus(window);
        ASSERT_TRUE(desk.WaitForWindow(kTitle));
        // Whatever showing the window brought, taken before the keys.
        PumpUntil([] { return false; }, 200);
        seen.clear();
    }
    void TearDown() override {
        if (window) {
            EXPECT_TRUE(DestroyWindow(window));
        }
        EXPECT_TRUE(UnregisterClassA(kClass, GetModuleHandleA(NULL)));
    }

    // Key events sent in one go, with nothing between them to slow the
    // server down: it stamps them all within a millisecond or so, and the
    // window's connection has them all waiting when SDL reads the first.
    void Burst(const std::vector<std::pair<const char *, bool>> &events) {
        Display *x = server->X();
        for (const auto &e : events)
            XTestFakeKeyEvent(x, XKeysymToKeycode(x, XStringToKeysym(e.first)), e.second,
                              CurrentTime);
        XSync(x, False);
    }

    bool F4Seen() { return Find(WM_KEYUP, VK_F4) || Find(WM_SYSKEYUP, VK_F4); }

    e2e::Desk desk{server ? server->X() : nullptr};
    HWND window = NULL;
};

// Alt let go, F4 pressed, Alt pressed again, all within a millisecond: SDL
// takes the release and the press of Alt for the server's auto-repeat and
// drops the release, so by its own record Alt is held across F4. The
// server says it was not: F4 is an ordinary key here, not Alt+F4.
TEST_F(Modifiers, AltLetGoAndPressedAgainAroundF4InOneBurstLeavesF4AnOrdinaryKey) {
    for (const char *alt : {"Alt_L", "Alt_R"}) {
        SCOPED_TRACE(alt);
        seen.clear();
        Burst({{alt, true}});
        ASSERT_TRUE(PumpUntil([] { return Find(WM_SYSKEYDOWN, VK_MENU) != nullptr; }));
        Burst({{alt, false}, {"F4", true}, {alt, true}, {"F4", false}, {alt, false}});
        ASSERT_TRUE(PumpUntil([&] { return F4Seen(); }));
        const Seen *down = Find(WM_KEYDOWN, VK_F4);
        EXPECT_TRUE(down) << "F4 came as a system key: Alt taken as held";
        if (down) {
            EXPECT_EQ(down->lParam & (1 << 29), 0) << "Alt taken as held";
        }
        EXPECT_FALSE(Find(WM_SYSKEYDOWN, VK_F4));
        EXPECT_FALSE(Find(WM_CLOSE, 0)) << "read as Alt+F4";
    }
}

// AltGr (ISO_Level3_Shift, which SDL reports as the right Alt) gives a key
// its third level, as Ctrl+Alt does on Windows: F4 with it is an ordinary
// key. The right Alt itself is Alt: with F4 it closes.
TEST_F(Modifiers, AltGrWithF4IsAnOrdinaryKeyAndTheRightAltWithF4Closes) {
    Burst({{"ISO_Level3_Shift", true}});
    desk.Press("F4", nullptr, 0);
    Burst({{"ISO_Level3_Shift", false}});
    ASSERT_TRUE(PumpUntil([&] { return F4Seen(); }));
    const Seen *down = Find(WM_KEYDOWN, VK_F4);
    ASSERT_TRUE(down) << "AltGr+F4 came as a system key";
    EXPECT_EQ(down->lParam & (1 << 29), 0) << "AltGr taken for Alt";
    EXPECT_FALSE(Find(WM_CLOSE, 0)) << "AltGr+F4 closes";

    seen.clear();
    desk.Press("F4", "Alt_R", 0);
    ASSERT_TRUE(PumpUntil([] { return Find(WM_CLOSE, 0) != nullptr; }));
    ASSERT_TRUE(Find(WM_SYSKEYDOWN, VK_F4));
    EXPECT_NE(Find(WM_SYSKEYDOWN, VK_F4)->lParam & (1 << 29), 0) << "Alt held";
}

// What an F1 does to the C heap: a context's buffers freed and new ones
// made. Each must come from the system and go back to it, not stay in the
// heap: glibc would raise its threshold after the first free and keep the
// next ones there.
TEST(LargeBlocks, AFreedWindowBufferDoesNotSendTheNextOneToTheHeap) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer brings an allocator of its own";
#endif
    sdl::KeepLargeBlocksOffTheHeap();
    const size_t kBuffer = 640 * 480 * 4;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const size_t mappedBefore = mallinfo2().hblkhd;
        char *volatile block = static_cast<char *>(std::malloc(kBuffer));
        ASSERT_TRUE(block);
        block[0] = 1;
        EXPECT_GE(mallinfo2().hblkhd, mappedBefore + kBuffer) << "from the heap";
        std::free(block);
        EXPECT_EQ(mallinfo2().hblkhd, mappedBefore) << "not given back";
    }
}

// A resident-set figure of this process from /proc, in KiB.
long StatusKiB(const char *field) {
    std::ifstream in("/proc/self/status");
    const std::string prefix = std::string(field) + ":";
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
    return -1;
}

// What an F1 leaves in the heap: the old window's context and buffers
// freed in the middle of it, below blocks still in use, so that nothing
// can be cut off its end. Taking the window down hands those pages back.
TEST(LargeBlocks, TakingAWindowDownGivesTheHeapsFreePagesBack) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer brings an allocator of its own";
#endif
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = kClass;
    ASSERT_NE(RegisterClassA(&wc), 0);
    const HWND window = CreateWindowExA(0, kClass, kTitle, WS_OVERLAPPEDWINDOW, 0, 0, 320, 240,
                                        NULL, NULL, GetModuleHandleA(NULL), NULL);
    ASSERT_TRUE(window);

    const int kBlocks = 4096, kBlock = 1024; // 4 MiB, each block well under the mapping threshold
    std::vector<char *> blocks;
    for (int i = 0; i < kBlocks; ++i) {
        blocks.push_back(static_cast<char *>(std::malloc(kBlock)));
        std::memset(blocks.back(), 1, kBlock);
    }
    char *volatile pin = static_cast<char *>(std::malloc(kBlock)); // keeps the heap's end
    pin[0] = 1;
    for (char *b : blocks)
        std::free(b);
    const long before = StatusKiB("RssAnon");

    EXPECT_TRUE(DestroyWindow(window));
    const long after = StatusKiB("RssAnon");
    EXPECT_LT(after, before - kBlocks * kBlock / 1024 / 2)
        << "resident anonymous memory " << before << " KiB before, " << after << " after";
    std::free(pin);
    EXPECT_TRUE(UnregisterClassA(kClass, GetModuleHandleA(NULL)));
}

} // namespace
