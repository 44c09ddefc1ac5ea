// Ringing control on a very bright small source: the truncated light series overshoots around
// it (rings, negative lobes) in sharp Phong maps; the Hann and Lanczos windows trade accuracy
// for much less. Figures are measured on the values before the map's clamp at 0 and printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "iximage/lighting/phong_reflectance.h"
#include "iximage/sh/brdf_coeffs.h"
#include "iximage/sh/detail/sh_tables.h"
#include "iximage/sh/reflection_map.h"
#include "lighting_test_util.h"

namespace {

using ixImage::LightWindow;
using Brdf = ixUtil::ArrayN<3, ixImage::FloatPixel3<double>>;

std::unique_ptr<Brdf> phongCoeffs(int n) {
    Brdf samples({100, 100, 200});
    std::unique_ptr<Brdf> brdf(new Brdf({21, 21, 21}));
    ixImage::FloatPixel3<double> norm;
    ixImage::PhongReflectance(n).sampleBrdf(samples, norm);
    ixImage::computeBrdfCoeffs(samples, *brdf, 10);
    return brdf;
}

// Unclamped map values (channel mean) under the windowed light, on the map grid: along the
// pixel's own axis only the q = 0 terms survive.
std::vector<double> unclampedMap(const ixImage::ImageBasedLighting& lighting, const Brdf& brdf,
                                 const LightWindow& window) {
    ixImage::SphericalHarmonics<ixImage::FloatPixel3<double>> light(*lighting.getLightCoeffs());
    ixImage::applyLightWindow(window, light);
    ixImage::ShrmImage shrm;
    ixImage::computeReflectionCoeffs(light, brdf, 20, 10, shrm, nullptr);
    const ixImage::LegendreTable& legendre = ixImage::sphericalHarmonicTables().legendre;
    std::vector<double> values(200 * 100, 0.0);
    for (int i = 0; i < 200 * 100; ++i)
        for (int p = 0; p <= 10; ++p) {
            const ixImage::FloatPixel3<double>& c = shrm.data()[i].coeffs[p * p + p];
            values[size_t(i)] +=
                (c.red + c.green + c.blue) / 3 * ixImage::legendreRealAt(legendre, p, 0, 0.0);
        }
    return values;
}

// A one-pixel sun on a dim sky under Phong 256, whose lobe reaches past band 20 so that the
// truncation shapes the map: negative lobes of more than 1 % of the peak without a window,
// which both windows all but remove. On real skies Phong 32 and 64 maps do not ring at the
// working resolution (the probe tests bound their error), so they need no window.
TEST(LightWindow, WindowsRemoveTheNegativeLobesOfAPointSun) {
    const ixTest::Dir sun = ixTest::pixelDirection(40, 90, 256, 128);
    auto probe = ixTest::makeProbe(256, [&sun](const ixTest::Dir& d) {
        const double s = ixTest::dot(d, sun) > 0.99999 ? 3000 : 0.1;
        return ixTest::Rgb(s, s, s);
    });
    ixImage::ImageBasedLighting lighting;
    ASSERT_TRUE(ixTest::useProbe(lighting, probe.get()));
    ixImage::Irradiance irradiance;  // asking for it computes the light coefficients
    lighting.getIrradiance(irradiance, nullptr);
    ASSERT_NE(lighting.getLightCoeffs(), nullptr);

    // Brute force at every second pixel, and its peak.
    const int n = 256;
    const ixTest::WeightedSamples samples(*probe);
    std::vector<double> reference(200 * 100, -1.0);
    double peak = 0;
    for (int y = 0; y < 100; y += 2)
        for (int x = 0; x < 200; x += 2) {
            const auto v =
                ixTest::phongPrefilter(samples, ixTest::pixelDirection(x, y, 200, 100), n);
            reference[size_t(y * 200 + x)] = (v.red + v.green + v.blue) / 3;
            peak = std::max(peak, reference[size_t(y * 200 + x)]);
        }
    // Rings: beyond twice the lobe's half width at half maximum, out to 60 degrees.
    const double inner = 2 * std::acos(std::pow(0.5, 1.0 / n)), outer = ixTest::kPi / 3;
    const std::unique_ptr<Brdf> brdf = phongCoeffs(n);
    const LightWindow windows[] = {{LightWindow::kNone, 0},
                                   {LightWindow::kHann, 0},
                                   {LightWindow::kLanczos, 0},
                                   {LightWindow::kLanczos, 42}};
    const char* const kindNames[] = {"none", "Hann", "Lanczos", "Lanczos"};
    double mostNegative[4];
    for (int kind = 0; kind < 4; ++kind) {
        const std::vector<double> map = unclampedMap(lighting, *brdf, windows[kind]);
        double ring = 0;
        mostNegative[kind] = 0;
        ixTest::RelativeRms rms;
        for (size_t i = 0; i < map.size(); ++i) {
            if (reference[i] < 0) continue;
            const double angle = std::acos(std::min(
                1.0,
                ixTest::dot(sun, ixTest::pixelDirection(int(i % 200), int(i / 200), 200, 100))));
            mostNegative[kind] = std::min(mostNegative[kind], map[i] / peak);
            if (angle > inner && angle < outer)
                ring = std::max(ring, std::fabs(map[i] - reference[i]) / peak);
            rms.add(std::max(map[i], 0.0), reference[i]);
        }
        std::printf("| point sun | Phong %d | %s %g | %.5f | %.5f | %.4f |\n", n, kindNames[kind],
                    windows[kind].width, mostNegative[kind], ring, rms.value());
    }
    EXPECT_LT(mostNegative[0], -0.01) << "no ringing to control";
    EXPECT_GT(mostNegative[1], 0.02 * mostNegative[0]) << "Hann";
    EXPECT_GT(mostNegative[2], 0.1 * mostNegative[0]) << "Lanczos";

    // The lighting object's own maps follow the window it is given.
    const std::vector<double> expected =
        unclampedMap(lighting, *phongCoeffs(32), {LightWindow::kHann, 0.0});
    lighting.setLightWindow({LightWindow::kHann, 0.0});
    const ixImage::Float3Image* image =
        ixTest::specularImage(lighting, ixImage::PhongReflectance(32));
    ASSERT_NE(image, nullptr);
    for (int i = 0; i < 200 * 100; i += 97) {
        const ixImage::FloatPixel3<float>& v = image->data()[i];
        EXPECT_NEAR((v.red + v.green + v.blue) / 3, std::max(expected[size_t(i)], 0.0),
                    1e-5 * (1 + expected[size_t(i)]))
            << i;
    }
}

}  // namespace
