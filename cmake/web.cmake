# The browser build: the unchanged program code on our Win32 layer, with
# the browser driver, compiled to WebAssembly by Emscripten. Its GL 1.x
# emulation draws the fixed-function calls with WebGL, and Asyncify lets
# the program's own loop give the browser its turn. The site (page, its
# style, .js, .wasm, icon) is left in site/.
set(web ${PROJECT_SOURCE_DIR}/win32/web)

# Emscripten finds its GL without making the targets: it links GL and GLU
# (the emulation among them) by name.
if(NOT TARGET OpenGL::GL)
  add_library(OpenGL::GL INTERFACE IMPORTED)
  set_target_properties(OpenGL::GL PROPERTIES INTERFACE_LINK_LIBRARIES -lGL)
  add_library(OpenGL::GLU INTERFACE IMPORTED)
  set_target_properties(OpenGL::GLU PROPERTIES INTERFACE_LINK_LIBRARIES -lGLU)
endif()
set(site ${CMAKE_BINARY_DIR}/site)
add_library(orvanel_web STATIC win32/web/driver.cpp)
target_include_directories(orvanel_web PUBLIC ${PROJECT_SOURCE_DIR})

add_executable(orvanel ${ORVANEL_PROGRAM_SOURCES} win32/winmain.cpp)
# wasm-ld, as lld does, finds symbols in archives whatever their order: the
# driver and the layer that call each other need no link group.
target_link_libraries(orvanel PRIVATE orvanel_win32 orvanel_web orvanel_drawing)
set(asyncify_imports "['web_wait','web_present','web_enter_fullscreen','web_box']")
target_link_options(
  orvanel PRIVATE "SHELL:-s LEGACY_GL_EMULATION=1" "SHELL:-s ASYNCIFY=1"
  "SHELL:-s ASYNCIFY_IMPORTS=${asyncify_imports}" "SHELL:-s EXIT_RUNTIME=1"
  "SHELL:-s ENVIRONMENT=web" "SHELL:--js-library ${web}/library.js" "SHELL:--pre-js ${web}/driver.js" "SHELL:--pre-js ${web}/page.js")
# The page and its style go with each link: a change to them links again.
set(page_files ${web}/index.html ${web}/orvanel.css)
set_target_properties(orvanel PROPERTIES SUFFIX .js RUNTIME_OUTPUT_DIRECTORY ${site}
                      LINK_DEPENDS "${web}/library.js;${web}/driver.js;${web}/page.js;${page_files}")
add_custom_command(TARGET orvanel POST_BUILD
                   COMMAND ${CMAKE_COMMAND} -E copy ${page_files} ${PROJECT_SOURCE_DIR}/app/orvanel.png ${site})
