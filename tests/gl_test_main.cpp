// main() for the tests that drive real Mesa GL. Under AddressSanitizer the
// leak check runs here, once every test has finished, instead of at exit:
// by exit time Mesa's and LLVM's own exit handlers are tearing down their
// threads and tables, and LeakSanitizer walking a half-dismantled process
// has crashed in its own thread tracer. Here everything is still quiet and
// whatever our code leaked is just as unreachable.
#include "tests/sanitizers.h"

#include <gtest/gtest.h>

#ifdef ORVANEL_ASAN
#include <sanitizer/lsan_interface.h>
#endif

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
#ifdef ORVANEL_ASAN
    __lsan_do_leak_check(); // ends the process if anything leaked; no check at exit after it
#endif
    return status;
}
