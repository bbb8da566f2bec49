# What `cmake --install` puts beyond the targets themselves (each
# subdirectory installs its own), the package files that let other projects
# use the encoding library, and the Debian package built by CPack.
include(CMakePackageConfigHelpers)

install(FILES examples/floorplan.dxf examples/bracket.dxf examples/drawing.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/rastello/examples)

foreach(page zulan.1 rastello-encode.1)
  configure_file(man/${page}.in ${PROJECT_BINARY_DIR}/man/${page} @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/man/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# find_package(Vantorum) and Vantorum::vantorum.
set(VANTORUM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vantorum)
install(EXPORT VantorumTargets NAMESPACE Vantorum:: DESTINATION ${VANTORUM_CMAKE_DIR} COMPONENT Development)
configure_package_config_file(cmake/VantorumConfig.cmake.in ${PROJECT_BINARY_DIR}/VantorumConfig.cmake
                              INSTALL_DESTINATION ${VANTORUM_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VantorumConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VantorumConfig.cmake ${PROJECT_BINARY_DIR}/VantorumConfigVersion.cmake
        DESTINATION ${VANTORUM_CMAKE_DIR} COMPONENT Development)

# pkg-config: the prefix is found from the .pc file's own place, so that an
# install with --prefix elsewhere than configured still points at itself.
file(RELATIVE_PATH VANTORUM_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" VANTORUM_PC_TO_PREFIX "${VANTORUM_PC_TO_PREFIX}")
configure_file(cmake/vantorum.pc.in ${PROJECT_BINARY_DIR}/vantorum.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vantorum.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)

# cpack -G DEB gives rastello_VERSION_ARCH.deb with its dependencies found by
# dpkg-shlibdeps (dpkg-dev).
set(CPACK_PACKAGE_NAME rastello)
set(CPACK_PACKAGE_VENDOR "Rastello developers")
set(CPACK_PACKAGE_CONTACT "Rastello developers <rastello@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "CAD drawing export to JPEG, BMP and PNG, with the zulan host")
set(CPACK_PACKAGE_DESCRIPTION "Rastello is a module for the Quorvel/Tamblin 2D CAD host that writes a \
section of a drawing, or all of it, as a JPEG, BMP or PNG file. This package holds the module, the \
replacement host zulan that loads it and reads DXF drawings, the command-line encoder rastello-encode, \
and the Vantorum encoding library (static) with its headers, CMake package and pkg-config file.")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# Programs and module without debug information; install never strips the
# static library.
set(CPACK_STRIP_FILES ON)
include(CPack)
