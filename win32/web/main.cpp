// The process entry in the browser: runs the program's WinMain as Windows
// would, with no command line. Once the program has waited for the
// browser, main's return goes back to no one (Asyncify resumed it from an
// event), so the exit status is handed to the page by exit() itself.
#include "win32/layer.h"

#include <cstdio>
#include <cstdlib>

int main() {
    if (!layer::Start()) {
        std::fprintf(stderr, "orvanel: %s\n", driver::Error());
        std::exit(1);
    }
    static char commandLine[] = "";
    std::exit(WinMain(GetModuleHandleA(NULL), NULL, commandLine, SW_SHOW));
}
