#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/linear.h"
#include "iximage/tonemap/tone_map.h"

using ixImage::FloatPixel3;
using ixImage::FloatPixel4;
using ixImage::ToneControls;
using ixImage::ToneMap;

namespace {

ToneMap calculated(float gamma, float exposure, float saturation) {
    ToneControls controls;
    controls.gamma = gamma;
    controls.exposure = exposure;
    controls.saturation = saturation;
    ToneMap map;
    map.calculate(controls);
    return map;
}

}  // namespace

TEST(ToneMap, DefaultAndCalculatedFactors) {
    const ToneMap fresh;  // uncalculated: exposure scale 0 maps everything to black
    EXPECT_TRUE(fresh.invGamma == 1.0f && fresh.exposureScale == 0.0f && fresh.saturation == 1.0f);
    FloatPixel3<float> p(1.0f, 1.0f, 1.0f);
    fresh.apply(p);
    EXPECT_TRUE(p.red == 0.0f && p.green == 0.0f && p.blue == 0.0f);

    const ToneMap map = calculated(2.2f, 1.0f, 0.75f);
    EXPECT_TRUE(map.invGamma == 1.0f / 2.2f && map.exposureScale == 2.0f &&
                map.saturation == 0.75f);
    EXPECT_EQ(calculated(1.0f, -3.0f, 1.0f).exposureScale, 0.125f);
    EXPECT_EQ(calculated(1.0f, 0.5f, 1.0f).exposureScale, std::pow(2.0f, 0.5f));
}

// Worked cases, each figured by hand; the tolerance is absTol + relTol * |expected|.
TEST(ToneMap, WorkedCases) {
    const float Y = 0.2125f * 0.2f + 0.7154f * 0.4f + 0.0721f * 0.8f;  // of (0.2, 0.4, 0.8)
    const float g = float(std::pow(0.5, 1.0 / 2.2));
    const float Yg = 0.7154f * 0.5f, sg = float(std::pow(0.5 / Yg, 1.5) * Yg);  // green alone
    struct Case {
        const char* why;
        float gamma, exposure, saturation;
        FloatPixel4<float> in, expected;
        float absTol, relTol;
    };
    const Case cases[] = {
        // (c / Y) * Y: two float roundings, so a few units in the last place.
        {"neutral", 1, 0, 1, {1.0f, 0.5f, 0.25f, 0.18f}, {1.0f, 0.5f, 0.25f, 0.18f}, 0, 4e-7f},
        {"exposure 1 doubles", 1, 1, 1, {0.25f, 0.5f, 1, 0.5f}, {0.5f, 1, 2, 1}, 1e-6f, 0},
        {"exposed alpha", 1, 1, 1, {0.3f, 0.2f, 0.1f, 0.5f}, {0.6f, 0.4f, 0.2f, 1}, 2e-7f, 0},
        {"gamma of a grey", 2.2f, 0, 1, {0.5f, 0.5f, 0.5f, 0.5f}, {g, g, g, g}, 1e-6f, 0},
        {"negatives are 0", 1, 0, 1.5f, {-1, 0.5f, -3, 0}, {0, sg, 0, 0}, 1e-6f, 0},
        // Saturation 0: (c / Y)^0 = 1, times Y, alpha included.
        {"saturation 0 gives luminance", 1, 0, 0, {0.2f, 0.4f, 0.8f, 0.9f}, {Y, Y, Y, Y}, 0, 0},
        // Y at or below the tolerance skips saturation (else r^2 / Y, about 4.7e-7).
        {"dark skips saturation", 1, 0, 2, {1e-7f, 0, 0, 0}, {1e-7f, 0, 0, 0}, 0, 0},
        {"black keeps exposed alpha exactly", 1, 1, 1, {0, 0, 0, 0.5f}, {0, 0, 0, 1}, 0, 0},
    };
    for (const Case& c : cases) {
        FloatPixel4<float> p = c.in;
        calculated(c.gamma, c.exposure, c.saturation).apply(p);
        const float got[4] = {p.red, p.green, p.blue, p.alpha};
        const float want[4] = {c.expected.red, c.expected.green, c.expected.blue, c.expected.alpha};
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(got[i], want[i], c.absTol + c.relTol * std::fabs(want[i]))
                << c.why << ", channel " << i;
    }
}

TEST(ToneMap, ImagesOfFloatColourAreMappedPixelByPixel) {
    const ToneMap map = calculated(2.2f, 0.5f, 1.3f);
    ixImage::Float3Image rgb;
    rgb.setSize(3, 2);
    ixImage::Float4Image rgba;
    rgba.setSize(3, 2);
    for (int i = 0; i < 6; ++i) {
        rgb.data()[i] = FloatPixel3<float>(0.1f * i, 1.0f - 0.2f * i, 0.05f * i * i);
        rgba.data()[i] = FloatPixel4<float>(0.3f * i, 0.5f, 2.0f - i, 0.25f * i);
    }
    std::vector<FloatPixel3<float>> rgbExpected(rgb.data(), rgb.data() + 6);
    std::vector<FloatPixel4<float>> rgbaExpected(rgba.data(), rgba.data() + 6);
    for (auto& p : rgbExpected) map.apply(p);
    for (auto& p : rgbaExpected) map.apply(p);
    ASSERT_NE(rgbaExpected[5].alpha, rgba.data()[5].alpha);  // the pixel call maps alpha too

    map.apply(static_cast<ixImage::Image&>(rgb));
    map.apply(static_cast<ixImage::Image&>(rgba));
    EXPECT_EQ(std::memcmp(rgb.data(), rgbExpected.data(), sizeof(FloatPixel3<float>) * 6), 0);
    EXPECT_EQ(std::memcmp(rgba.data(), rgbaExpected.data(), sizeof(FloatPixel4<float>) * 6), 0);

    ixImage::Float3Image empty;
    map.apply(static_cast<ixImage::Image&>(empty));
    EXPECT_EQ(empty.data(), nullptr);
}

TEST(ToneMap, ImagesOfOtherPixelTypesAreLeftUnchanged) {
    const ToneMap map = calculated(2.0f, 2.0f, 2.0f);
    for (int tag = ixImage::kPixelUnsignedChar; tag <= ixImage::kPixelDouble3; ++tag) {
        if (tag == ixImage::kPixelFloat3 || tag == ixImage::kPixelFloat4) continue;
        ix::Reference<ixImage::Image> image(ixImage::imageCreateByType(ixImage::PixelTypeId(tag)));
        ASSERT_TRUE(image) << "tag " << tag;
        image->setSize(4, 3);
        auto* bytes = static_cast<unsigned char*>(image->pixels());
        const size_t size = size_t(image->pixelSize()) * 12;
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 37 + 11);
        const std::vector<unsigned char> before(bytes, bytes + size);
        map.apply(*image);
        EXPECT_EQ(std::memcmp(bytes, before.data(), size), 0) << "tag " << tag;
    }
}
