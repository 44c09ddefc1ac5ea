# Installation: public headers (keeping the iximage/<subsystem>/ layout), the shared library, a CMake
# package (find_package(iximage CONFIG) gives iximage::iximage) and a pkg-config file. The
# rotation-matrix file is installed to share/iximage by the rule that generates it.
include(CMakePackageConfigHelpers)

set(IXIMAGE_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/iximage")
set(IXIMAGE_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/iximage")

install(TARGETS iximage EXPORT iximageTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# Public headers only: the internal ones live in detail/ folders (and the generator in
# sh/generator), which are not part of what users may include.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/iximage DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h"
  PATTERN "detail" EXCLUDE
  PATTERN "generator" EXCLUDE)
install(EXPORT iximageTargets NAMESPACE iximage:: DESTINATION ${IXIMAGE_INSTALL_CMAKEDIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/iximageConfig.cmake.in
  ${PROJECT_BINARY_DIR}/iximageConfig.cmake
  INSTALL_DESTINATION ${IXIMAGE_INSTALL_CMAKEDIR}
  PATH_VARS IXIMAGE_INSTALL_DATADIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/iximageConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/iximageConfig.cmake
  ${PROJECT_BINARY_DIR}/iximageConfigVersion.cmake DESTINATION ${IXIMAGE_INSTALL_CMAKEDIR})

# The pkg-config file locates the prefix from its own folder (${pcfiledir}), so that an
# install with `cmake --install --prefix` elsewhere, or a moved tree, still resolves.
file(RELATIVE_PATH IXIMAGE_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" IXIMAGE_PC_TO_PREFIX "${IXIMAGE_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/iximage.pc.in ${PROJECT_BINARY_DIR}/iximage.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/iximage.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
