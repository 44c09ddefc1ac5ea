#include "iximage/image/flip_min_max.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

namespace ixImage {

namespace {

// Reverses the pixels of every row in place. Whole pixels move, so a pixel's components keep
// their order.
template <class T>
void flipRows(Image& image) {
    const int width = image.getWidth();
    const int height = image.getHeight();
    T* pixels = static_cast<T*>(image.pixels());
    if (width < 2 || height < 1 || pixels == nullptr) return;
    for (int y = 0; y < height; ++y) {
        T* row = pixels + static_cast<std::size_t>(y) * width;
        std::reverse(row, row + width);
    }
}

// result[i] = pick(a[i], b[i]) for every pixel of two masks of one size.
template <class Pick>
void combineMasks(const TypedImage<unsigned char>& a, const TypedImage<unsigned char>& b,
                  TypedImage<unsigned char>& result, Pick pick) {
    const int width = a.getWidth();
    const int height = a.getHeight();
    if (width != b.getWidth() || height != b.getHeight()) return;
    result.setSize(width, height);
    const unsigned char* pa = a.data();
    const unsigned char* pb = b.data();
    unsigned char* out = result.data();
    if (pa == nullptr || pb == nullptr || out == nullptr) return;
    const long long n = static_cast<long long>(width) * height;
    for (long long i = 0; i < n; ++i) out[i] = pick(pa[i], pb[i]);
}

}  // namespace

void imageFlipVertical(Image& image) {
    // Pixel type does not matter: rows are exchanged as blocks of bytes through one spare row.
    const int height = image.getHeight();
    if (height < 2 || image.getWidth() < 1) return;
    unsigned char* pixels = static_cast<unsigned char*>(image.pixels());
    if (pixels == nullptr) return;
    const std::size_t rowBytes = static_cast<std::size_t>(image.pixelSize()) * image.getWidth();
    std::unique_ptr<unsigned char[]> spare(new unsigned char[rowBytes]);
    for (int i = 0; i < height / 2; ++i) {
        unsigned char* top = pixels + rowBytes * i;
        unsigned char* bottom = pixels + rowBytes * (height - 1 - i);
        std::memcpy(spare.get(), top, rowBytes);
        std::memcpy(top, bottom, rowBytes);
        std::memcpy(bottom, spare.get(), rowBytes);
    }
}

void imageFlipHorizontal(Image& image) {
    switch (image.getPixelType()) {
        case kPixelUnsignedChar: return flipRows<unsigned char>(image);
        case kPixelByte4: return flipRows<Byte4>(image);
        case kPixelUnsignedInt: return flipRows<unsigned int>(image);
        case kPixelInt4: return flipRows<Int4>(image);
        case kPixelHalf4: return flipRows<FloatPixel4<half>>(image);
        case kPixelFloat: return flipRows<float>(image);
        case kPixelFloat3: return flipRows<FloatPixel3<float>>(image);
        case kPixelFloat4: return flipRows<FloatPixel4<float>>(image);
        case kPixelDouble3: return;             // no horizontal flip for double colour
        case kPixelSphericalHarmonics: return;  // nor for SHRM pixels
        default: return;                        // not a pixel type of this library
    }
}

void imageSwapRedBlue(Image& image) {
    if (image.getPixelType() != kPixelByte4) return;
    const long long count = static_cast<long long>(image.getWidth()) * image.getHeight();
    if (count <= 0 || count > 0x7FFFFFFF) return;
    imageSwapRedBlue(static_cast<char*>(image.pixels()), static_cast<int>(count));
}

void imageSwapRedBlue(char* pixels, int count) {
    if (pixels == nullptr) return;
    for (int i = 0; i < count; ++i)
        std::swap(pixels[4 * static_cast<std::size_t>(i)],
                  pixels[4 * static_cast<std::size_t>(i) + 2]);
}

void imageMin(const TypedImage<unsigned char>& a, const TypedImage<unsigned char>& b,
              TypedImage<unsigned char>& result) {
    combineMasks(a, b, result, [](unsigned char p, unsigned char q) { return std::min(p, q); });
}

void imageMax(const TypedImage<unsigned char>& a, const TypedImage<unsigned char>& b,
              TypedImage<unsigned char>& result) {
    combineMasks(a, b, result, [](unsigned char p, unsigned char q) { return std::max(p, q); });
}

}  // namespace ixImage
