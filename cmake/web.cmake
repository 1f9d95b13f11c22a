# The browser build: the unchanged program code on our Win32 layer, with
# the browser driver, compiled to WebAssembly by Emscripten. The GL 1.1
# and GLU that the program calls are our own, over WebGL, and Asyncify
# lets the program's own loop give the browser its turn. The site (page,
# its style, .js, .wasm, icon) is left in site/.
set(web ${PROJECT_SOURCE_DIR}/win32/web)

# Here OpenGL::GL and OpenGL::GLU, which the drawing and the layer link,
# are ours, as the layer itself is ours off Windows.
add_library(orvanel_webgl STATIC win32/web/gl.cpp)
target_include_directories(orvanel_webgl PUBLIC ${PROJECT_SOURCE_DIR})
add_library(OpenGL::GL ALIAS orvanel_webgl)
add_library(OpenGL::GLU ALIAS orvanel_webgl)
set(site ${CMAKE_BINARY_DIR}/site)
add_library(orvanel_web STATIC win32/web/driver.cpp)
target_include_directories(orvanel_web PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(orvanel_web PUBLIC orvanel_webgl)

add_executable(orvanel ${ORVANEL_PROGRAM_SOURCES} win32/winmain.cpp)
# wasm-ld, as lld does, finds symbols in archives whatever their order: the
# driver and the layer that call each other need no link group.
target_link_libraries(orvanel PRIVATE orvanel_win32 orvanel_web orvanel_drawing)
set(asyncify_imports "['web_wait','web_present','web_enter_fullscreen','web_box']")
# Only direct calls lead to those. The one call through a pointer, the
# layer's to the window procedure, reaches nothing that sleeps (keep it so:
# a box, a wait or a present under WndProc needs this option gone), so
# Asyncify need not ready such calls for a sleep: a smaller .wasm.
target_link_options(
  orvanel PRIVATE "SHELL:-s ASYNCIFY=1" "SHELL:-s ASYNCIFY_IGNORE_INDIRECT=1"
  "SHELL:-s ASYNCIFY_IMPORTS=${asyncify_imports}" "SHELL:-s EXIT_RUNTIME=1"
  "SHELL:-s ENVIRONMENT=web" "SHELL:--js-library ${web}/library.js"
  "SHELL:--pre-js ${web}/driver.js" "SHELL:--pre-js ${web}/page.js")
# Our GL needs no WebGL extension: none of the code that turns them all on.
target_link_options(orvanel PRIVATE "SHELL:-s GL_SUPPORT_AUTOMATIC_ENABLE_EXTENSIONS=0")
# The page and its style go with each link: a change to them links again.
set(page_files ${web}/index.html ${web}/orvanel.css)
set_target_properties(orvanel PROPERTIES SUFFIX .js RUNTIME_OUTPUT_DIRECTORY ${site}
                      LINK_DEPENDS "${web}/library.js;${web}/driver.js;${web}/page.js;${page_files}")
# No GL name of the program may be left to Emscripten's WebGL bindings.
add_custom_command(TARGET orvanel POST_BUILD
                   COMMAND ${CMAKE_COMMAND} -D JS=$<TARGET_FILE:orvanel>
                           -P ${PROJECT_SOURCE_DIR}/cmake/web-gl-check.cmake
                   COMMAND ${CMAKE_COMMAND} -E copy ${page_files} ${PROJECT_SOURCE_DIR}/app/orvanel.png ${site})
