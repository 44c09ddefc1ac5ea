#include "iximage/interfaces/image.h"

#include <cmath>

#include "iximage/interfaces/constants.h"
#include "iximage/interfaces/detail/image_maker.h"

namespace ixImage {

Image::~Image() = default;

// Constant-initialised, so it is set before any code of the library can run a packet read.
static ImageMaker imageMaker = nullptr;

void setImageMaker(ImageMaker maker) { imageMaker = maker; }

Image* makeImage(PixelTypeId type) { return imageMaker ? imageMaker(type) : nullptr; }

void Image::frame(int& x, int& y) const {
    if (x >= width) x = wrapHorizontal ? x - width : width - 1;
    if (y >= height) y = wrapVertical ? y - height : height - 1;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
}

// White per pixel type; see the declaration in image.h.
template <class T>
static T whitePixel();
template <>
unsigned char whitePixel<unsigned char>() {
    return 255;
}
template <>
Byte4 whitePixel<Byte4>() {
    return Byte4(255, 255, 255, 255);
}
template <>
unsigned int whitePixel<unsigned int>() {
    return 0xFFFFFFFFu;
}
template <>
Int4 whitePixel<Int4>() {
    return Int4(255, 255, 255, 255);
}
template <>
FloatPixel4<half> whitePixel<FloatPixel4<half>>() {
    return FloatPixel4<half>(half(1.0f), half(1.0f), half(1.0f), half(1.0f));
}
template <>
float whitePixel<float>() {
    return 1.0f;
}
template <>
FloatPixel3<float> whitePixel<FloatPixel3<float>>() {
    return {1.0f, 1.0f, 1.0f};
}
template <>
FloatPixel4<float> whitePixel<FloatPixel4<float>>() {
    return {1.0f, 1.0f, 1.0f, 1.0f};
}
template <>
FloatPixel3<double> whitePixel<FloatPixel3<double>>() {
    return {1.0, 1.0, 1.0};
}
template <>
ShrmPixel whitePixel<ShrmPixel>() {
    // A constant radiance of 1 has only the band-0 coefficient: integral of Y00 = sqrt(4 pi).
    ShrmPixel p;
    const double c00 = std::sqrt(4.0 * kPi);
    p.coeffs[0] = FloatPixel3<double>(c00, c00, c00);
    return p;
}

template <class T>
static void fillWhiteTyped(Image& image) {
    T* p = static_cast<T*>(image.pixels());
    if (!p) return;
    const T white = whitePixel<T>();
    const long long n = static_cast<long long>(image.getWidth()) * image.getHeight();
    for (long long i = 0; i < n; ++i) p[i] = white;
}

void fillWhite(Image& image) {
    // A tag that names no pixel type is not an image of this library: nothing to fill.
    forPixelType(image.getPixelType(),
                 [&image](auto type) { fillWhiteTyped<typename decltype(type)::Type>(image); });
}

}  // namespace ixImage
