// Pixel types and their tags.
//
// Every image holds one pixel type T, named at run time by a PixelTypeId tag. The tag values are
// part of the binary interface (they are stored in packet files) and never change.
//
//   tag  type                                              bytes  use
//   0    unsigned char                                     1      8-bit masks
//   1    Byte4                                             4      8-bit colour
//   2    unsigned int                                      4      32-bit single channel
//   3    Int4                                              16     32-bit integer colour
//   4    FloatPixel4<half>                                 8      half-float colour
//   5    float                                             4      single channel
//   6    FloatPixel3<float>                                12     HDR colour (light probes)
//   7    FloatPixel4<float>                                16     HDR colour with alpha
//   8    FloatPixel3<double>                               24     double colour
//   9    FixedOrderSphericalHarmonics<FloatPixel3<double>,10>  2912  SHRM pixels
#pragma once

#include <cstdint>

#include "iximage/interfaces/color4.h"
#include "iximage/interfaces/half.h"

namespace ixImage {

enum PixelTypeId : std::int32_t {
    kPixelUnsignedChar = 0,        // unsigned char
    kPixelByte4 = 1,               // Byte4
    kPixelUnsignedInt = 2,         // unsigned int
    kPixelInt4 = 3,                // Int4
    kPixelHalf4 = 4,               // FloatPixel4<half>
    kPixelFloat = 5,               // float
    kPixelFloat3 = 6,              // FloatPixel3<float>
    kPixelFloat4 = 7,              // FloatPixel4<float>
    kPixelDouble3 = 8,             // FloatPixel3<double>
    kPixelSphericalHarmonics = 9,  // FixedOrderSphericalHarmonics<FloatPixel3<double>, 10>
};

// Three components, red, green, blue. Arithmetic is component-wise; for half components each
// operation is done in float and rounded back to half.
template <class T>
struct FloatPixel3 {
    T red{};
    T green{};
    T blue{};

    FloatPixel3() = default;
    FloatPixel3(T r, T g, T b) : red(r), green(g), blue(b) {}
};

// Four components, red, green, blue, alpha.
template <class T>
struct FloatPixel4 {
    T red{};
    T green{};
    T blue{};
    T alpha{};

    FloatPixel4() = default;
    FloatPixel4(T r, T g, T b, T a) : red(r), green(g), blue(b), alpha(a) {}
};

// Component-wise operators. Half components convert to float, operate, and round back.
template <class T>
FloatPixel3<T> operator+(const FloatPixel3<T>& a, const FloatPixel3<T>& b) {
    return {T(a.red + b.red), T(a.green + b.green), T(a.blue + b.blue)};
}
template <class T>
FloatPixel3<T> operator-(const FloatPixel3<T>& a, const FloatPixel3<T>& b) {
    return {T(a.red - b.red), T(a.green - b.green), T(a.blue - b.blue)};
}
template <class T>
FloatPixel3<T> operator*(const FloatPixel3<T>& a, const FloatPixel3<T>& b) {
    return {T(a.red * b.red), T(a.green * b.green), T(a.blue * b.blue)};
}
template <class T>
FloatPixel3<T> operator/(const FloatPixel3<T>& a, const FloatPixel3<T>& b) {
    return {T(a.red / b.red), T(a.green / b.green), T(a.blue / b.blue)};
}
template <class T>
FloatPixel4<T> operator+(const FloatPixel4<T>& a, const FloatPixel4<T>& b) {
    return {T(a.red + b.red), T(a.green + b.green), T(a.blue + b.blue), T(a.alpha + b.alpha)};
}
template <class T>
FloatPixel4<T> operator-(const FloatPixel4<T>& a, const FloatPixel4<T>& b) {
    return {T(a.red - b.red), T(a.green - b.green), T(a.blue - b.blue), T(a.alpha - b.alpha)};
}
template <class T>
FloatPixel4<T> operator*(const FloatPixel4<T>& a, const FloatPixel4<T>& b) {
    return {T(a.red * b.red), T(a.green * b.green), T(a.blue * b.blue), T(a.alpha * b.alpha)};
}
template <class T>
FloatPixel4<T> operator/(const FloatPixel4<T>& a, const FloatPixel4<T>& b) {
    return {T(a.red / b.red), T(a.green / b.green), T(a.blue / b.blue), T(a.alpha / b.alpha)};
}

// A spherical-harmonic expansion of order N held inline: order, count = (N + 1)^2, then the
// coefficients, all zero at construction. Coefficient (l, m), -l <= m <= l, is entry l^2 + l + m.
template <class T, int N>
struct FixedOrderSphericalHarmonics {
    static constexpr int kCount = (N + 1) * (N + 1);

    std::int32_t order = N;
    std::int32_t count = kCount;
    T coeffs[kCount] = {};

    T& at(int l, int m) { return coeffs[l * l + l + m]; }
    const T& at(int l, int m) const { return coeffs[l * l + l + m]; }
};

using ShrmPixel = FixedOrderSphericalHarmonics<FloatPixel3<double>, 10>;

// The tag of each pixel type.
template <class T>
struct PixelTraits;
template <>
struct PixelTraits<unsigned char> {
    static constexpr PixelTypeId kTag = kPixelUnsignedChar;
};
template <>
struct PixelTraits<Byte4> {
    static constexpr PixelTypeId kTag = kPixelByte4;
};
template <>
struct PixelTraits<unsigned int> {
    static constexpr PixelTypeId kTag = kPixelUnsignedInt;
};
template <>
struct PixelTraits<Int4> {
    static constexpr PixelTypeId kTag = kPixelInt4;
};
template <>
struct PixelTraits<FloatPixel4<half>> {
    static constexpr PixelTypeId kTag = kPixelHalf4;
};
template <>
struct PixelTraits<float> {
    static constexpr PixelTypeId kTag = kPixelFloat;
};
template <>
struct PixelTraits<FloatPixel3<float>> {
    static constexpr PixelTypeId kTag = kPixelFloat3;
};
template <>
struct PixelTraits<FloatPixel4<float>> {
    static constexpr PixelTypeId kTag = kPixelFloat4;
};
template <>
struct PixelTraits<FloatPixel3<double>> {
    static constexpr PixelTypeId kTag = kPixelDouble3;
};
template <>
struct PixelTraits<ShrmPixel> {
    static constexpr PixelTypeId kTag = kPixelSphericalHarmonics;
};

// Names a pixel type as a value, so that a generic lambda can receive it.
template <class T>
struct PixelTypeTag {
    using Type = T;
};

// The one switch over every tag: calls visit(PixelTypeTag<T>()) for the pixel type T that `tag`
// names and returns its result, or `unknown` when the value names no pixel type. Operations
// that support only some pixel types keep a switch of their own, listing what they support.
template <class Result, class Visit>
Result visitPixelType(std::int32_t tag, Visit&& visit, Result unknown) {
    switch (tag) {
        case kPixelUnsignedChar: return visit(PixelTypeTag<unsigned char>());
        case kPixelByte4: return visit(PixelTypeTag<Byte4>());
        case kPixelUnsignedInt: return visit(PixelTypeTag<unsigned int>());
        case kPixelInt4: return visit(PixelTypeTag<Int4>());
        case kPixelHalf4: return visit(PixelTypeTag<FloatPixel4<half>>());
        case kPixelFloat: return visit(PixelTypeTag<float>());
        case kPixelFloat3: return visit(PixelTypeTag<FloatPixel3<float>>());
        case kPixelFloat4: return visit(PixelTypeTag<FloatPixel4<float>>());
        case kPixelDouble3: return visit(PixelTypeTag<FloatPixel3<double>>());
        case kPixelSphericalHarmonics: return visit(PixelTypeTag<ShrmPixel>());
        default: return unknown;
    }
}

// The same for visitors without a result: true when `tag` names a pixel type.
template <class Visit>
bool forPixelType(std::int32_t tag, Visit&& visit) {
    return visitPixelType(
        tag,
        [&visit](auto type) {
            visit(type);
            return true;
        },
        false);
}

static_assert(sizeof(half) == 2, "half is 16 bits");
static_assert(sizeof(Byte4) == 4 && sizeof(Int4) == 16, "packed integer pixels");
static_assert(sizeof(FloatPixel4<half>) == 8, "half pixel is 8 bytes");
static_assert(sizeof(FloatPixel3<float>) == 12 && sizeof(FloatPixel4<float>) == 16, "float pixels");
static_assert(sizeof(FloatPixel3<double>) == 24, "double pixel is 24 bytes");
static_assert(sizeof(ShrmPixel) == 2912, "reflection-map pixel is 2912 bytes");

}  // namespace ixImage
