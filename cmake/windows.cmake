# The Windows program, on the real Win32 API: a GUI-subsystem orvanel.exe
# carrying the icon group "A" and nothing else in its resources.
enable_language(RC)

add_executable(orvanel WIN32 ${ORVANEL_PROGRAM_SOURCES} app/orvanel.rc)
target_link_libraries(orvanel PRIVATE orvanel_drawing opengl32 glu32 gdi32 user32)
# The resource compiler finds the icon beside the resource script.
set_property(SOURCE app/orvanel.rc PROPERTY INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/app)

if(MSVC)
  # The static C/C++ runtime, so that the .exe runs alone; every part of the
  # program must use the same one.
  set_property(TARGET orvanel orvanel_drawing PROPERTY
               MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
endif()

if(MINGW)
  # The static runtime, so that the .exe needs only system DLLs.
  target_link_options(orvanel PRIVATE -static -static-libgcc -static-libstdc++)

  # MinGW's driver links default-manifest.o when its toolchain has one; that
  # manifest declares newer Windows versions, and under it 16-bit display
  # modes fail. An empty object of that name in a folder given with -B is
  # found first, so the program gets no manifest resource at all.
  set(no_manifest_dir ${CMAKE_CURRENT_BINARY_DIR}/no-default-manifest)
  file(WRITE ${no_manifest_dir}/empty.cpp "")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -c empty.cpp -o default-manifest.o
                  WORKING_DIRECTORY ${no_manifest_dir}
                  RESULT_VARIABLE no_manifest_result)
  if(NOT no_manifest_result EQUAL 0)
    message(FATAL_ERROR "Could not compile ${no_manifest_dir}/default-manifest.o")
  endif()
  target_link_options(orvanel PRIVATE -B${no_manifest_dir}/)
endif()
