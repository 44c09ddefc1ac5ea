// Diffuse lighting end to end against physics: white furnaces, the exact nine-term irradiance
// of the working image, a brute-force cosine integral over the full probe, and projection
// independence (the same light as a latitude-longitude map and as a cross).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "iximage/envmap/recognize_remap.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/working_probe.h"
#include "lighting_test_util.h"
#include "support/exr_probe.h"

namespace {

using ixImage::Float3Image;
using ixImage::ImageBasedLighting;
using ixImage::Irradiance;
using ixTest::Dir;
using ixTest::kPi;

constexpr int kGridCols = 64;
constexpr int kGridRows = 32;

Irradiance irradianceOf(ImageBasedLighting& lighting, Float3Image* probe) {
    ImageBasedLighting::setRotationMatrixFilename(ixTest::rotationMatrixFile().c_str());
    ixUtil::Error error;
    lighting.setLightProbe(probe, error);
    EXPECT_TRUE(lighting.haveUsableLightProbe()) << error.getMessage();
    Irradiance irr;
    lighting.getIrradiance(irr, nullptr);
    EXPECT_NE(lighting.getLightCoeffs(), nullptr) << "rotation-matrix file not loaded";
    return irr;
}

// The exact irradiance of bands 0 to 2 of a latitude-longitude image, in the environment
// frame: L_k = integral of L Y_k over the pixels (exact pixel areas (2 pi / w) (sin(top
// latitude) - sin(bottom latitude)), centre directions), then E(n) / pi = sum_k (A_l / pi)
// L_k Y_k(n) with A_0 = pi, A_1 = 2 pi / 3, A_2 = pi / 4.
class NineTermIrradiance {
public:
    explicit NineTermIrradiance(const Float3Image& image) {
        const int w = image.getWidth(), h = image.getHeight();
        for (int y = 0; y < h; ++y) {
            const double omega = (2.0 * kPi / w) * (std::sin((double(y + 1) / h - 0.5) * kPi) -
                                                    std::sin((double(y) / h - 0.5) * kPi));
            for (int x = 0; x < w; ++x) {
                double Y[9];
                basis(ixTest::pixelDirection(x, y, w, h), Y);
                const ixImage::FloatPixel3<float>& L = image.at(x, y);
                for (int k = 0; k < 9; ++k) {
                    coefficient[k][0] += L.red * Y[k] * omega;
                    coefficient[k][1] += L.green * Y[k] * omega;
                    coefficient[k][2] += L.blue * Y[k] * omega;
                }
            }
        }
    }

    double evaluate(const Dir& n, int c) const {
        static const double kLobe[9] = {1, 2.0 / 3, 2.0 / 3, 2.0 / 3, 0.25, 0.25, 0.25, 0.25, 0.25};
        double Y[9];
        basis(n, Y);
        double sum = 0.0;
        for (int k = 0; k < 9; ++k) sum += kLobe[k] * coefficient[k][c] * Y[k];
        return sum;
    }

private:
    static void basis(const Dir& d, double (&Y)[9]) {
        const double x = d.x, y = d.y, z = d.z;
        Y[0] = 0.5 / std::sqrt(kPi);
        Y[1] = std::sqrt(3.0 / (4.0 * kPi)) * y;
        Y[2] = std::sqrt(3.0 / (4.0 * kPi)) * z;
        Y[3] = std::sqrt(3.0 / (4.0 * kPi)) * x;
        Y[4] = 0.5 * std::sqrt(15.0 / kPi) * x * y;
        Y[5] = 0.5 * std::sqrt(15.0 / kPi) * y * z;
        Y[6] = 0.25 * std::sqrt(5.0 / kPi) * (3.0 * z * z - 1.0);
        Y[7] = 0.5 * std::sqrt(15.0 / kPi) * x * z;
        Y[8] = 0.25 * std::sqrt(15.0 / kPi) * (x * x - y * y);
    }

    double coefficient[9][3] = {};
};

// White furnace: a probe of radiance 1 gives irradiance 1 for every normal. The cross loses a
// little light where the bilinear reads of the remapping reach into the empty cells beside
// some face edges.
TEST(DiffusePhysics, WhiteProbeGivesIrradianceOne) {
    const struct {
        const char* name;
        int size;  // lat-long width, or cross face edge
        bool cross;
        double tolerance;
    } cases[] = {
        {"lat-long 400 x 200", 400, false, 1e-3},
        {"lat-long 800 x 400", 800, false, 1e-3},
        {"cross of 128-pixel faces", 128, true, 1e-2},
    };
    for (const auto& c : cases) {
        auto probe = c.cross ? ixTest::makeCrossProbe(c.size, ixTest::whiteRadiance)
                             : ixTest::makeLatLongProbe(c.size, c.size / 2, ixTest::whiteRadiance);
        ImageBasedLighting lighting;
        const Irradiance irr = irradianceOf(lighting, probe.get());
        for (const Dir& n : ixTest::normalGrid(kGridCols, kGridRows))
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_NEAR(ixTest::evaluateIrradiance(irr, ch, n), 1.0, c.tolerance)
                    << c.name << ", channel " << ch << ", normal " << n.x << " " << n.y << " "
                    << n.z;
    }
}

// Relative RMS over the normal grid of the irradiance against the exact nine-term series of
// the working image.
double nineTermRms(Float3Image& probe, const Irradiance& irr) {
    ix::Reference<ixImage::EnvironmentMap> map = ixImage::newEnvironmentMap(probe);
    const NineTermIrradiance exact(
        *ixImage::makeWorkingProbe(*map, ixImage::WorkingProbeFilter::kBlurResize).image);
    ixTest::RelativeRms rms;
    for (const Dir& n : ixTest::normalGrid(kGridCols, kGridRows))
        for (int ch = 0; ch < 3; ++ch)
            rms.add(ixTest::evaluateIrradiance(irr, ch, n), exact.evaluate(n, ch));
    return rms.value();
}

TEST(DiffusePhysics, SyntheticProbesMatchTheExactNineTermIrradiance) {
    for (int width : {400, 1024}) {
        auto probe = ixTest::makeLatLongProbe(width, width / 2, ixTest::skyRadiance);
        ImageBasedLighting lighting;
        EXPECT_LE(nineTermRms(*probe, irradianceOf(lighting, probe.get())), 0.005) << width;
    }
}

// On real probes: the exact nine-term series of the working image, and the brute-force cosine
// integral over the full-resolution probe (on a coarser grid of normals: it costs a pass over
// every pixel per normal). The nine-term representation itself is a few per cent off the
// true integral; the whole pipeline must stay within 10 %.
class RealProbe : public ::testing::TestWithParam<const char*> {};

TEST_P(RealProbe, MatchesNineTermsAndIsCloseToTheBruteForceIntegral) {
    if (ixTest::probeDir().empty()) GTEST_SKIP() << "no probes folder";
    auto probe = ixTest::loadProbeExr(ixTest::probeDir() + "/" + GetParam());
    ASSERT_TRUE(probe) << "cannot read " << GetParam();
    ImageBasedLighting lighting;
    const Irradiance irr = irradianceOf(lighting, probe.get());
    EXPECT_LE(nineTermRms(*probe, irr), 0.005) << GetParam();

    const ixTest::WeightedSamples full(*probe);
    ixTest::RelativeRms rms;
    for (const Dir& n : ixTest::normalGrid(32, 16)) {
        const ixImage::FloatPixel3<double> truth = ixTest::phongPrefilter(full, n, 1);
        rms.add(ixTest::evaluateIrradiance(irr, 0, n), truth.red);
        rms.add(ixTest::evaluateIrradiance(irr, 1, n), truth.green);
        rms.add(ixTest::evaluateIrradiance(irr, 2, n), truth.blue);
    }
    EXPECT_LE(rms.value(), 0.10) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Probes, RealProbe,
                         ::testing::Values("courtyard.exr", "studio.exr", "sunset.exr"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
