#include "iximage/interfaces/detail/packet_pixels.h"

#include <algorithm>
#include <cstring>

#include "iximage/interfaces/detail/image_maker.h"

namespace ixImage {
namespace packetPixels {
namespace {

bool hostIsLittleEndian() {
    const std::uint16_t probe = 1;
    std::uint8_t firstByte = 0;
    std::memcpy(&firstByte, &probe, 1);
    return firstByte == 1;
}

// Width in bytes of the scalar components a pixel is made of.
template <class T>
struct ComponentBytes {
    static constexpr std::size_t value = sizeof(T);
};
template <>
struct ComponentBytes<Byte4> {
    static constexpr std::size_t value = 1;
};
template <>
struct ComponentBytes<Int4> {
    static constexpr std::size_t value = 4;
};
template <class C>
struct ComponentBytes<FloatPixel3<C>> {
    static constexpr std::size_t value = sizeof(C);
};
template <class C>
struct ComponentBytes<FloatPixel4<C>> {
    static constexpr std::size_t value = sizeof(C);
};

void reverseEachWord(std::uint8_t* bytes, std::size_t byteCount, std::size_t wordBytes) {
    if (wordBytes < 2) return;
    for (std::size_t i = 0; i + wordBytes <= byteCount; i += wordBytes)
        std::reverse(bytes + i, bytes + i + wordBytes);
}

// Turns host-order pixels into little-endian ones and back (the swap is its own inverse).
template <class T>
void swapComponents(std::uint8_t* bytes, std::size_t count) {
    reverseEachWord(bytes, count * sizeof(T), ComponentBytes<T>::value);
}

// An SHRM pixel mixes two 32-bit integers with doubles.
template <>
void swapComponents<ShrmPixel>(std::uint8_t* bytes, std::size_t count) {
    constexpr std::size_t kHeaderBytes = 2 * sizeof(std::int32_t);
    static_assert(offsetof(ShrmPixel, coeffs) == kHeaderBytes, "coefficients follow order, count");
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* pixel = bytes + i * sizeof(ShrmPixel);
        reverseEachWord(pixel, kHeaderBytes, sizeof(std::int32_t));
        reverseEachWord(pixel + kHeaderBytes, sizeof(ShrmPixel) - kHeaderBytes, sizeof(double));
    }
}

template <class T>
void toOrFromLittleEndian(std::uint8_t* bytes, std::size_t count) {
    if (!hostIsLittleEndian()) swapComponents<T>(bytes, count);
}

// Every bit pattern is a valid value of the plain pixel types.
template <class T>
bool checkPixels(const T*, std::size_t, std::string&) {
    return true;
}

// The order and count fields are trusted by the code that evaluates reflection maps, so a
// record may not change them.
template <>
bool checkPixels<ShrmPixel>(const ShrmPixel* pixels, std::size_t count, std::string& problem) {
    for (std::size_t i = 0; i < count; ++i) {
        if (pixels[i].order != 10 || pixels[i].count != ShrmPixel::kCount) {
            problem = "reflection-map pixel " + std::to_string(i) + " declares order " +
                      std::to_string(pixels[i].order) + " and " + std::to_string(pixels[i].count) +
                      " coefficients (expected 10 and " + std::to_string(ShrmPixel::kCount) + ")";
            return false;
        }
    }
    return true;
}

std::size_t pixelCount(const Image& image) {
    if (image.getWidth() <= 0 || image.getHeight() <= 0) return 0;
    return static_cast<std::size_t>(image.getWidth()) * static_cast<std::size_t>(image.getHeight());
}

template <class T>
void appendTyped(const Image& image, std::vector<std::uint8_t>& out) {
    const std::size_t count = pixelCount(image);
    if (count == 0) return;
    const std::size_t start = out.size();
    out.resize(start + count * sizeof(T));
    std::memcpy(out.data() + start, image.pixels(), count * sizeof(T));
    toOrFromLittleEndian<T>(out.data() + start, count);
}

template <class T>
ix::Reference<Image> decodeTyped(int width, int height, const std::uint8_t* bytes,
                                 std::string& problem) {
    ix::Reference<Image> image(makeImage(PixelTraits<T>::kTag));
    if (!image) {
        problem =
            "no image of pixel type " + std::to_string(int(PixelTraits<T>::kTag)) + " can be made";
        return nullptr;
    }
    image->setSize(width, height);
    const std::size_t count = pixelCount(*image);
    if (count > 0) {
        T* pixels = static_cast<T*>(image->pixels());
        std::uint8_t* destination = reinterpret_cast<std::uint8_t*>(pixels);
        std::memcpy(destination, bytes, count * sizeof(T));
        toOrFromLittleEndian<T>(destination, count);
        if (!checkPixels(pixels, count, problem)) return nullptr;
    }
    return image;
}

}  // namespace

std::size_t pixelSizeOfType(std::int32_t type) {
    return visitPixelType(
        type, [](auto pixel) { return sizeof(typename decltype(pixel)::Type); }, std::size_t(0));
}

void appendPixels(const Image& image, std::vector<std::uint8_t>& out) {
    // The writer refuses unknown tags before it gets here.
    forPixelType(image.getPixelType(),
                 [&](auto pixel) { appendTyped<typename decltype(pixel)::Type>(image, out); });
}

ix::Reference<Image> decodePixels(std::int32_t type, int width, int height,
                                  const std::uint8_t* bytes, std::string& problem) {
    ix::Reference<Image> image;
    if (!forPixelType(type, [&](auto pixel) {
            image = decodeTyped<typename decltype(pixel)::Type>(width, height, bytes, problem);
        }))
        problem = "unknown pixel type " + std::to_string(type);
    return image;
}

}  // namespace packetPixels
}  // namespace ixImage
