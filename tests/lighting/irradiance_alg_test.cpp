// IrradianceAlg on its own: projection onto the nine harmonics, the matrix form and its frame.
#include "iximage/lighting/irradiance_alg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "iximage/envmap/latlong_map.h"
#include "iximage/envmap/sphere_map.h"
#include "lighting_test_util.h"

namespace {

using ixImage::FloatPixel3;
using ixImage::Irradiance;
using ixImage::IrradianceAlg;
using ixTest::Dir;

// A white probe has L0 = (1/pi) * 4pi * Y00 = 4 * 0.282095 = 1.128380.
constexpr double kWhiteL0 = 4.0 * 0.282095;

ix::Reference<ixImage::EnvironmentMap> withImage(ixImage::EnvironmentMap* map,
                                                 ixImage::Image* image) {
    ix::Reference<ixImage::EnvironmentMap> held = map;
    held->image = image;
    return held;
}

ix::Reference<ixImage::Float3Image> constantImage(int w, int h, FloatPixel3<float> value) {
    ix::Reference<ixImage::Float3Image> image = new ixImage::Float3Image;
    image->setSize(w, h);
    for (int i = 0; i < w * h; ++i) image->data()[i] = value;
    return image;
}

std::vector<FloatPixel3<float>> coefficientsOf(const IrradianceAlg& alg) {
    std::vector<FloatPixel3<float>> out(IrradianceAlg::kCoefficientCount);
    alg.getCoefficients(out.data());
    return out;
}

// White furnace for each projection: solid angles sum to about 4 pi, so only L0 survives. The
// tolerance covers each projection's pixel solid angle: exact for the lat-long rows, coarse at
// the sphere map's rim, and the cross's cos^2 weighting sums to about 4.6e-3 above 4 pi at
// 64-pixel faces.
TEST(IrradianceAlg, WhiteFurnaceOnEveryProjection) {
    const struct {
        const char* name;
        ixImage::EnvironmentMap* map;
        int w, h;
        double tolerance;
    } cases[] = {
        {"lat-long 400 x 200", new ixImage::LatLongMap(400, 200), 400, 200, 2e-4},
        {"sphere 256", new ixImage::SphereMap(256), 256, 256, 2e-2},
        {"cross 64", new ixImage::CrossMap(64, false), 192, 256, 1e-2},
    };
    for (const auto& c : cases) {
        IrradianceAlg alg;
        alg.accumulate(*withImage(c.map, constantImage(c.w, c.h, {1, 1, 1}).get()));
        const auto L = coefficientsOf(alg);
        EXPECT_NEAR(L[0].red, kWhiteL0, c.tolerance * kWhiteL0) << c.name;
        EXPECT_NEAR(L[0].blue, kWhiteL0, c.tolerance * kWhiteL0) << c.name;
        for (int k = 1; k < IrradianceAlg::kCoefficientCount; ++k)
            EXPECT_NEAR(L[k].green, 0.0, c.tolerance) << c.name << " coefficient " << k;

        Irradiance irr;
        alg.getIrradiance(irr);
        EXPECT_NEAR(irr.green.m[3][3], 1.0, c.tolerance) << c.name;
        for (const Dir& n : ixTest::normalGrid(32, 16))
            ASSERT_NEAR(ixTest::evaluateIrradiance(irr, 1, n), 1.0, 2 * c.tolerance)
                << c.name << " normal " << n.x << " " << n.y << " " << n.z;
    }
}

// Nothing accumulated, no image, byte pixels, one channel: getIrradiance overwrites every
// entry with zero.
TEST(IrradianceAlg, IgnoresMapsWithoutUsablePixels) {
    ix::Reference<ixImage::Byte4Image> bytes = new ixImage::Byte4Image;
    bytes->setSize(8, 4);
    for (int i = 0; i < 32; ++i) bytes->data()[i] = ixImage::Byte4{255, 255, 255, 255};
    ix::Reference<ixImage::FloatImage> singleChannel = new ixImage::FloatImage;
    singleChannel->setSize(8, 4);
    for (int i = 0; i < 32; ++i) singleChannel->data()[i] = 1.0f;

    const ix::Reference<ixImage::EnvironmentMap> maps[] = {
        nullptr,
        new ixImage::LatLongMap(8, 4),
        withImage(new ixImage::LatLongMap(8, 4), bytes.get()),
        withImage(new ixImage::LatLongMap(8, 4), singleChannel.get()),
    };
    for (size_t m = 0; m < 4; ++m) {
        IrradianceAlg alg;
        if (maps[m]) alg.accumulate(*maps[m]);
        Irradiance irr;
        irr.red.m[0][0] = 5.0;
        alg.getIrradiance(irr);
        EXPECT_TRUE(ixTest::isCleared(irr)) << "case " << m;
    }
}

// Half pixels round both weight products to half: agreement with float pixels within the
// half's relative precision (2^-11 per rounding).
TEST(IrradianceAlg, HalfPixelsMatchFloatPixels) {
    auto probe = ixTest::makeLatLongProbe(128, 64, ixTest::skyRadiance);
    ix::Reference<ixImage::Half4Image> halfProbe = new ixImage::Half4Image;
    halfProbe->setSize(128, 64);
    for (int i = 0; i < 128 * 64; ++i) {
        const FloatPixel3<float>& p = probe->data()[i];
        halfProbe->data()[i] = {p.red, p.green, p.blue, ixImage::half(0.0f)};
    }
    IrradianceAlg fromFloat, fromHalf;
    fromFloat.accumulate(*withImage(new ixImage::LatLongMap(128, 64), probe.get()));
    fromHalf.accumulate(*withImage(new ixImage::LatLongMap(128, 64), halfProbe.get()));
    const auto a = coefficientsOf(fromFloat), b = coefficientsOf(fromHalf);
    const double tol = 3e-3 * a[0].red;
    for (int k = 0; k < IrradianceAlg::kCoefficientCount; ++k) {
        EXPECT_NEAR(b[k].red, a[k].red, tol) << "k " << k;
        EXPECT_NEAR(b[k].green, a[k].green, tol) << "k " << k;
        EXPECT_NEAR(b[k].blue, a[k].blue, tol) << "k " << k;
    }
}

// One lit pixel at a time: its nine coefficients are (omega L / pi) K_k Y_k at the pixel's
// centre direction, with omega = cos(latitude) (2 pi / w) (pi / h) and the basis written in
// the matrix frame (x, y, z) = (-d.x, -d.y, d.z). Pins the sample positions and weights.
TEST(IrradianceAlg, SinglePixelProjectsAtItsCentreDirection) {
    const int w = 64, h = 32;
    const double K[9] = {0.282095, 0.488603, 0.488603, 0.488603, 1.092548,
                         1.092548, 0.315392, 1.092548, 0.546274};
    const int pixels[][2] = {{0, 16}, {5, 3}, {40, 27}, {63, 31}, {17, 12}};
    for (const auto& p : pixels) {
        auto image = constantImage(w, h, {0, 0, 0});
        image->at(p[0], p[1]) = {2.0f, 0.0f, 0.0f};
        IrradianceAlg alg;
        alg.accumulate(*withImage(new ixImage::LatLongMap(w, h), image.get()));
        const auto L = coefficientsOf(alg);
        const Dir d = ixTest::pixelDirection(p[0], p[1], w, h);
        const double x = -d.x, y = -d.y, z = d.z;
        const double basis[9] = {1, y, z, x, x * y, y * z, 3 * z * z - 1, x * z, x * x - y * y};
        const double weight = 2.0 * std::sqrt(1 - z * z) * (2 * ixTest::kPi / w) / h;
        for (int k = 0; k < 9; ++k)
            EXPECT_NEAR(L[k].red, weight * K[k] * basis[k], 1e-5 * weight)
                << "pixel " << p[0] << "," << p[1] << " k " << k;
    }
}

}  // namespace
