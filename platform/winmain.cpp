// The process entry on Linux: runs the program's WinMain as Windows would,
// with no command line (arguments are not the program's business).
#include "platform/win32.h"

int main() {
    static char commandLine[] = "";
    return WinMain(GetModuleHandleA(NULL), NULL, commandLine, SW_SHOW);
}
