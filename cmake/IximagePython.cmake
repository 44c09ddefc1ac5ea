# Decides whether the Python module is built: IXIMAGE_BUILD_PYTHON defaults to ON when pybind11
# and NumPy are found for the system interpreter.
#
# Debian's pybind11, NumPy and pytest packages belong to /usr/bin/python3; another python3 earlier
# on PATH (a version manager's shim, a virtual environment) usually lacks them, so the system
# interpreter is preferred unless the caller names one with -DPython3_EXECUTABLE=...
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "Python interpreter for the module and its tests")
endif()

set(iximage_python_default OFF)
if(IXIMAGE_BUILD_TOOLS AND NOT IXIMAGE_SANITIZE)
  find_package(Python3 COMPONENTS Interpreter Development.Module NumPy QUIET)
  if(Python3_FOUND)
    find_package(pybind11 CONFIG QUIET)
  endif()
  if(Python3_FOUND AND pybind11_FOUND)
    set(iximage_python_default ON)
  endif()
endif()
# Sanitized builds leave it off by default: the interpreter is not instrumented, so the module
# loads only with the sanitizer runtimes preloaded (LD_PRELOAD) and leak checking off.
option(IXIMAGE_BUILD_PYTHON "Build the Python module (needs pybind11, NumPy and the tools)"
  ${iximage_python_default})

if(IXIMAGE_BUILD_PYTHON)
  if(NOT IXIMAGE_BUILD_TOOLS)
    message(FATAL_ERROR "IXIMAGE_BUILD_PYTHON needs IXIMAGE_BUILD_TOOLS (the module reads and "
      "writes images with the tool's file readers)")
  endif()
  find_package(Python3 REQUIRED COMPONENTS Interpreter Development.Module NumPy)
  find_package(pybind11 CONFIG REQUIRED)
endif()
