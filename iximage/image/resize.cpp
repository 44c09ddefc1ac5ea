// Resizing by nearest-pixel selection or by bilinear interpolation.
#include "iximage/image/resize.h"

#include <memory>
#include <vector>

#include "iximage/interfaces/linear.h"

namespace ixImage {
namespace {

// The bilinear value at (u, v) as a pixel of the image's own type; Byte4 samples arrive as an
// Int4 and are narrowed by Byte4's constructor.
template <class T>
T bilinearPixel(const TypedImage<T>& image, float u, float v) {
    T out;
    sampleBilinear(image, u, v, out);
    return out;
}

Byte4 bilinearPixel(const TypedImage<Byte4>& image, float u, float v) {
    Int4 out;
    sampleBilinear(image, u, v, out);
    return Byte4(out);
}

// Destination pixel centres in normalised coordinates: (i + 0.5) * (1 / size), with the
// reciprocal that setSize stored in the destination.
inline float pixelCentre(int i, float inverseSize) {
    return (static_cast<float>(i) + 0.5f) * inverseSize;
}

// Nearest source index of a destination pixel centre, scaled by (1 - eps) like the bilinear
// positions so that the last centre stays inside the source.
inline int nearestIndex(int i, float inverseSize, int sourceSize) {
    const float oneMinusEps = 1.0f - ixLinear::epsilonTolFlt;
    return static_cast<int>(pixelCentre(i, inverseSize) * oneMinusEps *
                            static_cast<float>(sourceSize));
}

template <class T>
void fillNearest(const TypedImage<T>& src, TypedImage<T>& dst) {
    const int W = src.getWidth();
    const int H = src.getHeight();
    std::vector<int> sourceColumn(static_cast<std::size_t>(dst.getWidth()));
    for (int x = 0; x < dst.getWidth(); ++x)
        sourceColumn[static_cast<std::size_t>(x)] = nearestIndex(x, dst.getInverseWidth(), W);
    for (int y = 0; y < dst.getHeight(); ++y) {
        const int sourceRow = nearestIndex(y, dst.getInverseHeight(), H);
        for (int x = 0; x < dst.getWidth(); ++x)
            dst.at(x, y) = src.at(sourceColumn[static_cast<std::size_t>(x)], sourceRow);
    }
}

template <class T>
void fillBilinear(const TypedImage<T>& src, TypedImage<T>& dst) {
    for (int y = 0; y < dst.getHeight(); ++y) {
        const float v = pixelCentre(y, dst.getInverseHeight());
        for (int x = 0; x < dst.getWidth(); ++x)
            dst.at(x, y) = bilinearPixel(src, pixelCentre(x, dst.getInverseWidth()), v);
    }
}

template <class T>
Image* resizeTyped(const Image& source, int width, int height, bool bilinear) {
    const TypedImage<T>& src = static_cast<const TypedImage<T>&>(source);
    // A source without pixels has nothing to sample: answered like an unsupported type.
    if (src.getWidth() < 1 || src.getHeight() < 1 || !src.data()) return nullptr;

    std::unique_ptr<TypedImage<T>> dst(new TypedImage<T>());
    dst->setSize(width, height);
    if (width >= 1 && height >= 1) {
        if (bilinear)
            fillBilinear(src, *dst);
        else
            fillNearest(src, *dst);
    }
    return dst.release();
}

}  // namespace

Image* resize(const Image& src, int width, int height, bool bilinear) {
    switch (src.getPixelType()) {
        case kPixelByte4: return resizeTyped<Byte4>(src, width, height, bilinear);
        case kPixelHalf4: return resizeTyped<FloatPixel4<half>>(src, width, height, bilinear);
        case kPixelFloat: return resizeTyped<float>(src, width, height, bilinear);
        case kPixelFloat3: return resizeTyped<FloatPixel3<float>>(src, width, height, bilinear);
        case kPixelFloat4: return resizeTyped<FloatPixel4<float>>(src, width, height, bilinear);
        default: return nullptr;  // no interpolation for the other pixel types
    }
}

}  // namespace ixImage
