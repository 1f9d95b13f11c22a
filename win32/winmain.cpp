// The process entry: runs the program's WinMain as Windows would, with no
// command line (arguments are not the program's business). As X programs
// do, it says so and ends with status 1 when there is no display. The
// status goes out through exit(): in the browser, main has long given the
// page its turn (Asyncify) and its return would reach no one.
#include "win32/layer.h"

#include <cstdlib>

int main() {
    if (!layer::Start()) {
        layer::PrintRefusal(nullptr);
        std::exit(1);
    }
    static char commandLine[] = "";
    std::exit(WinMain(GetModuleHandleA(NULL), NULL, commandLine, SW_SHOW));
}
