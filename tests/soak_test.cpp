// Thousands of fullscreen toggles on the fake system: after each one the
// program holds exactly one window, DC, context and class, the display
// and cursor match the mode, and the heap does not grow.
#include "tests/program_support.h"

#include "window/window.h"

#include <gtest/gtest.h>
#include <malloc.h>

// Under AddressSanitizer (GCC and clang say so differently) the heap is the
// sanitizer's own; GCC ships no header for its figures, the runtime has them.
#if defined(__SANITIZE_ADDRESS__)
#define ORVANEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVANEL_ASAN 1
#endif
#endif
#ifdef ORVANEL_ASAN
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#include <cstdlib>
#include <iostream>

namespace {

int Toggles() {
    const char *count = getenv("ORVANEL_SOAK_TOGGLES"); // the test build's own knob
    return count ? atoi(count) : 10000;
}

// glibc's figures never see AddressSanitizer's allocator.
size_t HeapInUse() {
#ifdef ORVANEL_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

TEST(Soak, ThousandsOfTogglesLeaveOneOfEverythingAndAFlatHeap) {
    static int done = 0, bad = 0;
    static size_t heapEarly = 0, heapLate = 0;
    const int toggles = Toggles();
    ResetProgram();
    fake::Answer({IDNO});
    for (int i = 0; i < toggles; ++i) {
        fake::Press(VK_F1);
        fake::Then([] {
            ++done;
            const bool full = fullscreen;
            const bool ok = fake::LiveWindows() == 1 && fake::LiveDCs() == 1 &&
                            fake::LiveContexts() == 1 && layer::LookUpClassInfo("OpenGL", nullptr) &&
                            fake::cursorCount == (full ? -1 : 0) &&
                            (fake::display.width == 640) == full && hRC && hDC && hWnd;
            if (!ok && bad++ < 5) ADD_FAILURE() << "after toggle " << done;
            // The fake's logs grow by design; keep them out of the measure.
            fake::calls.clear();
            fake::defaults.clear();
            fake::created.clear();
            fake::modeRequests.clear();
            fake::formatRequests.clear();
            if (done == 100) heapEarly = HeapInUse();
            heapLate = HeapInUse();
        });
    }
    fake::Press(VK_ESCAPE);
    EXPECT_EQ(RunWinMain(), 27);
    EXPECT_FALSE(fake::scriptRanOut);
    EXPECT_EQ(done, toggles);
    EXPECT_EQ(bad, 0);
    ExpectAllReleased();
    const long growth = (long)heapLate - (long)heapEarly;
    std::cout << "soak: " << done << " toggles, heap " << heapEarly << " bytes at toggle 100, "
              << heapLate << " at the last (growth " << growth << ")\n";
    EXPECT_TRUE(toggles < 1000 || growth < 64 * 1024) << growth;
}

} // namespace
