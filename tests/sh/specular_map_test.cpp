#include <gtest/gtest.h>

#include <cmath>

#include "iximage/sh/detail/sh_tables.h"
#include "iximage/sh/specular_map.h"
#include "support/test_math.h"

namespace {

using ixImage::FloatPixel3;
using ixImage::ShrmImage;
using Rgb = FloatPixel3<double>;

using ixTest::kPi;

// Real harmonics of bands 0 to 2 written out in Cartesian form, with the library's factor
// 1.4142136 for m != 0 and the Condon-Shortley sign of the complex harmonics it derives from.
double closedFormHarmonic(int l, int m, double theta, double phi) {
    const double x = std::sin(theta) * std::cos(phi);
    const double y = std::sin(theta) * std::sin(phi);
    const double z = std::cos(theta);
    const double s = 1.4142136 / std::sqrt(2.0);
    const double k1 = std::sqrt(3.0 / (4.0 * kPi));
    const double k2 = std::sqrt(15.0 / (4.0 * kPi));
    if (l == 0) return 0.5 / std::sqrt(kPi);
    if (l == 1) {
        if (m == 0) return k1 * z;
        return -s * k1 * (m > 0 ? x : y);
    }
    switch (m) {
        case 0: return std::sqrt(5.0 / (16.0 * kPi)) * (3.0 * z * z - 1.0);
        case 1: return -s * k2 * x * z;
        case -1: return -s * k2 * y * z;
        case 2: return s * k2 * 0.5 * (x * x - y * y);
        case -2: return s * k2 * x * y;
        default: return 0.0;
    }
}

// One pixel holding a single unit coefficient (p, q) evaluates to Y_pq at the direction; on
// grid directions no interpolation is involved, so the closed forms must agree closely.
TEST(SpecularMap, SingleCoefficientEvaluatesItsHarmonic) {
    // Directions on the grids: theta = y pi / 100, phi = x pi / 100 (the grid indices come from
    // the map's size, so the map is 200 x 100); only pixel (17, 42) carries a coefficient.
    const struct {
        int y, x;
    } directions[] = {{0, 0}, {13, 0}, {50, 50}, {71, 123}, {99, 199}, {30, 170}};
    ShrmImage shrm;
    shrm.setSize(200, 100);
    for (int i = 0; i < 20000; ++i) shrm.data()[i] = ixImage::ShrmPixel();
    ixImage::ShrmPixel& pixel = shrm.at(17, 42);
    for (const auto& c : directions) {
        const double theta = c.y * kPi / 100.0;
        const double phi = c.x * kPi / 100.0;
        const double d[3] = {std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi),
                             std::cos(theta)};
        for (int p = 0; p <= 2; ++p)
            for (int q = -p; q <= p; ++q) {
                // Red holds +1, green -1, so one of them shows the value past the clip at 0.
                pixel.at(p, q) = Rgb(1.0, -1.0, 0.0);
                ixImage::Float3Image out;
                ixImage::computeSpecularMap(shrm, d, 2, 1.0, out);
                pixel.at(p, q) = Rgb();
                const double expected = closedFormHarmonic(p, q, theta, phi);
                const double got = out.at(17, 42).red - out.at(17, 42).green;
                EXPECT_NEAR(got, expected, 1e-5)
                    << "p " << p << " q " << q << " theta index " << c.y << " phi index " << c.x;
                EXPECT_EQ(out.at(16, 42).red, 0.0f);
            }
    }
}

TEST(SpecularMap, ClipScaleAndOrder) {
    ShrmImage shrm;
    shrm.setSize(3, 2);
    for (int i = 0; i < 6; ++i) {
        ixImage::ShrmPixel& px = shrm.data()[i];
        px = ixImage::ShrmPixel();
        px.at(0, 0) = Rgb(2.0 * i, -1.0, 0.5);
        px.at(1, 0) = Rgb(1.0, 1.0, -3.0);
        px.at(4, 0) = Rgb(0.25, 0.0, 0.0);
    }
    const double up[3] = {0.0, 0.0, 1.0};
    ixImage::setupSphericalHarmonicTables();
    const ixImage::LegendreTable& legendre = ixImage::sphericalHarmonicTables().legendre;
    const double y00 = legendre[0][0][0];
    const double y10 = legendre[1][0][0];
    const double y40 = legendre[4][0][0];

    const struct {
        int order;
        double scale;
    } cases[] = {{10, 1.0}, {0, 1.0}, {1, 2.5}, {-1, 1.0}, {10, 0.0}, {10, -1.0}};
    for (const auto& c : cases) {
        ixImage::Float3Image out;
        ixImage::computeSpecularMap(shrm, up, c.order, c.scale, out);
        ASSERT_EQ(out.getWidth(), 3);
        ASSERT_EQ(out.getHeight(), 2);
        for (int i = 0; i < 6; ++i) {
            // At the pole only q = 0 terms survive: sum_p c_p0 Pbar_p0(1), clipped, scaled.
            double r = 0.0, g = 0.0, b = 0.0;
            if (c.order >= 0) {
                r = 2.0 * i * y00;
                g = -y00;
                b = 0.5 * y00;
            }
            if (c.order >= 1) {
                r += y10;
                g += y10;
                b += -3.0 * y10;
            }
            if (c.order >= 4) r += 0.25 * y40;
            const FloatPixel3<float>& got = out.data()[i];
            const float have[3] = {got.red, got.green, got.blue};
            const double want[3] = {r, g, b};
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_FLOAT_EQ(have[ch], float(std::max(want[ch], 0.0) * c.scale))
                    << "order " << c.order << " scale " << c.scale << " pixel " << i << " ch "
                    << ch;
        }
    }
}

}  // namespace
