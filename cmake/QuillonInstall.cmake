# What `cmake --install` puts under its prefix, and the Debian package `cpack -G DEB` makes of it:
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
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES api/quillon.h api/quillon_export.h DESTINATION ${QUILLON_INCLUDE_SUBDIR})

set(QUILLON_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quillon)
install(EXPORT QuillonTargets NAMESPACE Quillon:: DESTINATION ${QUILLON_CMAKE_DIR})
configure_package_config_file(cmake/QuillonConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/QuillonConfig.cmake INSTALL_DESTINATION ${QUILLON_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QuillonConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QuillonConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/QuillonConfigVersion.cmake
        DESTINATION ${QUILLON_CMAKE_DIR})

install(TARGETS Palisade RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Desktop integration; every file carries the application id.
set(PALISADE_APP_ID io.github.wren.Palisade)
install(FILES dist/${PALISADE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES dist/${PALISADE_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES dist/${PALISADE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES dist/${PALISADE_APP_ID}.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME ${PALISADE_APP_ID}.xml)
install(FILES dist/Palisade.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package: everything above in one package, its Depends worked out by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME wren-explorer)
set(CPACK_PACKAGE_VENDOR "The Wren developers")
set(CPACK_PACKAGE_CONTACT "The Wren developers <wren-dev@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer and editor for STEP product data written as XML")
set(CPACK_PACKAGE_DESCRIPTION
    "Wren Explorer (Palisade) shows ISO 10303 (STEP) documents written as XML in three
views, follows references between instances and files, and edits values and references
in place, saving only what was edited.
The package also holds the editor control library Quillon with its header and CMake
package.")
if(QUILLON_DESIGNER_PLUGIN)
  string(APPEND CPACK_PACKAGE_DESCRIPTION "\nIts Qt Designer plugin puts the control in Designer's widget box.")
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
