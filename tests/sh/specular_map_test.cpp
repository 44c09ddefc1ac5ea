#include "iximage/sh/specular_map.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/test_math.h"

namespace {

using ixImage::ShrmImage;
using Rgb = ixImage::FloatPixel3<double>;
using ixTest::kPi;

// Real harmonics of bands 0 to 2 in Cartesian form, with the library's factor 1.4142136 for
// m != 0 and the Condon-Shortley sign of the complex harmonics they derive from.
double closedFormHarmonic(int l, int m, double x, double y, double z) {
    const double s = 1.4142136 / std::sqrt(2.0), k1 = std::sqrt(3 / (4 * kPi));
    const double k2 = std::sqrt(15 / (4 * kPi));
    if (l == 0) return 0.5 / std::sqrt(kPi);
    if (l == 1) return m == 0 ? k1 * z : -s * k1 * (m > 0 ? x : y);
    switch (m) {
        case 0: return std::sqrt(5 / (16 * kPi)) * (3 * z * z - 1);
        case 1: return -s * k2 * x * z;
        case -1: return -s * k2 * y * z;
        case 2: return s * k2 * 0.5 * (x * x - y * y);
        default: return s * k2 * x * y;
    }
}

void clear(ShrmImage& shrm, int w, int h) {
    shrm.setSize(w, h);
    for (int i = 0; i < w * h; ++i) shrm.data()[i] = ixImage::ShrmPixel();
}

// A pixel holding one unit coefficient (p, q) evaluates to Y_pq along the view direction. On
// grid directions (theta = y pi / 100, phi = x pi / 100 for a 200 x 100 map) nothing is
// interpolated, so the closed forms agree closely.
TEST(SpecularMap, SingleCoefficientEvaluatesItsHarmonic) {
    const int directions[][2] = {{0, 0}, {13, 0}, {50, 50}, {71, 123}, {99, 199}, {30, 170}};
    ShrmImage shrm;
    clear(shrm, 200, 100);
    ixImage::ShrmPixel& pixel = shrm.at(17, 42);
    for (const auto& [ty, px] : directions) {
        const double theta = ty * kPi / 100, phi = px * kPi / 100;
        const double d[3] = {std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi),
                             std::cos(theta)};
        for (int p = 0; p <= 2; ++p)
            for (int q = -p; q <= p; ++q) {
                // Red holds +1, green -1: one of them shows the value past the clip at 0.
                pixel.at(p, q) = Rgb(1.0, -1.0, 0.0);
                ixImage::Float3Image out;
                ixImage::computeSpecularMap(shrm, d, 2, 1.0, out);
                pixel.at(p, q) = Rgb();
                EXPECT_NEAR(out.at(17, 42).red - out.at(17, 42).green,
                            closedFormHarmonic(p, q, d[0], d[1], d[2]), 1e-5)
                    << "p " << p << " q " << q << " direction " << ty << "," << px;
                EXPECT_EQ(out.at(16, 42).red, 0.0f);
            }
    }
}

// Looking along +Z only q = 0 terms survive: sum_p c_p0 sqrt((2p + 1) / 4 pi) up to the order,
// clipped at 0, then scaled. A negative order gives black.
TEST(SpecularMap, ClipScaleAndOrder) {
    ShrmImage shrm;
    clear(shrm, 3, 2);
    for (int i = 0; i < 6; ++i) {
        shrm.data()[i].at(0, 0) = Rgb(2.0 * i, -1.0, 0.5);
        shrm.data()[i].at(1, 0) = Rgb(1.0, 1.0, -3.0);
        shrm.data()[i].at(4, 0) = Rgb(0.25, 0.0, 0.0);
    }
    auto y = [](int p) { return std::sqrt((2 * p + 1) / (4 * kPi)); };
    const double up[3] = {0.0, 0.0, 1.0};
    const struct {
        int order;
        double scale;
    } cases[] = {{10, 1.0}, {0, 1.0}, {1, 2.5}, {-1, 1.0}, {10, 0.0}, {10, -1.0}};
    for (const auto& c : cases) {
        ixImage::Float3Image out;
        ixImage::computeSpecularMap(shrm, up, c.order, c.scale, out);
        ASSERT_TRUE(out.getWidth() == 3 && out.getHeight() == 2);
        for (int i = 0; i < 6; ++i) {
            double want[3] = {0, 0, 0};
            if (c.order >= 0) want[0] = 2.0 * i * y(0), want[1] = -y(0), want[2] = 0.5 * y(0);
            if (c.order >= 1) want[0] += y(1), want[1] += y(1), want[2] -= 3 * y(1);
            if (c.order >= 4) want[0] += 0.25 * y(4);
            const ixImage::FloatPixel3<float>& got = out.data()[i];
            const float have[3] = {got.red, got.green, got.blue};
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_FLOAT_EQ(have[ch], float(std::max(want[ch], 0.0) * c.scale))
                    << "order " << c.order << " scale " << c.scale << " pixel " << i << " " << ch;
        }
    }
}

}  // namespace
