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
    const ToneMap fresh;
    EXPECT_EQ(fresh.invGamma, 1.0f);
    EXPECT_EQ(fresh.exposureScale, 0.0f);
    EXPECT_EQ(fresh.saturation, 1.0f);

    const ToneMap map = calculated(2.2f, 1.0f, 0.75f);
    EXPECT_EQ(map.invGamma, 1.0f / 2.2f);
    EXPECT_EQ(map.exposureScale, 2.0f);
    EXPECT_EQ(map.saturation, 0.75f);
    EXPECT_EQ(calculated(1.0f, -3.0f, 1.0f).exposureScale, 0.125f);
    EXPECT_EQ(calculated(1.0f, 0.5f, 1.0f).exposureScale, std::pow(2.0f, 0.5f));
}

TEST(ToneMap, UncalculatedMapGivesBlack) {
    FloatPixel3<float> p(1.0f, 1.0f, 1.0f);
    ToneMap().apply(p);
    EXPECT_EQ(p.red, 0.0f);
    EXPECT_EQ(p.green, 0.0f);
    EXPECT_EQ(p.blue, 0.0f);
}

TEST(ToneMap, NeutralControlsKeepNonNegativeColours) {
    const ToneMap map = calculated(1.0f, 0.0f, 1.0f);
    const FloatPixel3<float> colours[] = {
        {0.18f, 0.18f, 0.18f}, {1.0f, 0.5f, 0.25f}, {100.0f, 3.0f, 0.001f}, {0.0f, 0.0f, 7.0f}};
    for (const FloatPixel3<float>& c : colours) {
        FloatPixel3<float> p = c;
        map.apply(p);
        // (c / Y) * Y: two float roundings, so a few units in the last place.
        EXPECT_NEAR(p.red, c.red, 4e-7f * c.red) << c.red << " " << c.green << " " << c.blue;
        EXPECT_NEAR(p.green, c.green, 4e-7f * c.green) << c.red << " " << c.green << " " << c.blue;
        EXPECT_NEAR(p.blue, c.blue, 4e-7f * c.blue) << c.red << " " << c.green << " " << c.blue;
    }
}

TEST(ToneMap, WorkedCases) {
    // Exposure 1 doubles the colour before the gamma step.
    FloatPixel3<float> doubled(0.25f, 0.5f, 1.0f);
    calculated(1.0f, 1.0f, 1.0f).apply(doubled);
    EXPECT_NEAR(doubled.red, 0.5f, 1e-6f);
    EXPECT_NEAR(doubled.green, 1.0f, 1e-6f);
    EXPECT_NEAR(doubled.blue, 2.0f, 1e-6f);

    // Gamma 2.2 on a grey: c^(1/2.2), luminance of a grey is itself (weights sum to 1).
    FloatPixel3<float> grey(0.5f, 0.5f, 0.5f);
    calculated(2.2f, 0.0f, 1.0f).apply(grey);
    EXPECT_NEAR(grey.green, std::pow(0.5, 1.0 / 2.2), 1e-6);

    // Negative channels come out as exactly 0.
    FloatPixel3<float> negative(-1.0f, 0.5f, -3.0f);
    calculated(1.0f, 0.0f, 1.5f).apply(negative);
    EXPECT_EQ(negative.red, 0.0f);
    EXPECT_EQ(negative.blue, 0.0f);
    EXPECT_GT(negative.green, 0.0f);

    // Saturation 0 turns a colour into its luminance: (c / Y)^0 = 1, times Y.
    FloatPixel3<float> colour(0.2f, 0.4f, 0.8f);
    calculated(1.0f, 0.0f, 0.0f).apply(colour);
    const float Y = 0.2125f * 0.2f + 0.7154f * 0.4f + 0.0721f * 0.8f;
    EXPECT_EQ(colour.red, Y);
    EXPECT_EQ(colour.green, Y);
    EXPECT_EQ(colour.blue, Y);

    // A luminance at or below the tolerance skips saturation: with saturation 2 the colour
    // would otherwise become r^2 / Y, about 4.7e-7.
    FloatPixel3<float> dark(1e-7f, 0.0f, 0.0f);
    calculated(1.0f, 0.0f, 2.0f).apply(dark);
    EXPECT_EQ(dark.red, 1e-7f);
    EXPECT_EQ(dark.green, 0.0f);

    // Alpha 0.5 with exposure 1 becomes 1: exactly when the colour is black (no saturation
    // step), up to (a / Y) * Y rounding otherwise.
    FloatPixel4<float> blackWithAlpha(0.0f, 0.0f, 0.0f, 0.5f);
    calculated(1.0f, 1.0f, 1.0f).apply(blackWithAlpha);
    EXPECT_EQ(blackWithAlpha.alpha, 1.0f);
    FloatPixel4<float> colourWithAlpha(0.3f, 0.2f, 0.1f, 0.5f);
    calculated(1.0f, 1.0f, 1.0f).apply(colourWithAlpha);
    EXPECT_NEAR(colourWithAlpha.alpha, 1.0f, 2e-7f);

    // Alpha is saturated like a colour channel: saturation 0 makes it the luminance too.
    FloatPixel4<float> alphaToLuminance(0.2f, 0.4f, 0.8f, 0.9f);
    calculated(1.0f, 0.0f, 0.0f).apply(alphaToLuminance);
    EXPECT_EQ(alphaToLuminance.alpha, Y);
}

TEST(ToneMap, DenseSweepMatchesPlainTranscription) {
    const float gammas[] = {0.5f, 1.0f, 1.8f, 2.2f, 3.0f};
    const float exposures[] = {-4.0f, -1.0f, 0.0f, 0.5f, 1.0f, 3.0f};
    const float saturations[] = {0.0f, 0.5f, 1.0f, 1.5f, 3.0f};
    const float values[] = {-1.0f, -0.0f, 0.0f, 1e-8f, 1e-4f, 0.01f,
                            0.18f, 0.5f,  1.0f, 2.0f,  17.0f, 1000.0f};
    int mismatches = 0, checked = 0;
    for (float gamma : gammas)
        for (float exposure : exposures)
            for (float saturation : saturations) {
                const ToneMap map = calculated(gamma, exposure, saturation);
                for (float r : values)
                    for (float g : values)
                        for (float b : values) {
                            const float a = g;  // an alpha that differs from r and b
                            float expected[4] = {r, g, b, a};
                            referenceToneMap(expected, 4, map.invGamma, map.exposureScale,
                                             map.saturation);
                            FloatPixel4<float> p4(r, g, b, a);
                            map.apply(p4);
                            FloatPixel3<float> p3(r, g, b);
                            map.apply(p3);
                            const float got4[4] = {p4.red, p4.green, p4.blue, p4.alpha};
                            const float got3[3] = {p3.red, p3.green, p3.blue};
                            bool ok = true;
                            for (int i = 0; i < 4; ++i) ok = ok && sameFloat(got4[i], expected[i]);
                            for (int i = 0; i < 3; ++i) ok = ok && sameFloat(got3[i], expected[i]);
                            ++checked;
                            if (!ok && ++mismatches <= 5) {
                                ADD_FAILURE()
                                    << "gamma " << gamma << " exposure " << exposure
                                    << " saturation " << saturation << " colour (" << r << ", " << g
                                    << ", " << b << ", " << a << "): got (" << got4[0] << ", "
                                    << got4[1] << ", " << got4[2] << ", " << got4[3]
                                    << "), expected (" << expected[0] << ", " << expected[1] << ", "
                                    << expected[2] << ", " << expected[3] << ")";
                            }
                        }
            }
    EXPECT_EQ(mismatches, 0) << "of " << checked;
    EXPECT_EQ(checked, 5 * 6 * 5 * 12 * 12 * 12);
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
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(std::memcmp(&rgb.data()[i], &rgbExpected[size_t(i)], sizeof(FloatPixel3<float>)),
                  0)
            << i;
        EXPECT_EQ(
            std::memcmp(&rgba.data()[i], &rgbaExpected[size_t(i)], sizeof(FloatPixel4<float>)), 0)
            << i;
    }

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
