# The Windows program, on the real Win32 API.
add_executable(orvanel WIN32 ${ORVANEL_PROGRAM_SOURCES})
target_link_libraries(orvanel PRIVATE orvanel_drawing opengl32 glu32 gdi32 user32)
