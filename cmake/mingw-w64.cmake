# Cross-compiles the Windows program on Debian with MinGW-w64 (64-bit):
#   cmake --preset mingw (CMakePresets.json)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORVANEL_MINGW_TARGET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORVANEL_MINGW_TARGET}-gcc)
set(CMAKE_CXX_COMPILER ${ORVANEL_MINGW_TARGET}-g++)
set(CMAKE_RC_COMPILER ${ORVANEL_MINGW_TARGET}-windres)

# Libraries and headers come from the MinGW-w64 tree only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ORVANEL_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
