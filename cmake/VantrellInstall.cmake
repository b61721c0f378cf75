# What `cmake --install` lays out under the prefix, for hosts:
#   lib/Vantrell.framework/...            the bundle as the build tree has it
#   include/{Vantrell,CoreFoundation,...} the public headers
#   lib/cmake/Vantrell/                   find_package(Vantrell): Vantrell::Vantrell
#   lib/pkgconfig/vantrell.pc             pkg-config --cflags --libs vantrell
#   bin/vantrell                          the command (installed by tools/)
# The bundle is found at run time from the loaded library's own path
# (Versions/V/Vantrell beside Versions/V/Resources), so the library is linked
# where it lies inside the bundle and never copied out of it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VANTRELL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vantrell)
# Relative to the prefix: the library inside the installed bundle.
set(VANTRELL_INSTALL_LIBRARY_DIR ${CMAKE_INSTALL_LIBDIR}/Vantrell.framework/Versions/${PROJECT_VERSION})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VantrellConfig.cmake.in
  ${CMAKE_BINARY_DIR}/VantrellConfig.cmake
  INSTALL_DESTINATION ${VANTRELL_INSTALL_CMAKEDIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR VANTRELL_INSTALL_LIBRARY_DIR)
# 0.x releases change the document format: only the same minor version fits.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VantrellConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/VantrellConfig.cmake ${CMAKE_BINARY_DIR}/VantrellConfigVersion.cmake
  DESTINATION ${VANTRELL_INSTALL_CMAKEDIR})

# The .pc file finds the prefix from its own folder, so it holds for whatever
# prefix `cmake --install --prefix P` is given.
file(RELATIVE_PATH VANTRELL_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" VANTRELL_PC_TO_PREFIX "${VANTRELL_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/vantrell.pc.in ${CMAKE_BINARY_DIR}/vantrell.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/vantrell.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
