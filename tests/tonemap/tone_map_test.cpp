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

// The tone-mapping steps transcribed plainly over an array of channels; the first three are
// the colour that gives the luminance, any further one (alpha) goes through the same steps.
void referenceToneMap(float* c, int channels, float invGamma, float exposureScale,
                      float saturation) {
    for (int i = 0; i < channels; ++i) {
        c[i] = c[i] * exposureScale;
        if (c[i] < 0.0f) c[i] = 0.0f;
        c[i] = (float)pow((double)c[i], (double)invGamma);
    }
    const float Y = 0.2125f * c[0] + 0.7154f * c[1] + 0.0721f * c[2];
    if (Y > ixLinear::epsilonTolFlt) {
        const float invY = 1.0f / Y;
        for (int i = 0; i < channels; ++i) {
            c[i] = c[i] * invY;
            c[i] = (float)pow((double)c[i], (double)saturation);
            c[i] = c[i] * Y;
        }
    }
}

ToneMap calculated(float gamma, float exposure, float saturation) {
    ToneControls controls;
    controls.gamma = gamma;
    controls.exposure = exposure;
    controls.saturation = saturation;
    ToneMap map;
    map.calculate(controls);
    return map;
}

bool sameFloat(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
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
        {"neutral, far apart", 1, 0, 1, {100, 3, 0.001f, 7}, {100, 3, 0.001f, 7}, 0, 4e-7f},
        {"neutral, blue only", 1, 0, 1, {0, 0, 7, 1}, {0, 0, 7, 1}, 0, 4e-7f},
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

// Both pixel types, bit for bit, over a grid of controls and colours including negatives,
// signed zeros, luminances below the tolerance and large values.
TEST(ToneMap, DenseSweepMatchesPlainTranscription) {
    const float values[] = {-1.0f, -0.0f, 0.0f, 1e-8f, 1e-4f, 0.01f,
                            0.18f, 0.5f,  1.0f, 2.0f,  17.0f, 1000.0f};
    for (float gamma : {0.5f, 1.0f, 1.8f, 2.2f, 3.0f})
        for (float exposure : {-4.0f, -1.0f, 0.0f, 0.5f, 1.0f, 3.0f})
            for (float saturation : {0.0f, 0.5f, 1.0f, 1.5f, 3.0f}) {
                const ToneMap map = calculated(gamma, exposure, saturation);
                for (float r : values)
                    for (float g : values)
                        for (float b : values) {
                            const float a = g;  // an alpha that differs from r and b
                            float expected[4] = {r, g, b, a};
                            referenceToneMap(expected, 4, map.invGamma, map.exposureScale,
                                             map.saturation);
                            FloatPixel4<float> p4(r, g, b, a);
                            FloatPixel3<float> p3(r, g, b);
                            map.apply(p4);
                            map.apply(p3);
                            const float got[7] = {p4.red, p4.green, p4.blue, p4.alpha,
                                                  p3.red, p3.green, p3.blue};
                            for (int i = 0; i < 7; ++i)
                                ASSERT_TRUE(sameFloat(got[i], expected[i % 4]))
                                    << "gamma " << gamma << " exposure " << exposure
                                    << " saturation " << saturation << " colour (" << r << ", " << g
                                    << ", " << b << ", " << a << "): channel " << i % 4
                                    << (i < 4 ? " of rgba" : " of rgb") << " gave " << got[i]
                                    << ", expected " << expected[i % 4];
                        }
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
