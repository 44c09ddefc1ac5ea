#include "iximage/image/arithmetic.h"

#include <functional>

namespace ixImage {

namespace {

// The operand sizes are taken before result is resized: when result is b, resizing it must
// not make mismatched operands look alike (and hand uninitialised pixels to the kernel).
struct OperandSizes {
    int widthA, heightA, widthB, heightB;
};

// result[i] = combine(a[i], b[i]) over the flat arrays, in storage order.
template <class T, class Combine>
void combinePixels(const OperandSizes& sizes, const Image& a, const Image& b, Image& result,
                   Combine combine) {
    if (sizes.widthA != sizes.widthB || sizes.heightA != sizes.heightB) return;
    result.setSize(sizes.widthA, sizes.heightA);
    const T* pa = static_cast<const T*>(a.pixels());
    const T* pb = static_cast<const T*>(b.pixels());
    T* out = static_cast<T*>(result.pixels());
    if (pa == nullptr || pb == nullptr || out == nullptr) return;
    const long long n = static_cast<long long>(sizes.widthA) * sizes.heightA;
    for (long long i = 0; i < n; ++i) out[i] = combine(pa[i], pb[i]);
}

// Mask division: a / b on the 0..255 scale, rounded half up, computed in float. The truncated
// integer is at most 255 * 255 + 0.5, so it fits an int; its low 8 bits are kept.
struct DivideMask {
    unsigned char operator()(unsigned char a, unsigned char b) const {
        if (b == 0) return a;
        const float quotient = (static_cast<float>(a) / static_cast<float>(b)) * 255.0f + 0.5f;
        return static_cast<unsigned char>(static_cast<unsigned int>(static_cast<int>(quotient)));
    }
};

// The frame shared by the four operations: same tag for all three images, result sized like a,
// then the per-type kernel (which checks that a and b agree in size).
bool prepareResult(const Image& a, const Image& b, Image& result, OperandSizes& sizes) {
    const PixelTypeId tag = a.getPixelType();
    if (b.getPixelType() != tag || result.getPixelType() != tag) return false;
    sizes = {a.getWidth(), a.getHeight(), b.getWidth(), b.getHeight()};
    result.setSize(sizes.widthA, sizes.heightA);
    return true;
}

// Dispatch for add, subtract and multiply, which share their supported types.
template <class Op>
void combineFloatImages(const Image& a, const Image& b, Image& result, Op op) {
    OperandSizes sizes;
    if (!prepareResult(a, b, result, sizes)) return;
    switch (a.getPixelType()) {
        case kPixelHalf4: return combinePixels<FloatPixel4<half>>(sizes, a, b, result, op);
        case kPixelFloat3: return combinePixels<FloatPixel3<float>>(sizes, a, b, result, op);
        case kPixelFloat4: return combinePixels<FloatPixel4<float>>(sizes, a, b, result, op);
        default: return;  // no such operation for this type: result sized, not written
    }
}

// ---- Average ----------------------------------------------------------------------------

long long pixelCount(const Image& image) {
    if (image.pixels() == nullptr) return 0;
    return static_cast<long long>(image.getWidth()) * image.getHeight();
}

// Sums of one float component per pixel (unsigned char, float): the mean goes to red.
template <class T>
FloatPixel4<float> averageScalar(const Image& image) {
    FloatPixel4<float> mean;
    const long long n = pixelCount(image);
    if (n < 1) return mean;
    const T* p = static_cast<const T*>(image.pixels());
    float sum = 0.0f;
    for (long long i = 0; i < n; ++i) sum += static_cast<float>(p[i]);
    mean.red = sum * (1.0f / static_cast<float>(n));
    return mean;
}

// Byte4: exact 32-bit integer channel sums (wrapping past 16,843,009 pixels of 255), scaled by
// the float reciprocal and truncated, so the mean stays on the 0..255 scale.
FloatPixel4<float> averageByte4(const Image& image) {
    FloatPixel4<float> mean;
    const long long n = pixelCount(image);
    if (n < 1) return mean;
    const Byte4* p = static_cast<const Byte4*>(image.pixels());
    unsigned int red = 0, green = 0, blue = 0, alpha = 0;
    for (long long i = 0; i < n; ++i) {
        red += p[i].red;
        green += p[i].green;
        blue += p[i].blue;
        alpha += p[i].alpha;
    }
    const float inverseCount = 1.0f / static_cast<float>(n);
    const auto channelMean = [inverseCount](unsigned int sum) {
        return static_cast<float>(
            static_cast<unsigned int>(static_cast<float>(sum) * inverseCount));
    };
    return {channelMean(red), channelMean(green), channelMean(blue), channelMean(alpha)};
}

// Half components that are infinite or NaN count as 1.0, so that a few blown-out pixels do not
// swamp the mean of an otherwise finite image.
float finiteHalf(half h) { return h.isInfOrNan() ? 1.0f : static_cast<float>(h); }

FloatPixel4<float> averageHalf4(const Image& image) {
    FloatPixel4<float> mean;
    const long long n = pixelCount(image);
    if (n < 1) return mean;  // no pixels: zero rather than 0 * (1 / 0) = NaN
    const FloatPixel4<half>* p = static_cast<const FloatPixel4<half>*>(image.pixels());
    for (long long i = 0; i < n; ++i) {
        mean.red += finiteHalf(p[i].red);
        mean.green += finiteHalf(p[i].green);
        mean.blue += finiteHalf(p[i].blue);
        mean.alpha += finiteHalf(p[i].alpha);
    }
    const float inverseCount = 1.0f / static_cast<float>(n);
    return {mean.red * inverseCount, mean.green * inverseCount, mean.blue * inverseCount,
            mean.alpha * inverseCount};
}

FloatPixel4<float> averageFloat3(const Image& image) {
    FloatPixel4<float> mean;
    const long long n = pixelCount(image);
    if (n < 1) return mean;
    const FloatPixel3<float>* p = static_cast<const FloatPixel3<float>*>(image.pixels());
    for (long long i = 0; i < n; ++i) {
        mean.red += p[i].red;
        mean.green += p[i].green;
        mean.blue += p[i].blue;
    }
    const float inverseCount = 1.0f / static_cast<float>(n);
    return {mean.red * inverseCount, mean.green * inverseCount, mean.blue * inverseCount, 0.0f};
}

FloatPixel4<float> averageFloat4(const Image& image) {
    FloatPixel4<float> mean;
    const long long n = pixelCount(image);
    if (n < 1) return mean;
    const FloatPixel4<float>* p = static_cast<const FloatPixel4<float>*>(image.pixels());
    for (long long i = 0; i < n; ++i) {
        mean.red += p[i].red;
        mean.green += p[i].green;
        mean.blue += p[i].blue;
        mean.alpha += p[i].alpha;
    }
    const float inverseCount = 1.0f / static_cast<float>(n);
    return {mean.red * inverseCount, mean.green * inverseCount, mean.blue * inverseCount,
            mean.alpha * inverseCount};
}

}  // namespace

void imageAdd(const Image& a, const Image& b, Image& result) {
    combineFloatImages(a, b, result, std::plus<>());
}

void imageSub(const Image& a, const Image& b, Image& result) {
    combineFloatImages(a, b, result, std::minus<>());
}

void imageMult(const Image& a, const Image& b, Image& result) {
    combineFloatImages(a, b, result, std::multiplies<>());
}

void imageDiv(const Image& a, const Image& b, Image& result) {
    OperandSizes sizes;
    if (!prepareResult(a, b, result, sizes)) return;
    const std::divides<> divide;
    switch (a.getPixelType()) {
        case kPixelUnsignedChar:
            return combinePixels<unsigned char>(sizes, a, b, result, DivideMask());
        case kPixelHalf4: return combinePixels<FloatPixel4<half>>(sizes, a, b, result, divide);
        case kPixelFloat3: return combinePixels<FloatPixel3<float>>(sizes, a, b, result, divide);
        case kPixelFloat4: return combinePixels<FloatPixel4<float>>(sizes, a, b, result, divide);
        default: return;  // no division for this type: result sized, not written
    }
}

FloatPixel4<float> imageAverage(const Image& image) {
    switch (image.getPixelType()) {
        case kPixelUnsignedChar: return averageScalar<unsigned char>(image);
        case kPixelByte4: return averageByte4(image);
        case kPixelHalf4: return averageHalf4(image);
        case kPixelFloat: return averageScalar<float>(image);
        case kPixelFloat3: return averageFloat3(image);
        case kPixelFloat4: return averageFloat4(image);
        default: return FloatPixel4<float>();  // no mean defined for this type: all zero
    }
}

}  // namespace ixImage
