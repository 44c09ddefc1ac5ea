// Internal header of the Python module: conversions between NumPy arrays and library images,
// and the exception types the module raises.
//
// Conventions
//  - Image arrays are C-contiguous float32 of shape (height, width, 3), the top row first, as
//    image files and viewers show them. Library images are bottom-up (row 0 is the bottom of the
//    picture; the last row of a latitude-longitude map is the zenith), so every conversion
//    reverses the row order. That flip is the one copy a conversion makes.
//  - Bad arrays raise TypeError (not a NumPy array) or ValueError (dtype, shape, layout), with
//    a message that names the argument and what was expected.
//  - Threads: functions that take or return Python objects need the GIL; copyImageRows does not.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/reference.h"

namespace ixPython {

namespace py = pybind11;

// Raised as Python's OSError: a file that cannot be read or written.
struct OsError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A file path given as str or os.PathLike.
std::string pathText(const py::object& path);

// A float32 (height, width, 3) array checked against the rules above; `what` names the argument
// in messages ("probe", "array").
py::array_t<float> checkedImageArray(const py::object& object, const char* what);

// A new bottom-up library image holding the rows of a checked image array.
ix::Reference<ixImage::Float3Image> imageFromArray(const py::array_t<float>& array);

// A new (height, width, 3) float32 array, top row first, of a library image.
py::array_t<float> arrayFromImage(const ixImage::Float3Image& image);

// Copies image's rows, last row first, into height x width x 3 floats; needs no GIL.
void copyImageRows(const ixImage::Float3Image& image, float* out);

}  // namespace ixPython
