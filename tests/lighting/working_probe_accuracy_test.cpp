// The bake is as accurate at every probe size and projection as at 1024 x 512. Each real probe
// is rebuilt as a latitude-longitude map of 256 to 4096 pixels (box-averaged or each pixel
// repeated) and as crosses of 128-pixel faces (made here from the original with its power
// kept) and 512-pixel faces (each 128-face pixel repeated), baked through the energy-preserving
// working probe, and compared with brute-force prefiltering of the original: Phong 16 and
// irradiance must stay within one percentage point of the 1024 x 512 bake through the default
// blur-and-resize working probe.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "exr_probe.h"
#include "iximage/envmap/cross_map.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/phong_reflectance.h"
#include "lighting_test_util.h"

namespace {

using ixImage::Float3Image;
using ixImage::FloatPixel3;

// Each pixel repeated factor x factor times: the same light on a finer grid (for a cross, too:
// a face pixel's solid angle is the sum of those of its sub-pixels).
ix::Reference<Float3Image> repeatPixels(const Float3Image& in, int factor) {
    ix::Reference<Float3Image> out(new Float3Image);
    out->setSize(in.getWidth() * factor, in.getHeight() * factor);
    for (int y = 0; y < out->getHeight(); ++y)
        for (int x = 0; x < out->getWidth(); ++x) out->at(x, y) = in.at(x / factor, y / factor);
    return out;
}

// A vertical cross of 128-pixel faces holding the original's power: every original pixel is
// split into 4 x 4 sub-samples, each carrying a sixteenth of the pixel's exact solid angle into
// the cross pixel its direction falls in, and each cross pixel is divided by its own exact
// solid angle, the closed form atan(s t / sqrt(1 + s^2 + t^2)) over the cube-face rectangle.
ix::Reference<Float3Image> crossOf(const Float3Image& in) {
    constexpr int kFace = 128, kSub = 4;
    const int w = in.getWidth(), h = in.getHeight(), W = 3 * kFace, H = 4 * kFace;
    const ixImage::CrossMap cross(kFace, false);
    std::vector<double> sum(size_t(W) * H * 3, 0.0);
    for (int j = 0; j < h * kSub; ++j) {
        const double lambda = ((j + 0.5) / (h * kSub) - 0.5) * ixTest::kPi;
        const int y = j / kSub;
        const double share = (2 * ixTest::kPi / w) *
                             (std::sin((double(y + 1) / h - 0.5) * ixTest::kPi) -
                              std::sin((double(y) / h - 0.5) * ixTest::kPi)) /
                             (kSub * kSub);
        for (int i = 0; i < w * kSub; ++i) {
            const double mu = (2.0 * (i + 0.5) / (w * kSub) - 1.0) * ixTest::kPi;
            ixLinear::VectorFlt d;
            d.x = float(-std::sin(mu) * std::cos(lambda)),
            d.y = float(-std::cos(mu) * std::cos(lambda)), d.z = float(std::sin(lambda));
            float u, v;
            cross.dirToCoord(d, u, v);
            const size_t target =
                size_t(std::min(H - 1, int(v * H))) * W + std::min(W - 1, int(u * W));
            const FloatPixel3<float>& p = in.at(i / kSub, y);
            sum[3 * target] += share * p.red, sum[3 * target + 1] += share * p.green,
                sum[3 * target + 2] += share * p.blue;
        }
    }
    auto F = [](double s, double t) { return std::atan2(s * t, std::sqrt(1 + s * s + t * t)); };
    ix::Reference<Float3Image> out(new Float3Image);
    out->setSize(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int face;
            float fu, fv;
            const bool inside = cross.crossToCube((x + 0.5f) / W, (y + 0.5f) / H, face, fu, fv);
            const double s0 = 2.0 * std::floor(fu * kFace) / kFace - 1,
                         t0 = 2.0 * std::floor(fv * kFace) / kFace - 1;
            const double s1 = s0 + 2.0 / kFace, t1 = t0 + 2.0 / kFace;
            const double omega = F(s1, t1) - F(s0, t1) - F(s1, t0) + F(s0, t0);
            const double* e = &sum[3 * (size_t(y) * W + x)];
            out->at(x, y) = inside ? FloatPixel3<float>(float(e[0] / omega), float(e[1] / omega),
                                                        float(e[2] / omega))
                                   : FloatPixel3<float>();
        }
    return out;
}

struct Errors {
    double phong16, irradiance;  // relative RMS against brute force
};

// The brute-force prefilters of the reference samples: Phong 16 seen from every fifth pixel
// of the 200 x 100 map (40 x 20 directions), the irradiance on a 32 x 16 grid of normals.
struct Truth {
    std::vector<FloatPixel3<double>> phong16, irradiance;
    explicit Truth(const ixTest::WeightedSamples& samples) {
        for (const ixTest::Dir& d : ixTest::normalGrid(40, 20))
            phong16.push_back(ixTest::phongPrefilter(samples, d, 16));
        for (const ixTest::Dir& n : ixTest::normalGrid(32, 16))
            irradiance.push_back(ixTest::phongPrefilter(samples, n, 1));
    }
};

void addRgb(ixTest::RelativeRms& rms, const FloatPixel3<double>& got,
            const FloatPixel3<double>& expected) {
    rms.add(got.red, expected.red);
    rms.add(got.green, expected.green);
    rms.add(got.blue, expected.blue);
}

Errors bakeErrors(Float3Image& probe, ixImage::WorkingProbeFilter filter, const Truth& truth) {
    ixImage::ImageBasedLighting lighting;
    ixUtil::Error error;
    lighting.setLightProbe(&probe, error);
    lighting.setWorkingProbeFilter(filter);
    ixImage::Irradiance irr;
    lighting.getIrradiance(irr, nullptr);
    const ixImage::PhongReflectance phong16(16);
    ixImage::EnvironmentMap* map = lighting.getSpecularMap(phong16, nullptr);
    if (!map) return {1.0, 1.0};
    const auto* image = static_cast<const Float3Image*>(map->getImage());
    ixTest::RelativeRms phong, diffuse;
    for (size_t k = 0; k < truth.phong16.size(); ++k) {  // cell k of 40 x 20: pixel 5k + 2
        const FloatPixel3<float>& p = image->at(int(k % 40) * 5 + 2, int(k / 40) * 5 + 2);
        addRgb(phong, FloatPixel3<double>(p.red, p.green, p.blue), truth.phong16[k]);
    }
    size_t k = 0;
    for (const ixTest::Dir& n : ixTest::normalGrid(32, 16))
        addRgb(diffuse, ixImage::evaluateIrradiance(irr, n.x, n.y, n.z), truth.irradiance[k++]);
    return {phong.value(), diffuse.value()};
}

class WorkingProbeAccuracy : public ::testing::TestWithParam<const char*> {};

TEST_P(WorkingProbeAccuracy, EverySizeAndProjectionBakesLike1024) {
    if (ixTest::probeDir().empty()) GTEST_SKIP() << "no light probes in this checkout";
    ixImage::ImageBasedLighting::setRotationMatrixFilename(
        ixOS::Filename(ixTest::rotationMatrixFile()));
    ix::Reference<Float3Image> original =
        ixTest::loadProbeExr(ixTest::probeDir() + "/" + GetParam());
    ASSERT_TRUE(original) << GetParam();
    ASSERT_EQ(original->getWidth(), 1024);
    // The reference integrates 4 x 4 box averages of the original (pixels of about 1.4 degrees).
    const Truth truth(ixTest::WeightedSamples(*ixTest::boxDownsample(*original, 4)));
    const Errors base = bakeErrors(*original, ixImage::WorkingProbeFilter::kBlurResize, truth);
    std::printf("%s: 1024 x 512 blur and resize: Phong 16 %.2f %%, irradiance %.2f %%\n",
                GetParam(), 100 * base.phong16, 100 * base.irradiance);

    const ix::Reference<Float3Image> cross128 = crossOf(*original);
    const bool large = std::string(GetParam()) == "sunset.exr";  // one probe for 2048 and 4096
    const struct {
        const char* name;
        ix::Reference<Float3Image> probe;
    } variants[] = {{"lat-long 256 (box)", ixTest::boxDownsample(*original, 4)},
                    {"lat-long 512 (box)", ixTest::boxDownsample(*original, 2)},
                    {"lat-long 1024", original},
                    {"lat-long 2048 (repeated)", large ? repeatPixels(*original, 2) : nullptr},
                    {"lat-long 4096 (repeated)", large ? repeatPixels(*original, 4) : nullptr},
                    {"cross 128", cross128},
                    {"cross 512 (repeated)", repeatPixels(*cross128, 4)}};
    for (const auto& variant : variants) {
        if (!variant.probe) continue;
        const Errors e =
            bakeErrors(*variant.probe, ixImage::WorkingProbeFilter::kEnergyPreserving, truth);
        std::printf("%s: %s energy preserving: Phong 16 %.2f %%, irradiance %.2f %%\n", GetParam(),
                    variant.name, 100 * e.phong16, 100 * e.irradiance);
        EXPECT_LE(e.phong16, base.phong16 + 0.01) << GetParam() << ", " << variant.name;
        EXPECT_LE(e.irradiance, base.irradiance + 0.01) << GetParam() << ", " << variant.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Probes, WorkingProbeAccuracy,
                         ::testing::Values("courtyard.exr", "studio.exr", "sunset.exr"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
