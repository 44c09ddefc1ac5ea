#include "iximage/image/convert_copy.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace ixImage {

namespace {

// Both copies move whole rows of raw bytes between two images of one pixel type. The window
// (its top-left pixel at column x, row y of the larger image, its size that of the smaller one)
// must lie entirely inside the larger image. Sizes are widened to 64 bits so that the fit test
// cannot overflow.
bool windowFits(const Image& small, const Image& large, int x, int y) {
    if (x < 0 || y < 0) return false;
    if (small.getPixelType() != large.getPixelType()) return false;
    const long long smallWidth = small.getWidth();
    const long long smallHeight = small.getHeight();
    if (smallWidth <= 0 || smallHeight <= 0) return false;  // nothing to copy
    if (smallWidth + x > large.getWidth() || smallHeight + y > large.getHeight()) return false;
    return small.pixels() != nullptr && large.pixels() != nullptr;
}

// Byte offset of pixel (x, y) in an image of the given width and pixel size.
std::size_t byteOffset(int pixelSize, int width, int x, int y) {
    return static_cast<std::size_t>(pixelSize) *
           (static_cast<std::size_t>(width) * static_cast<std::size_t>(y) +
            static_cast<std::size_t>(x));
}

// Runs convertPixel over the flat pixel arrays after giving the target the source's size.
template <class Source, class Target, class ConvertPixel>
void convertPixels(const TypedImage<Source>& source, TypedImage<Target>& target,
                   ConvertPixel convertPixel) {
    target.setSize(source.getWidth(), source.getHeight());
    const Source* in = source.data();
    Target* out = target.data();
    if (in == nullptr || out == nullptr) return;
    const long long n = static_cast<long long>(source.getWidth()) * source.getHeight();
    for (long long i = 0; i < n; ++i) out[i] = convertPixel(in[i]);
}

// Integer part of v (truncation toward zero) reduced to its low 8 bits. A value without an
// integer part that fits 64 bits (NaN, infinities, |v| >= 2^63) gives 0 rather than invoking
// an out-of-range conversion.
unsigned char truncateToLowByte(float v) {
    if (!(std::fabs(v) < 9.2233720368547758e18f)) return 0;
    return static_cast<unsigned char>(static_cast<unsigned long long>(static_cast<long long>(v)));
}

// v = value * 255 clamped to [0, 255] and truncated; the comparisons are false for NaN, which
// therefore reaches the final branch as 0.
unsigned char clampedByte(float value) {
    const float v = value * 255.0f;
    if (v > 255.0f) return 255;
    if (v >= 0.0f) return static_cast<unsigned char>(v);
    return 0;
}

}  // namespace

void imageCopyIn(const Image& source, Image& target, int x, int y) {
    if (!windowFits(source, target, x, y)) return;
    const unsigned char* in = static_cast<const unsigned char*>(source.pixels());
    unsigned char* out = static_cast<unsigned char*>(target.pixels());
    const int pixelSize = source.pixelSize();
    const std::size_t rowBytes = static_cast<std::size_t>(source.getWidth()) * pixelSize;
    for (int r = 0; r < source.getHeight(); ++r)
        std::memcpy(out + byteOffset(pixelSize, target.getWidth(), x, y + r),
                    in + byteOffset(pixelSize, source.getWidth(), 0, r), rowBytes);
}

void imageCopyOut(const Image& source, Image& target, int x, int y) {
    if (!windowFits(target, source, x, y)) return;
    const unsigned char* in = static_cast<const unsigned char*>(source.pixels());
    unsigned char* out = static_cast<unsigned char*>(target.pixels());
    const int pixelSize = target.pixelSize();
    const std::size_t rowBytes = static_cast<std::size_t>(target.getWidth()) * pixelSize;
    for (int r = 0; r < target.getHeight(); ++r)
        std::memcpy(out + byteOffset(pixelSize, target.getWidth(), 0, r),
                    in + byteOffset(pixelSize, source.getWidth(), x, y + r), rowBytes);
}

void imageConvert(const TypedImage<float>& source, TypedImage<unsigned char>& target) {
    // Truncation of value * 255, no rounding and no clamping: 0.5 -> 127, 1.0 -> 255.
    convertPixels(source, target, [](float value) { return truncateToLowByte(value * 255.0f); });
}

void imageConvert(const TypedImage<Byte4>& source, TypedImage<FloatPixel3<float>>& target) {
    convertPixels(source, target, [](const Byte4& p) {
        return FloatPixel3<float>(p.red / 255.0f, p.green / 255.0f, p.blue / 255.0f);
    });
}

void imageConvert(const TypedImage<Byte4>& source, TypedImage<FloatPixel4<float>>& target) {
    convertPixels(source, target, [](const Byte4& p) {
        return FloatPixel4<float>(p.red / 255.0f, p.green / 255.0f, p.blue / 255.0f,
                                  p.alpha / 255.0f);
    });
}

void imageConvert(const TypedImage<FloatPixel3<float>>& source,
                  TypedImage<FloatPixel4<float>>& target) {
    convertPixels(source, target, [](const FloatPixel3<float>& p) {
        return FloatPixel4<float>(p.red, p.green, p.blue, 1.0f);
    });
}

void imageConvert(const TypedImage<FloatPixel3<float>>& source, TypedImage<Byte4>& target) {
    convertPixels(source, target, [](const FloatPixel3<float>& p) {
        return Byte4(clampedByte(p.red), clampedByte(p.green), clampedByte(p.blue), 255);
    });
}

bool convertToType(ix::Reference<Image>& image, PixelTypeId type) {
    if (!image) return false;
    const Image& source = *image;
    if (static_cast<long long>(source.getWidth()) * source.getHeight() == 0) return false;
    if (source.getPixelType() == type) return true;

    ix::Reference<Image> converted(imageCreateByType(type));
    if (!converted) return false;

    // The three conversions performed in place; every other pair (including those towards
    // FloatPixel4<float> that imageConvert offers) is refused.
    const PixelTypeId from = source.getPixelType();
    if (from == kPixelByte4 && type == kPixelFloat3) {
        imageConvert(static_cast<const TypedImage<Byte4>&>(source),
                     static_cast<TypedImage<FloatPixel3<float>>&>(*converted));
    } else if (from == kPixelFloat && type == kPixelUnsignedChar) {
        imageConvert(static_cast<const TypedImage<float>&>(source),
                     static_cast<TypedImage<unsigned char>&>(*converted));
    } else if (from == kPixelFloat3 && type == kPixelByte4) {
        imageConvert(static_cast<const TypedImage<FloatPixel3<float>>&>(source),
                     static_cast<TypedImage<Byte4>&>(*converted));
    } else {
        return false;
    }
    image = converted;
    return true;
}

}  // namespace ixImage
