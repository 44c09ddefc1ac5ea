// Random test images, reproducible from a seed.
#pragma once

#include <cstring>
#include <random>

#include "iximage/image/typed_image.h"

namespace ixTest {

// The odd shapes every pixel-wise operation is checked on: a single pixel, a single column, a
// single row, and a block whose sides share no factor.
struct Shape {
    int width, height;
};
constexpr Shape kOddShapes[] = {{1, 1}, {1, 7}, {7, 1}, {17, 9}};

// Sizes image and fills every byte of its pixels at random (for operations that move pixels
// without looking at them).
template <class T>
void fillRandomBytes(ixImage::TypedImage<T>& image, int width, int height, std::mt19937& rng) {
    image.setSize(width, height);
    unsigned char* bytes = reinterpret_cast<unsigned char*>(image.data());
    for (std::size_t i = 0; i < sizeof(T) * width * height; ++i) bytes[i] = rng() & 0xFFu;
}

// Floats over several binades, both signs, with some exact zeros.
inline float randomValue(std::mt19937& rng) {
    const unsigned pick = rng() % 16u;
    if (pick == 0) return 0.0f;
    return std::uniform_real_distribution<float>(-4.0f, 4.0f)(rng) * (pick < 8 ? 1.0f : 100.0f);
}

// Bitwise equality of two pixels, so that NaNs of one pattern compare equal.
template <class T>
bool sameBits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

}  // namespace ixTest
