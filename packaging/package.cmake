# The Debian package: `make deb` (cpack in the build folder) writes
# veltro_<version>_<arch>.deb. It holds everything the install() rules
# install, under /usr, with the programs stripped, plus the two files every
# Debian package carries in its documentation folder: copyright and changelog.

set(VELTRO_MAINTAINER "veltro maintainers <maintainers@veltro.example>"
    CACHE STRING "Maintainer field of the Debian package")

# The Debian package that installed PATH into OUT, or "" when dpkg knows of none.
function(veltro_debian_owner path out)
  get_filename_component(real ${path} REALPATH)
  execute_process(COMMAND dpkg-query -S ${real}
                  OUTPUT_VARIABLE owner RESULT_VARIABLE status ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(status EQUAL 0)
    string(REGEX REPLACE "[:,].*" "" owner "${owner}")
  else()
    set(owner "")
  endif()
  set(${out} "${owner}" PARENT_SCOPE)
endfunction()

# copyright: veltro's own notice, then the notices of the libraries linked
# into the programs, as the Debian packages that provide them state them.
file(READ ${CMAKE_CURRENT_LIST_DIR}/copyright.in VELTRO_COPYRIGHT)
string(CONFIGURE "${VELTRO_COPYRIGHT}" VELTRO_COPYRIGHT @ONLY)
set(seen "")
foreach(lib ${VELTRO_STATIC_LIBRARIES})
  veltro_debian_owner(${VELTRO_STATIC_${lib}} owner)
  if(owner IN_LIST seen)
    continue()
  endif()
  string(APPEND VELTRO_COPYRIGHT "\n========================================================================\n")
  if(owner AND EXISTS /usr/share/doc/${owner}/copyright)
    list(APPEND seen ${owner})
    file(READ /usr/share/doc/${owner}/copyright notice)
    string(APPEND VELTRO_COPYRIGHT "lib${lib}, from the Debian package ${owner}:\n\n${notice}")
  else()
    message(WARNING "No copyright notice found for ${VELTRO_STATIC_${lib}}")
    string(APPEND VELTRO_COPYRIGHT "lib${lib} (${VELTRO_STATIC_${lib}}): see its own copyright notice.\n")
  endif()
endforeach()
file(WRITE ${CMAKE_BINARY_DIR}/packaging/copyright "${VELTRO_COPYRIGHT}")

# changelog: one entry for the version being packaged. SOURCE_DATE_EPOCH, when
# set, fixes its date.
string(TIMESTAMP VELTRO_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
set(VELTRO_CHANGELOG_GZ "")
veltro_gzip(${CMAKE_BINARY_DIR}/packaging/changelog VELTRO_CHANGELOG_GZ)
add_custom_target(debian_changelog ALL DEPENDS ${VELTRO_CHANGELOG_GZ})

install(FILES ${CMAKE_BINARY_DIR}/packaging/copyright ${VELTRO_CHANGELOG_GZ}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME veltro)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VELTRO_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interpreter of the Veltro scripting language")
set(CPACK_PACKAGE_DESCRIPTION
    "Veltro is a small dynamically typed scripting language with 64-bit integers,
floats, strings, arrays, dictionaries, functions and modules, and built-in
modules for a window with 2-D drawing, HTTP and files. A runtime error never
stops a script: the failing operation writes an error line and the run goes on.

This package holds the veltro interpreter and its tools, their manual pages,
the language guide, and syntax highlighting for Vim and VS Code.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION interpreters)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# SDL2 is opened only when a script asks for a window: recommended, not required.
veltro_debian_owner(${SDL2_LIBDIR}/libSDL2-2.0.so.0 VELTRO_SDL2_PACKAGE)
if(VELTRO_SDL2_PACKAGE)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ${VELTRO_SDL2_PACKAGE})
endif()
include(CPack)
