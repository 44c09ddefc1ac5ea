# OpenEXR and Imath for the tool, its tests and the half test, as the targets
# iximage::openexr and iximage::imath.
#
# Found through pkg-config first. The CMake package files that Debian 12 ships with Imath
# declare a Python-binding target whose library is in a separate package; importing them
# prints a multi-line "references the file ... but this file does not exist" notice on every
# configure of a machine without that package, which reads as a broken install. pkg-config
# describes the same C++ libraries without it. Where pkg-config or its .pc files are missing,
# the CMake packages are used as before.
include_guard(GLOBAL)

find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(IXIMAGE_OPENEXR QUIET IMPORTED_TARGET GLOBAL OpenEXR)
  pkg_check_modules(IXIMAGE_IMATH QUIET IMPORTED_TARGET GLOBAL Imath)
endif()

add_library(iximage_openexr INTERFACE)
add_library(iximage::openexr ALIAS iximage_openexr)
add_library(iximage_imath INTERFACE)
add_library(iximage::imath ALIAS iximage_imath)

if(TARGET PkgConfig::IXIMAGE_OPENEXR AND TARGET PkgConfig::IXIMAGE_IMATH)
  target_link_libraries(iximage_openexr INTERFACE PkgConfig::IXIMAGE_OPENEXR)
  target_link_libraries(iximage_imath INTERFACE PkgConfig::IXIMAGE_IMATH)
  message(STATUS "Found OpenEXR ${IXIMAGE_OPENEXR_VERSION} and Imath ${IXIMAGE_IMATH_VERSION} (pkg-config)")
else()
  find_package(OpenEXR CONFIG REQUIRED)
  target_link_libraries(iximage_openexr INTERFACE OpenEXR::OpenEXR)
  target_link_libraries(iximage_imath INTERFACE Imath::Imath)
endif()
