// The entry point on Linux: runs the program's WinMain as Windows would,
// with no command line (arguments are not the program's business), then
// lets SDL put the display back before the process ends. Large blocks are
// handed back to the system when freed, as on Windows.
#include "platform/sdl_backend.h"

int main() {
    sdl::KeepLargeBlocksOffTheHeap();
    static char commandLine[] = "";
    const int status = WinMain(GetModuleHandleA(NULL), NULL, commandLine, SW_SHOW);
    sdl::Shutdown();
    return status;
}
