# What `cmake --install` puts under its prefix, and the Debian packages `cpack -G DEB` make of it:
# the program, the library with its CMake package and public headers, the desktop integration
# from dist/, and (with QUILLON_DESIGNER_PLUGIN) the Qt Designer plugin.
include(CMakePackageConfigHelpers)

# The installed program and plugin find the library relative to themselves, wherever the
# prefix is.
function(quillon_relative_rpath target from_dir)
  file(RELATIVE_PATH rel "${from_dir}" "${CMAKE_INSTALL_FULL_LIBDIR}")
  if(rel STREQUAL "")
    set(rel ".")
  endif()
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${rel}")
endfunction()
quillon_relative_rpath(Palisade "${CMAKE_INSTALL_FULL_BINDIR}")

# Library and headers. Only quillon.h and its export macro are public: hosts create the control
# through the factory and call it by name.
set(QUILLON_INCLUDE_SUBDIR ${CMAKE_INSTALL_INCLUDEDIR}/quillon)
target_include_directories(Quillon PUBLIC $<INSTALL_INTERFACE:${QUILLON_INCLUDE_SUBDIR}>)
install(TARGETS Quillon EXPORT QuillonTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib NAMELINK_COMPONENT dev
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT lib)
install(FILES api/quillon.h api/quillon_export.h DESTINATION ${QUILLON_INCLUDE_SUBDIR} COMPONENT dev)

set(QUILLON_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quillon)
install(EXPORT QuillonTargets NAMESPACE Quillon:: DESTINATION ${QUILLON_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/QuillonConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/QuillonConfig.cmake INSTALL_DESTINATION ${QUILLON_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QuillonConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QuillonConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/QuillonConfigVersion.cmake
        DESTINATION ${QUILLON_CMAKE_DIR} COMPONENT dev)

install(TARGETS Palisade RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT app)

# Desktop integration; every file carries the application id.
set(PALISADE_APP_ID io.github.wren.Palisade)
install(FILES dist/${PALISADE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT app)
install(FILES dist/${PALISADE_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        COMPONENT app)
install(FILES dist/${PALISADE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT app)
install(FILES dist/${PALISADE_APP_ID}.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME ${PALISADE_APP_ID}.xml COMPONENT app)

# The man page and every package's changelog go in compressed, as Debian keeps them; each
# package carries the copyright file.
find_program(GZIP_EXECUTABLE gzip)
function(quillon_gzip source target)
  execute_process(COMMAND ${GZIP_EXECUTABLE} -9nc ${source} OUTPUT_FILE ${target} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip ${source} failed")
  endif()
endfunction()
if(GZIP_EXECUTABLE)
  quillon_gzip(${CMAKE_CURRENT_SOURCE_DIR}/dist/Palisade.1 ${CMAKE_CURRENT_BINARY_DIR}/Palisade.1.gz)
  quillon_gzip(${CMAKE_CURRENT_SOURCE_DIR}/dist/changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/Palisade.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT app)
else()
  install(FILES dist/Palisade.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT app)
endif()
foreach(pair "lib;libquillon0" "dev;libquillon-dev" "app;wren-explorer")
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES dist/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  if(GZIP_EXECUTABLE)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
            COMPONENT ${component})
  endif()
endforeach()

# The Debian packages, split as Debian splits a library with a program: libquillon0 (the shared
# library; shlibs and an ldconfig trigger), libquillon-dev (headers, the CMake package, the
# link) and wren-explorer (the program and its desktop files). The program's Depends come from
# dpkg-shlibdeps, which finds the library beside it through its run path.
set(QUILLON_MAINTAINER "Seed b0f6f6c0 maintainers <maintainers@users.noreply.c-seed-b0f6f6c0.example>"
    CACHE STRING "The Maintainer field of the Debian packages")
set(CPACK_PACKAGE_NAME wren-explorer)
set(CPACK_PACKAGE_VENDOR "The Wren developers")
set(CPACK_PACKAGE_CONTACT "${QUILLON_MAINTAINER}")
# Each package's description starts with its own synopsis: no summary is set for all of them
# (CPack would put it in front of every description).
set(QUILLON_APP_SUMMARY "viewer and editor for STEP product data written as XML")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL lib dev app)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEV_DEPENDS lib)
set(CPACK_COMPONENT_APP_DEPENDS lib)

set(CPACK_DEBIAN_LIB_PACKAGE_NAME libquillon0)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON) # only libquillon0 holds a shared library
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# ldconfig runs through dpkg's trigger; the run path to Graphviz's plugin folder is needed
# (the dot layout plugin is linked in) and said so to lintian.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian-lib/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/debian-lib/triggers)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian-lib/libquillon0
     "libquillon0: custom-library-search-path RUNPATH ${GRAPHVIZ_PLUGIN_DIR} *\n")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian-lib/libquillon0 DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        COMPONENT lib)
set(CPACK_DEBIAN_LIB_DESCRIPTION "editor control for STEP product data written as XML
Quillon is the library behind Wren Explorer: the editor control
CtrlXMLEditor, which shows an ISO 10303 (STEP) document written as XML
in three views, follows references between instances and files and edits
values and references in place, with its instance picker.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libquillon-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DEV_DESCRIPTION "editor control for STEP product data written as XML - development files
The header quillon.h and the CMake package Quillon, for programs that
site the Quillon editor control.")
if(QUILLON_DESIGNER_PLUGIN)
  string(APPEND CPACK_DEBIAN_DEV_DESCRIPTION "\nIts Qt Designer plugin puts the control in Designer's widget box.")
endif()

set(CPACK_DEBIAN_APP_PACKAGE_NAME wren-explorer)
# dpkg-shlibdeps runs in the program's staging folder; the library's sits beside it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "../lib/usr/${CMAKE_INSTALL_LIBDIR}")
set(CPACK_DEBIAN_APP_DESCRIPTION "${QUILLON_APP_SUMMARY}
Wren Explorer (Palisade) shows ISO 10303 (STEP) documents written as XML
in three views, follows references between instances and files, and
edits values and references in place, saving only what was edited.")
include(CPack)
