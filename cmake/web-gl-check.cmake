# Run by the browser build right after it links (cmake -D JS=.../orvanel.js
# -P web-gl-check.cmake). Our GL reaches WebGL only through Emscripten's
# emscripten_gl* names; a gl* or glu* name among the .wasm's imports is one
# that Emscripten's own WebGL bindings answer, as they would a GL call of
# the program's that we forgot, without a word. The build fails naming it,
# and takes the site's .js and .wasm away so that the next build links again.
file(READ ${JS} js)
# The imports, as the .js hands them to the .wasm: {"name": _function, ...}.
string(REGEX MATCH "asmLibraryArg *= *{[^}]*}" imports "${js}")
if(NOT imports)
  set(why "found no list of the .wasm's imports in ${JS}")
else()
  string(REGEX MATCHALL "\"[^\"]*\": *_glu?[A-Z][A-Za-z0-9]*" left "${imports}")
  list(TRANSFORM left REPLACE "^.*_" "")
  list(JOIN left ", " names)
  if(names)
    set(why "Emscripten's WebGL bindings would answer ${names}: win32/web/gl.cpp must define them")
  endif()
endif()
if(why)
  get_filename_component(site ${JS} DIRECTORY)
  file(REMOVE ${JS} ${site}/orvanel.wasm)
  message(FATAL_ERROR "${why}")
endif()
