// Ringing control on a very bright small source: the truncated light series overshoots around
// it (rings, negative lobes) in sharp Phong maps; the Hann and Lanczos windows trade a little
// accuracy for much less. Figures are measured on the values before the map's clamp at 0 and
// printed (the README's table comes from this output).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "exr_probe.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/phong_reflectance.h"
#include "iximage/sh/brdf_coeffs.h"
#include "iximage/sh/detail/sh_tables.h"
#include "iximage/sh/reflection_map.h"
#include "lighting/lighting_test_util.h"
#ifdef IXIMAGE_TEST_HAVE_SKY
#include "sky_probe.h"
#endif

namespace {

using ixImage::LightWindow;

struct Figures {
    double mostNegative, ring, rms;  // relative to the reference's peak, and relative RMS
};

using Brdf = ixUtil::ArrayN<3, ixImage::FloatPixel3<double>>;

std::unique_ptr<Brdf> phongCoeffs(int n) {
    Brdf samples({100, 100, 200});
    std::unique_ptr<Brdf> brdf(new Brdf({21, 21, 21}));
    ixImage::FloatPixel3<double> norm;
    ixImage::PhongReflectance(n).sampleBrdf(samples, norm);
    ixImage::computeBrdfCoeffs(samples, *brdf, 10);
    return brdf;
}

// Unclamped map values (channel mean) under the windowed light, on the map grid.
std::vector<double> unclampedMap(const ixImage::ImageBasedLighting& lighting, const Brdf& brdf,
                                 const LightWindow& window) {
    ixImage::SphericalHarmonics<ixImage::FloatPixel3<double>> light(*lighting.getLightCoeffs());
    ixImage::applyLightWindow(window, light);
    ixImage::ShrmImage shrm;
    ixImage::computeReflectionCoeffs(light, brdf, 20, 10, shrm, nullptr);
    const ixImage::LegendreTable& legendre = ixImage::sphericalHarmonicTables().legendre;
    std::vector<double> values;
    for (int i = 0; i < 200 * 100; ++i) {
        double sum = 0;  // along the pixel's own axis only the q = 0 terms survive
        for (int p = 0; p <= 10; ++p) {
            const ixImage::FloatPixel3<double>& c = shrm.data()[i].coeffs[p * p + p];
            sum += (c.red + c.green + c.blue) / 3 * ixImage::legendreRealAt(legendre, p, 0, 0.0);
        }
        values.push_back(sum);
    }
    return values;
}

class LightWindowRinging : public ::testing::TestWithParam<const char*> {};

TEST_P(LightWindowRinging, WindowsRemoveNegativesAndCutRings) {
    const std::string name = GetParam();
    ix::Reference<ixImage::Float3Image> probe;
#ifdef IXIMAGE_TEST_HAVE_SKY
    if (name == "sky") probe = iblBake::makeSkyProbe(512);
#endif
    if (name == "point sun")  // dim sky, one pixel of sun: the hardest case for the series
        probe = ixTest::makeLatLongProbe(256, 128, [](const ixTest::Dir& d) {
            const double s =
                ixTest::dot(d, ixTest::pixelDirection(40, 90, 256, 128)) > 0.99999 ? 3000 : 0.1;
            return ixTest::Rgb{{s, s, s}};
        });
    if (name.find(".exr") != std::string::npos && !ixTest::probeDir().empty())
        probe = ixTest::loadProbeExr(ixTest::probeDir() + "/" + name);
    if (!probe) GTEST_SKIP() << name << " is not available";
    ixImage::ImageBasedLighting::setRotationMatrixFilename(
        ixOS::Filename(ixTest::rotationMatrixFile()));
    ixImage::ImageBasedLighting lighting;
    ixUtil::Error error;
    lighting.setLightProbe(probe.get(), error);
    ixImage::Irradiance irradiance;
    lighting.getIrradiance(irradiance, nullptr);
    ASSERT_NE(lighting.getLightCoeffs(), nullptr);

    // The sun: the brightest direction of a 256 x 128 reduction (4 x 4 pixel blocks).
    const ixTest::WeightedSamples reduced(*ixTest::boxDownsample(*probe, probe->getWidth() / 256));
    size_t sunIndex = 0;
    for (size_t i = 0; i < reduced.dirs.size(); ++i)
        if (reduced.red[i] + reduced.green[i] + reduced.blue[i] >
            reduced.red[sunIndex] + reduced.green[sunIndex] + reduced.blue[sunIndex])
            sunIndex = i;
    const ixTest::Dir sun = reduced.dirs[sunIndex];

    // Phong 32 and 64 on the real skies; on the point sun also Phong 256, whose lobe reaches
    // past band 20 so that the truncation, not the lobe, shapes the map.
    const std::vector<int> exponents =
        name == "point sun" ? std::vector<int>{64, 256} : std::vector<int>{32, 64};
    for (int n : exponents) {
        // Brute force at every second pixel, and its peak.
        std::vector<double> reference(200 * 100, -1.0);
        double peak = 0;
        for (int y = 0; y < 100; y += 2)
            for (int x = 0; x < 200; x += 2) {
                const auto v =
                    ixTest::phongPrefilter(reduced, ixTest::pixelDirection(x, y, 200, 100), n);
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
        Figures figures[4];
        for (int kind = 0; kind < 4; ++kind) {
            const std::vector<double> map = unclampedMap(lighting, *brdf, windows[kind]);
            Figures& f = figures[kind];
            f = {0, 0, 0};
            ixTest::RelativeRms rms;
            for (size_t i = 0; i < map.size(); ++i) {
                if (reference[i] < 0) continue;
                const double angle = std::acos(std::min(
                    1.0, ixTest::dot(
                             sun, ixTest::pixelDirection(int(i % 200), int(i / 200), 200, 100))));
                f.mostNegative = std::min(f.mostNegative, map[i] / peak);
                if (angle > inner && angle < outer)
                    f.ring = std::max(f.ring, std::fabs(map[i] - reference[i]) / peak);
                rms.add(std::max(map[i], 0.0), reference[i]);
            }
            f.rms = rms.value();
            std::printf("| %s | Phong %d | %s %g | %.5f | %.5f | %.4f |\n", name.c_str(), n,
                        kind == 0   ? "none"
                        : kind == 1 ? "Hann"
                                    : "Lanczos",
                        windows[kind].width, f.mostNegative, f.ring, f.rms);
        }
        // Where the truncation rings (a point sun under Phong 256) its negative lobes are
        // real, and both windows all but remove them.
        if (n == 256) {
            EXPECT_LT(figures[0].mostNegative, -0.01) << name << ": no ringing to control";
            EXPECT_GT(figures[1].mostNegative, 0.02 * figures[0].mostNegative) << "Hann";
            EXPECT_GT(figures[2].mostNegative, 0.1 * figures[0].mostNegative) << "Lanczos";
        }
    }

    // The lighting object's own maps follow the window it is given (checked once).
    if (name != "point sun") return;
    const ixImage::PhongReflectance phong(32);
    const std::vector<double> expected =
        unclampedMap(lighting, *phongCoeffs(32), {LightWindow::kHann, 0.0});
    lighting.setLightWindow({LightWindow::kHann, 0.0});
    const auto* image = static_cast<const ixImage::Float3Image*>(
        lighting.getSpecularMap(phong, nullptr)->getImage());
    for (int i = 0; i < 200 * 100; i += 97) {
        const ixImage::FloatPixel3<float>& v = image->data()[i];
        EXPECT_NEAR((v.red + v.green + v.blue) / 3, std::max(expected[size_t(i)], 0.0),
                    1e-5 * (1 + expected[size_t(i)]))
            << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Probes, LightWindowRinging,
                         ::testing::Values("point sun", "sky", "sunset.exr"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             name = name.substr(0, name.find('.'));
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

}  // namespace
