// The Python module `iximage`: light probes as NumPy arrays, baked with the library.
//
// Arrays are C-contiguous float32 of shape (height, width, 3) with the top row first, as image
// files and viewers show them (for a latitude-longitude probe the top row is the zenith). The
// library's images are bottom-up; the module flips rows once on the way in and once on the way
// out, and that is the only copy it makes. Errors raise TypeError, ValueError (bad arguments, a
// refused probe), OSError (files) or RuntimeError (a computation that cannot be done).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "array_images.h"
#include "bindings.h"
#include "hdr_io.h"
#include "iximage/envmap/recognize_remap.h"
#include "iximage/tonemap/tone_map.h"
#include "preview.h"
#include "rotation_matrix_file.h"

namespace ixPython {

namespace {

using ixImage::EnvironmentMap;
using ixImage::Float3Image;

py::array_t<float> readProbe(const py::object& pathObject) {
    const std::string path = pathText(pathObject);
    iblBake::LoadedImage loaded;
    {
        py::gil_scoped_release release;
        loaded = iblBake::loadProbe(path);
    }
    if (!loaded.image) throw OsError(path + ": " + loaded.error);
    return arrayFromImage(*loaded.image);
}

void writeExr(const py::object& pathObject, const py::object& array) {
    const std::string path = pathText(pathObject);
    ix::Reference<Float3Image> image = imageFromArray(checkedImageArray(array, "array"));
    py::gil_scoped_release release;
    const std::string problem = iblBake::writeExr(*image, path);
    if (!problem.empty()) throw OsError(path + ": " + problem);
}

void writePng(const py::object& pathObject, const py::object& object) {
    const std::string path = pathText(pathObject);
    if (!py::isinstance<py::array_t<unsigned char>>(object))
        throw py::type_error("rgb must be a uint8 NumPy array of shape (height, width, 3)");
    const auto rgb = py::reinterpret_borrow<py::array_t<unsigned char>>(object);
    if (rgb.ndim() != 3 || rgb.shape(2) != 3 || rgb.shape(0) < 1 || rgb.shape(1) < 1 ||
        !(rgb.flags() & py::array::c_style))
        throw py::value_error("rgb must be a C-contiguous uint8 array of shape (height, width, 3)");
    const std::vector<unsigned char> bytes(rgb.data(), rgb.data() + rgb.size());
    py::gil_scoped_release release;
    const std::string problem =
        iblBake::writePng(bytes, int(rgb.shape(1)), int(rgb.shape(0)), path);
    if (!problem.empty()) throw OsError(path + ": " + problem);
}

py::array_t<unsigned char> toneMap(const py::object& array, float exposure, float gamma,
                                   float saturation) {
    if (!std::isfinite(exposure) || !std::isfinite(saturation) || !std::isfinite(gamma) ||
        !(gamma > 0.0f))
        throw py::value_error("exposure and saturation must be finite and gamma finite and > 0");
    ix::Reference<Float3Image> image = imageFromArray(checkedImageArray(array, "array"));
    ixImage::ToneControls controls;
    controls.exposure = exposure;
    controls.gamma = gamma;
    controls.saturation = saturation;
    ixImage::ToneMap map;
    map.calculate(controls);
    iblBake::Rgb8Image preview;
    {
        py::gil_scoped_release release;
        preview = iblBake::tonemapPreview(*image, map);
    }
    py::array_t<unsigned char> out({preview.height, preview.width, 3});
    std::memcpy(out.mutable_data(), preview.pixels.data(), preview.pixels.size());
    return out;
}

// Pixels per quarter turn, so that a remap keeps the angular resolution by default: a
// latitude-longitude map spans a half turn over its height, a cube face a quarter turn, a
// sphere map's disc a full turn over its diameter.
int quarterTurnPixels(const EnvironmentMap& map, const Float3Image& image) {
    switch (map.type) {
        case EnvironmentMap::kLatLong: return image.getHeight() / 2;
        case EnvironmentMap::kCross: return image.getWidth() / 3;
        case EnvironmentMap::kSphere: return image.getWidth() / 4;
    }
    return 1;
}

py::array_t<float> remapArray(const py::object& array, const std::string& to,
                              const py::object& sizeObject) {
    if (to != "latlong" && to != "cross")
        throw py::value_error("to must be \"latlong\" or \"cross\", not \"" + to + "\"");
    ix::Reference<Float3Image> source = imageFromArray(checkedImageArray(array, "array"));
    ix::Reference<EnvironmentMap> sourceMap(ixImage::newEnvironmentMap(*source));
    if (!sourceMap)
        throw py::value_error(
            "array is not a recognized environment map shape: expected a latitude-longitude map "
            "(width = 2 x height), a vertical cross (3:4 with square cells) or a square sphere "
            "map");
    // size is the height of a latitude-longitude result (a half turn) or the face edge of a
    // cross (a quarter turn).
    const int quarterTurn = std::max(1, quarterTurnPixels(*sourceMap, *source));
    const long size = !sizeObject.is_none() ? sizeObject.cast<long>()
                      : to == "latlong"     ? 2L * quarterTurn
                                            : long(quarterTurn);
    const long width = to == "latlong" ? 2 * size : 3 * size;
    const long height = to == "latlong" ? size : 4 * size;
    if (size < 1 || height > iblBake::kMaxProbeSide || width * height > iblBake::kMaxProbePixels)
        throw py::value_error("size " + std::to_string(size) + " is out of range");
    ix::Reference<Float3Image> result(new Float3Image);
    result->setSize(int(width), int(height));
    ix::Reference<EnvironmentMap> resultMap(ixImage::newEnvironmentMap(*result));
    {
        py::gil_scoped_release release;
        ixImage::remap(*sourceMap, *resultMap);
    }
    return arrayFromImage(*result);
}

}  // namespace

}  // namespace ixPython

PYBIND11_MODULE(iximage, m) {
    namespace py = pybind11;
    using namespace ixPython;
    m.doc() = R"doc(Image-based lighting from high-dynamic-range light probes.

Images are NumPy float32 arrays of shape (height, width, 3), C-contiguous, top row first (for a
latitude-longitude probe the top row is the zenith), in the probe's radiance units.

    probe = iximage.read_probe("studio.exr")
    lighting = iximage.Lighting(probe)
    lighting.irradiance_matrices()          # (3, 4, 4) quadratic forms
    lighting.irradiance(normals)            # (..., 3) for unit normals
    lighting.specular_map(iximage.Phong(32))  # (100, 200, 3)
    iximage.tone_map(probe)                 # uint8 preview

Errors raise TypeError, ValueError, OSError or RuntimeError with the library's messages.)doc";
    m.attr("__version__") = IXIMAGE_VERSION;

    py::register_exception_translator([](std::exception_ptr pointer) {
        try {
            if (pointer) std::rethrow_exception(pointer);
        } catch (const OsError& error) {
            PyErr_SetString(PyExc_OSError, error.what());
        }
    });

    bindReflectanceModels(m);
    bindLighting(m);

    m.def(
        "read_probe", &readProbe, py::arg("path"),
        R"doc(Reads a light probe: OpenEXR, Radiance .hdr or PFM, recognised from the file's first bytes.
Returns a float32 array of shape (height, width, 3), top row first. OSError when the file is
missing, unreadable or not an image of these formats.)doc");
    m.def(
        "write_exr", &writeExr, py::arg("path"), py::arg("array"),
        R"doc(Writes a float32 (height, width, 3) array as an OpenEXR file of 32-bit float RGB (top row
first), under a temporary name renamed into place. OSError when it cannot be written.)doc");
    m.def(
        "write_png", &writePng, py::arg("path"), py::arg("rgb"),
        R"doc(Writes a uint8 (height, width, 3) array (such as tone_map's result) as an 8-bit RGB PNG.)doc");
    m.def(
        "tone_map", &toneMap, py::arg("array"), py::arg("exposure") = 0.0f, py::arg("gamma") = 2.2f,
        py::arg("saturation") = 1.0f,
        R"doc(Tone-maps a float32 (height, width, 3) array to a uint8 array of the same shape: each colour is
scaled by 2^exposure, clamped at 0, raised to 1/gamma, its saturation raised to the given
exponent relative to its luminance (1 keeps it, 0 makes it grey), then clamped to [0, 1] and
rounded to 256 levels. NaN becomes 0.)doc");
    m.def(
        "remap", &remapArray, py::arg("array"), py::arg("to") = "latlong",
        py::arg("size") = py::none(),
        R"doc(Remaps an environment map (latitude-longitude, vertical cross or sphere map, recognised from its
shape) into to="latlong" (2 size x size) or to="cross" (3 size x 4 size, size the face edge;
the six empty cells are 0), sampling bilinearly. By default size keeps the angular resolution.)doc");
    m.def(
        "set_rotation_matrix_file", &setRotationMatrixFile, py::arg("path"),
        R"doc(Names the spherical-harmonic rotation-matrix file. By default the module uses the copy installed
with it (or the build tree's copy). The matrices are loaded once per process, by the first
irradiance or specular computation; naming another file after that raises RuntimeError.)doc");
    m.def("rotation_matrix_file", &rotationMatrixFile,
          "The rotation-matrix file that is (or will be) loaded.");
}
