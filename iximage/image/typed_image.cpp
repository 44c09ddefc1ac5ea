#include "iximage/image/typed_image.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#include "iximage/interfaces/detail/image_maker.h"
#include "iximage/interfaces/large_buffer.h"

namespace ixImage {

// Element construction on allocation: every element is default-initialised (Byte4, half and
// float-colour components to zero, scalars left as they are,
// SHRM pixels to order 10 with zero coefficients). Buffers come
// from ixUtil::allocateBuffer so that the big ones (an SH reflection map is 58 MB) are cheap to
// touch for the first time. Pixel types are trivially destructible, so freeing needs no
// destructor calls.
template <class T>
static T* allocatePixels(int count) {
    static_assert(std::is_trivially_destructible<T>::value, "pixels need no destruction");
    if constexpr (std::is_same<T, ShrmPixel>::value) {
        // An SH reflection map is 58 MB of zero coefficients: memory that already reads as zero
        // (fresh pages from the system) is not cleared a second time, and only each pixel's
        // order and count are written. The pixel is an aggregate, so the zeroed storage holds
        // pixels whose coefficients are the +0.0 that default construction gives.
        T* pixels =
            static_cast<T*>(ixUtil::allocateZeroedBuffer(static_cast<size_t>(count) * sizeof(T)));
        const T constructed{};
        for (int i = 0; i < count; ++i) {
            pixels[i].order = constructed.order;
            pixels[i].count = constructed.count;
        }
        return pixels;
    }
    T* pixels = static_cast<T*>(ixUtil::allocateBuffer(static_cast<size_t>(count) * sizeof(T)));
    for (int i = 0; i < count; ++i) new (pixels + i) T;
    return pixels;
}

template <class T>
static void freePixels(T* pixels) {
    ixUtil::freeBuffer(pixels);
}

template <class T>
TypedImage<T>::TypedImage() : Image(PixelTraits<T>::kTag) {}

template <class T>
TypedImage<T>::~TypedImage() {
    if (ownsPixels) freePixels(pixelData);
    pixelData = nullptr;
}

template <class T>
int TypedImage<T>::pixelSize() const {
    return static_cast<int>(sizeof(T));
}

template <class T>
int TypedImage<T>::memorySize() const {
    // 32-bit arithmetic, as the interface promises; unsigned to keep overflow defined.
    unsigned int size = static_cast<unsigned int>(sizeof(TypedImage<T>));
    if (pixelData)
        size += static_cast<unsigned int>(width) * static_cast<unsigned int>(height) *
                static_cast<unsigned int>(sizeof(T));
    return static_cast<int>(size);
}

template <class T>
Image* TypedImage<T>::newEmpty() const {
    return new TypedImage<T>();
}

template <class T>
Image* TypedImage<T>::duplicate() const {
    TypedImage<T>* copy = new TypedImage<T>();
    copy->width = width;
    copy->height = height;
    copy->inverseWidth = inverseWidth;
    copy->inverseHeight = inverseHeight;
    copy->wrapHorizontal = wrapHorizontal;
    copy->wrapVertical = wrapVertical;
    const long long count = static_cast<long long>(width) * height;
    if (count > 0) {
        copy->pixelData = allocatePixels<T>(static_cast<int>(count));
        if (pixelData)
            std::memcpy(static_cast<void*>(copy->pixelData), pixelData,
                        static_cast<size_t>(count) * sizeof(T));
    }
    copy->ownsPixels = true;
    return copy;
}

template <class T>
void TypedImage<T>::setSize(int newWidth, int newHeight) {
    // Sizes whose product does not fit in 32 bits are treated as empty rather than wrapping
    // around to a small buffer that the callers would overrun.
    const long long wide = static_cast<long long>(newWidth) * newHeight;
    const int n = (wide > std::numeric_limits<int>::max() || wide < 0) ? 0 : static_cast<int>(wide);
    const long long current = static_cast<long long>(width) * height;
    if (n != current || !ownsPixels) {
        if (ownsPixels) {
            freePixels(pixelData);
            pixelData = nullptr;
        }
        if (n > 0) {
            pixelData = allocatePixels<T>(n);
            ownsPixels = true;
        }
    }
    width = newWidth;
    height = newHeight;
    inverseWidth = newWidth >= 1 ? 1.0f / static_cast<float>(newWidth) : 1.0f;
    inverseHeight = newHeight >= 1 ? 1.0f / static_cast<float>(newHeight) : 1.0f;
}

template <class T>
void TypedImage<T>::setExternalPixels(T* external, int w, int h) {
    if (ownsPixels) freePixels(pixelData);
    pixelData = external;
    ownsPixels = false;
    width = w;
    height = h;
    inverseWidth = w >= 1 ? 1.0f / static_cast<float>(w) : 1.0f;
    inverseHeight = h >= 1 ? 1.0f / static_cast<float>(h) : 1.0f;
}

template class TypedImage<unsigned char>;
template class TypedImage<Byte4>;
template class TypedImage<unsigned int>;
template class TypedImage<Int4>;
template class TypedImage<FloatPixel4<half>>;
template class TypedImage<float>;
template class TypedImage<FloatPixel3<float>>;
template class TypedImage<FloatPixel4<float>>;
template class TypedImage<FloatPixel3<double>>;
template class TypedImage<ShrmPixel>;

// Any pixel type, SHRM pixels included: packet files restore every image they hold
// through this.
static Image* makeTypedImage(PixelTypeId type) {
    return visitPixelType(
        type, [](auto pixel) -> Image* { return new TypedImage<typename decltype(pixel)::Type>(); },
        static_cast<Image*>(nullptr));
}

Image* imageCreateByType(PixelTypeId type) {
    // SHRM images are made only by the SHRM builder.
    return type == kPixelSphericalHarmonics ? nullptr : makeTypedImage(type);
}

// Registered while the library loads, before any caller can open a packet file.
[[maybe_unused]] static const bool imageMakerSet = (setImageMaker(&makeTypedImage), true);

}  // namespace ixImage
