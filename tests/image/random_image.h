// Random test images, reproducible from a seed, and pixels seen as arrays of components.
#pragma once

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "iximage/image/typed_image.h"

namespace ixTest {

// A single pixel, a single column, a single row, and sides sharing no factor.
struct Shape {
    int width, height;
};
constexpr Shape kOddShapes[] = {{1, 1}, {1, 7}, {7, 1}, {17, 9}};

// Pixel type T as kCount<T, C> components of type C (Byte4: 4 unsigned char, Float3: 3 float).
template <class T, class C>
constexpr int kCount = sizeof(T) / sizeof(C);
template <class T, class C>
std::array<float, 4> componentsOf(const T& p) {
    C values[kCount<T, C>];
    std::memcpy(static_cast<void*>(values), &p, sizeof(T));
    std::array<float, 4> out{};
    for (int k = 0; k < kCount<T, C>; ++k) out[k] = float(values[k]);
    return out;
}

// Sizes image and sets every component to C(draw()).
template <class T, class C, class Draw>
void fillComponents(ixImage::TypedImage<T>& image, int width, int height, Draw draw) {
    image.setSize(width, height);
    std::vector<C> values(std::size_t(width * height * kCount<T, C>));
    for (C& v : values) v = static_cast<C>(draw());
    std::memcpy(static_cast<void*>(image.data()), values.data(), sizeof(T) * width * height);
}
template <class T>
void fillRandomBytes(ixImage::TypedImage<T>& image, int width, int height, std::mt19937& rng) {
    fillComponents<T, unsigned char>(image, width, height, [&rng] { return rng() & 0xFFu; });
}

// Floats over several binades, both signs, some exact zeros.
inline float randomValue(std::mt19937& rng) {
    const unsigned pick = rng() % 16u;
    if (pick == 0) return 0.0f;
    return std::uniform_real_distribution<float>(-4.0f, 4.0f)(rng) * (pick < 8 ? 1.0f : 100.0f);
}
// Calls f(Image()) for each image type given.
template <class... Images, class F>
void forEachImageType(F f) {
    (f(Images()), ...);
}
// Bitwise equality, so that NaNs of one pattern compare equal.
template <class T>
bool sameBits(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

}  // namespace ixTest
