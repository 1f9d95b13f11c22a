# The Debian package, made from the install rules above by CPack:
#   cd build && cpack -G DEB      # -> orvanel_<version>_<arch>.deb
# Its dependencies come from the binary itself (dpkg-shlibdeps). The files
# Debian wants beside the program (copyright, changelog, manual page) are
# in the component "deb", which only the package installs.
set(ORVANEL_MAINTAINER "Orvanel developers <orvanel@example.org>")
set(deb_source ${PROJECT_SOURCE_DIR}/packaging/debian)
set(deb_binary ${CMAKE_CURRENT_BINARY_DIR}/debian)

# The changelog's latest entry must be this version: a package whose
# changelog tells of another release misleads its users.
file(STRINGS ${deb_source}/changelog latest LIMIT_COUNT 1)
if(NOT latest MATCHES "^orvanel \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog starts with '${latest}': "
                      "add an entry for version ${PROJECT_VERSION} on top")
endif()

# Debian ships changelogs and manual pages compressed, without a name or
# time in the gzip header, so that the same sources give the same package.
file(MAKE_DIRECTORY ${deb_binary})
foreach(pair changelog:changelog.gz orvanel.1:orvanel.1.gz)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 from)
  list(GET pair 1 to)
  execute_process(COMMAND gzip -9nc ${deb_source}/${from} OUTPUT_FILE ${deb_binary}/${to}
                  RESULT_VARIABLE gzip_result)
  if(NOT gzip_result EQUAL 0)
    message(FATAL_ERROR "gzip could not compress ${deb_source}/${from}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${deb_source}/${from})
endforeach()

set(deb_doc ${CMAKE_INSTALL_DATADIR}/doc/orvanel)
install(FILES ${deb_source}/copyright ${deb_binary}/changelog.gz DESTINATION ${deb_doc}
        COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${deb_binary}/orvanel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT deb EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
# One package holding every component, the program's and Debian's.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_PACKAGE_NAME orvanel)
set(CPACK_PACKAGE_VENDOR "Orvanel developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# SDL2 opens libGL.so.1 itself (dlopen) to get a GL context on X11, so the
# binary's own links cannot tell it; the rest comes from them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libgl1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ORVANEL_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "jointed mechanical arm in 3D, posed from the keyboard")
# Lines as they appear in the package's description: up to 80 columns.
set(CPACK_PACKAGE_DESCRIPTION [=[
Orvanel draws a jointed mechanical arm with a two-jawed gripper in 3D with
OpenGL, and lets you pose it from the keyboard. It first asks whether to switch
the display to 640x480 fullscreen; otherwise it opens a 640x480 window.
F2/F3, F4/F5 and F6/F7 turn the two joints and the wrist, Right/Left stretch
the telescopic pieces, Up/Down open and close the gripper, F1 switches between
the window and fullscreen, and Escape quits.]=])
include(CPack)
