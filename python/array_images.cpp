#include "array_images.h"

#include <cstring>

#include "hdr_io.h"

namespace ixPython {

static_assert(sizeof(ixImage::FloatPixel3<float>) == 3 * sizeof(float),
              "a float RGB pixel must be three packed floats to copy rows as blocks");

std::string pathText(const py::object& path) {
    return py::str(py::module_::import("os").attr("fspath")(path));
}

py::array_t<float> checkedImageArray(const py::object& object, const char* what) {
    const std::string name(what);
    if (!py::isinstance<py::array>(object))
        throw py::type_error(name + " must be a NumPy array of shape (height, width, 3), not " +
                             std::string(py::str(py::type::of(object).attr("__name__"))));
    const py::array array = py::reinterpret_borrow<py::array>(object);
    if (!py::isinstance<py::array_t<float>>(array))
        throw py::value_error(name + " must have dtype float32, not " +
                              std::string(py::str(py::object(array.dtype()))) +
                              " (convert with array.astype(numpy.float32))");
    if (array.ndim() != 3 || array.shape(2) != 3)
        throw py::value_error(name + " must have shape (height, width, 3), not " +
                              std::string(py::str(py::getattr(array, "shape"))));
    if (array.shape(0) < 1 || array.shape(1) < 1) throw py::value_error(name + " is empty");
    if (array.shape(0) > iblBake::kMaxProbeSide || array.shape(1) > iblBake::kMaxProbeSide ||
        array.shape(0) * array.shape(1) > iblBake::kMaxProbePixels)
        throw py::value_error(name + " is too large for the library's images");
    if (!(array.flags() & py::array::c_style))
        throw py::value_error(name +
                              " must be C-contiguous (make it so with numpy.ascontiguousarray)");
    return py::reinterpret_borrow<py::array_t<float>>(array);
}

ix::Reference<ixImage::Float3Image> imageFromArray(const py::array_t<float>& array) {
    const int height = int(array.shape(0));
    const int width = int(array.shape(1));
    ix::Reference<ixImage::Float3Image> image(new ixImage::Float3Image);
    image->setSize(width, height);
    const size_t rowBytes = size_t(width) * sizeof(ixImage::FloatPixel3<float>);
    const char* rows = reinterpret_cast<const char*>(array.data());
    for (int y = 0; y < height; ++y)
        std::memcpy(&image->at(0, height - 1 - y), rows + size_t(y) * rowBytes, rowBytes);
    return image;
}

void copyImageRows(const ixImage::Float3Image& image, float* out) {
    const int width = image.getWidth();
    const int height = image.getHeight();
    const size_t rowFloats = size_t(width) * 3;
    for (int y = 0; y < height; ++y)
        std::memcpy(out + size_t(y) * rowFloats, &image.at(0, height - 1 - y),
                    rowFloats * sizeof(float));
}

py::array_t<float> arrayFromImage(const ixImage::Float3Image& image) {
    py::array_t<float> array(
        {py::ssize_t(image.getHeight()), py::ssize_t(image.getWidth()), py::ssize_t(3)});
    copyImageRows(image, array.mutable_data());
    return array;
}

}  // namespace ixPython
