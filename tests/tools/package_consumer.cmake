# Installs the build into a private prefix, builds examples/ against it as an outside
# project would (find_package through CMAKE_PREFIX_PATH) and runs the example.
# Inputs (-D): BUILD_DIR, SOURCE_DIR, WORK_DIR, CONFIG, SANITIZE (may be empty), PKG_CONFIG.
set(prefix "${WORK_DIR}/prefix")
set(example_build "${WORK_DIR}/example-build")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE status
    OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}" --config "${CONFIG}")

foreach(installed
    include/iximage/lighting/image_based_lighting.h
    share/iximage/sh_rotation_matrices.txt
    bin/ibl-bake)
  if(NOT EXISTS "${prefix}/${installed}")
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()
file(GLOB_RECURSE internal_headers "${prefix}/include/iximage/*/detail/*.h"
  "${prefix}/include/iximage/*/generator/*")
if(internal_headers)
  message(FATAL_ERROR "internal headers installed: ${internal_headers}")
endif()
file(GLOB_RECURSE pc_files "${prefix}/*/pkgconfig/iximage.pc")
file(GLOB_RECURSE config_files "${prefix}/*/cmake/iximage/iximageConfig.cmake")
if(NOT pc_files OR NOT config_files)
  message(FATAL_ERROR "package files missing: pkg-config '${pc_files}', CMake '${config_files}'")
endif()

# A sanitized library needs its runtime loaded first, so the consumer is built the same way.
set(flags "")
if(SANITIZE)
  set(flags "-fsanitize=${SANITIZE}")
endif()
run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/examples" -B "${example_build}" -DCMAKE_BUILD_TYPE=${CONFIG}
  "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_FLAGS=${flags}")
run(${CMAKE_COMMAND} --build "${example_build}")
run("${example_build}/bake_sky")
message(STATUS "${last_output}")
if(NOT last_output MATCHES "blue irradiance facing up: [0-9.]+" OR NOT EXISTS "${WORK_DIR}/specular_phong_16.pfm")
  message(FATAL_ERROR "the example did not produce its irradiance line and map:\n${last_output}")
endif()

# The installed tool finds the installed rotation matrices on its own.
run("${prefix}/bin/ibl-bake" --quiet --phong 4 --out "${WORK_DIR}/baked")
if(NOT EXISTS "${WORK_DIR}/baked/irradiance.json")
  message(FATAL_ERROR "the installed ibl-bake wrote no irradiance.json")
endif()

# pkg-config resolves to the installed headers and library wherever the prefix lies.
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} "${prefix}/lib/pkgconfig:${prefix}/lib64/pkgconfig")
  run("${PKG_CONFIG}" --variable=includedir iximage)
  string(STRIP "${last_output}" includedir)
  run("${PKG_CONFIG}" --variable=libdir iximage)
  string(STRIP "${last_output}" libdir)
  if(NOT EXISTS "${includedir}/iximage/lighting/image_based_lighting.h" OR NOT EXISTS "${libdir}/libiximage.so")
    message(FATAL_ERROR "pkg-config points elsewhere: includedir '${includedir}', libdir '${libdir}'")
  endif()
endif()
