#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "iximage/image/typed_image.h"
#include "iximage/tonemap/tone_map.h"

using namespace ixImage;

// Worked cases, each figured by hand: gamma, exposure, saturation, pixel in, pixel out, tolerance.
TEST(ToneMap, WorkedCases) {
    const float Y = 0.2125f * 0.2f + 0.7154f * 0.4f + 0.0721f * 0.8f;  // of (0.2, 0.4, 0.8)
    const float g = float(std::pow(0.5, 1.0 / 2.2)), e = float(std::pow(2.0, 0.5));
    const float Yg = 0.7154f * 0.5f, sg = float(std::pow(0.5 / Yg, 1.5) * Yg);  // green alone
    const struct {
        ToneControls controls;
        FloatPixel4<float> in, expected;
        float tolerance;
    } cases[] = {
        // Neutral: (c / Y) * Y, two float roundings, so a few units in the last place.
        {{1, 0, 1}, {1.0f, 0.5f, 0.25f, 0.18f}, {1.0f, 0.5f, 0.25f, 0.18f}, 4e-7f},
        {{1, 1, 1}, {0.25f, 0.5f, 1, 0.5f}, {0.5f, 1, 2, 1}, 1e-6f},  // exposure 1 doubles
        {{1, 0.5f, 1}, {1, 1, 1, 0}, {e, e, e, 0}, 1e-6f},
        {{1, 1, 1}, {0.3f, 0.2f, 0.1f, 0.5f}, {0.6f, 0.4f, 0.2f, 1}, 2e-7f},  // alpha exposed too
        {{2.2f, 0, 1}, {0.5f, 0.5f, 0.5f, 0.5f}, {g, g, g, g}, 1e-6f},        // gamma of a grey
        {{1, 0, 1.5f}, {-1, 0.5f, -3, 0}, {0, sg, 0, 0}, 1e-6f},              // negatives are 0
        // Saturation 0: (c / Y)^0 = 1, times Y, alpha included.
        {{1, 0, 0}, {0.2f, 0.4f, 0.8f, 0.9f}, {Y, Y, Y, Y}, 0},
        // Y at or below the tolerance skips saturation (else r^2 / Y, about 4.7e-7).
        {{1, 0, 2}, {1e-7f, 0, 0, 0}, {1e-7f, 0, 0, 0}, 0},
        {{1, 1, 1}, {0, 0, 0, 0.5f}, {0, 0, 0, 1}, 0},  // black still exposes alpha
    };
    for (const auto& c : cases) {
        ToneMap map;
        map.calculate(c.controls);
        FloatPixel4<float> p = c.in;
        map.apply(p);
        const float got[4] = {p.red, p.green, p.blue, p.alpha};
        const float want[4] = {c.expected.red, c.expected.green, c.expected.blue, c.expected.alpha};
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(got[i], want[i], c.tolerance) << "case " << &c - cases << ", channel " << i;
    }
    FloatPixel3<float> white(1.0f, 1.0f, 1.0f);
    ToneMap().apply(white);  // an uncalculated map has exposure scale 0: black
    EXPECT_TRUE(white.red == 0.0f && white.green == 0.0f && white.blue == 0.0f);
}

// Images of float colour are mapped pixel by pixel as the pixel calls do (large enough to be
// split over threads, with a partial last block); images of any other pixel type, and empty
// ones, are left as they are.
TEST(ToneMap, ImagesMapFloatColourAndLeaveOtherTypesUnchanged) {
    ToneMap map;
    map.calculate({2.2f, 0.5f, 1.3f});
    for (int tag = kPixelUnsignedChar; tag <= kPixelDouble3; ++tag) {
        ix::Reference<Image> image(imageCreateByType(PixelTypeId(tag))),
            expected(imageCreateByType(PixelTypeId(tag)));
        const int count = 300 * 221;
        image->setSize(300, 221);
        expected->setSize(300, 221);
        auto* bytes = static_cast<unsigned char*>(image->pixels());
        const size_t size = size_t(image->pixelSize()) * count;
        // Every fourth byte 0x3F keeps floats between 0.5 and 2, alpha included.
        for (size_t i = 0; i < size; ++i) bytes[i] = i % 4 == 3 ? 0x3F : (i * 37 + 11) & 0xFF;
        std::memcpy(expected->pixels(), bytes, size);
        for (int i = 0; i < count; ++i) {
            if (tag == kPixelFloat3) map.apply(static_cast<Float3Image&>(*expected).data()[i]);
            if (tag == kPixelFloat4) map.apply(static_cast<Float4Image&>(*expected).data()[i]);
        }
        ASSERT_EQ(tag == kPixelFloat3 || tag == kPixelFloat4,
                  std::memcmp(bytes, expected->pixels(), size) != 0);
        map.apply(*image);
        EXPECT_EQ(std::memcmp(bytes, expected->pixels(), size), 0) << "tag " << tag;
        image->setSize(0, 0);
        map.apply(*image);
        EXPECT_EQ(image->pixels(), nullptr);
    }
}
