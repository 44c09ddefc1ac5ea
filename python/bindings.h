// Internal header of the Python module: the functions that add each family of names to it.
#pragma once

#include <pybind11/pybind11.h>

namespace ixPython {

// iximage.Reflectance and the shipped models (Phong, Lambert).
void bindReflectanceModels(pybind11::module_& module);

// iximage.Lighting.
void bindLighting(pybind11::module_& module);

}  // namespace ixPython
