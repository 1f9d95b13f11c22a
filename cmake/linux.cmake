# The Linux program: the unchanged program code on our Win32 layer, with
# the SDL2 driver talking to the display.
find_package(SDL2 REQUIRED)

find_package(X11 REQUIRED COMPONENTS Xrandr)
add_library(orvanel_sdl STATIC win32/sdl/driver.cpp win32/sdl/focus.cpp
            win32/sdl/guard.cpp win32/sdl/mode.cpp)
target_include_directories(orvanel_sdl PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(orvanel_sdl PUBLIC SDL2::SDL2 OpenGL::GL X11::X11 X11::Xrandr)

add_executable(orvanel win32/winmain.cpp)
target_link_libraries(orvanel PRIVATE orvanel_program "$<LINK_GROUP:RESCAN,orvanel_win32,orvanel_sdl>")

include(GNUInstallDirs)
install(TARGETS orvanel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES app/orvanel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES app/orvanel.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)

# The Debian package.
include(cmake/deb.cmake)
