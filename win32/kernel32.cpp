// KERNEL32: the program's module handle. It has no counterpart here; it
// only needs to be distinct and non-null, as the program never reads it.
#include "win32/win32.h"

#include <cstdint>

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    return moduleName ? NULL : reinterpret_cast<HMODULE>(std::uintptr_t{0x400000});
}
