// The entry point on Linux: runs the program's WinMain as Windows would,
// with no command line (arguments are not the program's business), then
// lets SDL put the display back before the process ends.
#include "platform/sdl_backend.h"

int main() {
    static char commandLine[] = "";
    const int status = WinMain(GetModuleHandleA(NULL), NULL, commandLine, SW_SHOW);
    sdl::Shutdown();
    return status;
}
