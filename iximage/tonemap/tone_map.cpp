#include "iximage/tonemap/tone_map.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/detail/parallel_for.h"
#include "iximage/interfaces/linear.h"

namespace ixImage {

namespace {

// Luminance of linear RGB; the weights sum to 1, so a grey (c, c, c) has luminance c (up to float
// rounding). Products summed left to right in float.
float luminance(float r, float g, float b) { return 0.2125f * r + 0.7154f * g + 0.0721f * b; }

// pow(x, 1) is x exactly (the true value is representable and pow errs by well under one unit
// in the last place), so the common exponent 1 skips the call without changing any result.
float powInDouble(float c, float exponent) {
    if (exponent == 1.0f) return c;
    return static_cast<float>(std::pow(static_cast<double>(c), static_cast<double>(exponent)));
}

// Exposure, then the clamp of negative values to 0, then the gamma power in double.
float exposeAndGamma(float c, float exposureScale, float invGamma) {
    c *= exposureScale;
    if (c < 0.0f) c = 0.0f;
    return powInDouble(c, invGamma);
}

// Saturation acts on the colour relative to its luminance: c = Y * (c / Y)^s, with 1 / Y
// computed once per pixel and the power in double.
float saturate(float c, float invY, float Y, float saturation) {
    // (c / Y) * Y is not c in float, so saturation 1 still goes through both products.
    c *= invY;
    return powInDouble(c, saturation) * Y;
}

// One pixel: exposure and gamma per channel, then saturation about the luminance of the
// result. Alpha, when the pixel has it, takes every step like a colour channel but does not
// enter the luminance.
template <class Pixel>
void applyToPixel(float exposureScale, float invGamma, float saturation, Pixel& pixel) {
    float* channels[4] = {&pixel.red, &pixel.green, &pixel.blue, nullptr};
    if constexpr (std::is_same<Pixel, FloatPixel4<float>>::value) channels[3] = &pixel.alpha;
    for (float* c : channels)
        if (c) *c = exposeAndGamma(*c, exposureScale, invGamma);
    const float Y = luminance(pixel.red, pixel.green, pixel.blue);
    if (Y > ixLinear::epsilonTolFlt) {
        const float invY = 1.0f / Y;
        for (float* c : channels)
            if (c) *c = saturate(*c, invY, Y, saturation);
    }
}

template <class Pixel>
void applyToImage(const ToneMap& map, Image& image) {
    auto& typed = static_cast<TypedImage<Pixel>&>(image);
    Pixel* p = typed.data();
    if (!p || image.getWidth() <= 0 || image.getHeight() <= 0) return;
    const std::size_t n =
        static_cast<std::size_t>(image.getWidth()) * static_cast<std::size_t>(image.getHeight());
    // Three double-precision powers per pixel make a full-size probe cost tens of
    // milliseconds, so blocks of pixels go to the thread pool; a small image stays on the
    // calling thread. Each pixel is mapped on its own, so the result is the same either way.
    constexpr std::size_t kBlock = std::size_t(1) << 15;
    if (n <= kBlock) {
        for (std::size_t i = 0; i < n; ++i) map.apply(p[i]);
        return;
    }
    const int blocks = static_cast<int>((n + kBlock - 1) / kBlock);
    ixUtil::parallelFor(blocks, [&](int block) {
        const std::size_t first = std::size_t(block) * kBlock;
        const std::size_t last = std::min(n, first + kBlock);
        for (std::size_t i = first; i < last; ++i) map.apply(p[i]);
    });
}

}  // namespace

ToneMap& ToneMap::operator=(const ToneMap& other) {
    invGamma = other.invGamma;
    exposureScale = other.exposureScale;
    saturation = other.saturation;
    return *this;
}

ToneMap& ToneMap::operator=(ToneMap&& other) { return *this = static_cast<const ToneMap&>(other); }

void ToneMap::calculate(const ToneControls& controls) {
    invGamma = 1.0f / controls.gamma;
    exposureScale = std::pow(2.0f, controls.exposure);
    saturation = controls.saturation;
}

void ToneMap::apply(FloatPixel3<float>& pixel) const {
    applyToPixel(exposureScale, invGamma, saturation, pixel);
}

void ToneMap::apply(FloatPixel4<float>& pixel) const {
    applyToPixel(exposureScale, invGamma, saturation, pixel);
}

void ToneMap::apply(Image& image) const {
    switch (image.getPixelType()) {
        case kPixelFloat3: return applyToImage<FloatPixel3<float>>(*this, image);
        case kPixelFloat4: return applyToImage<FloatPixel4<float>>(*this, image);
        default: return;  // integer, half, double, single-channel and SHRM pixels
    }
}

}  // namespace ixImage
