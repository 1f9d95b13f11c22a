# The Linux program: the unchanged program code on our Win32 layer, with
# the SDL2 backend talking to the display.
find_package(SDL2 REQUIRED)

# An object library, so that every backend function ends up in the program
# whichever part of the layer calls it first.
add_library(orvanel_sdl OBJECT platform/sdl_backend.cpp platform/sdl_events.cpp)
target_include_directories(orvanel_sdl PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(orvanel_sdl PUBLIC orvanel_layer SDL2::SDL2 OpenGL::GL OpenGL::GLU)

add_executable(orvanel ${ORVANEL_PROGRAM_SOURCES} platform/sdl_main.cpp)
target_link_libraries(orvanel PRIVATE orvanel_sdl orvanel_layer orvanel_drawing)

include(GNUInstallDirs)
install(TARGETS orvanel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES app/orvanel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES app/orvanel.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)

# Benchmarks of the program on a real display.
add_subdirectory(bench)
include(cmake/deb.cmake)
