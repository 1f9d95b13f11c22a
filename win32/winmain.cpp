// The process entry on Linux: runs the program's WinMain as Windows would,
// with no command line (arguments are not the program's business). As X
// programs do, it says so and ends with status 1 when there is no display.
#include "win32/layer.h"

#include <errno.h>

#include <cstdio>

int main() {
    if (!layer::Start()) {
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, driver::Error());
        return 1;
    }
    static char commandLine[] = "";
    return WinMain(GetModuleHandleA(NULL), NULL, commandLine, SW_SHOW);
}
