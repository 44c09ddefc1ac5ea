// Real light probes against brute-force integrals: irradiance, specular and view-dependent maps
// of every model. The reference integrates 4 x 4 box averages (pixels of about 1.4 degrees) to
// stay fast; that blurs the sharpest lobe (Phong 64) a little, hence its looser bound.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "exr_probe.h"
#include "iximage/envmap/filtered_remap.h"
#include "iximage/envmap/recognize_remap.h"
#include "lighting_test_util.h"

namespace {

using ixImage::Float3Image;
using ixImage::FloatPixel3;
using Rgb = FloatPixel3<double>;
using ixTest::Dir;

class RealProbe : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (ixTest::probeDir().empty()) GTEST_SKIP() << "no light probes in this checkout";
        probe = ixTest::loadProbeExr(ixTest::probeDir() + "/" + GetParam() + ".exr");
        ASSERT_TRUE(probe && probe->getWidth() == 1024) << GetParam();
        ASSERT_TRUE(ixTest::useProbe(lighting, probe.get()));
    }
    ix::Reference<Float3Image> probe;
    ixImage::ImageBasedLighting lighting;
};

// Every fifth pixel for the Phong lobes, every tenth against a coarser reference for the costlier
// two-direction models (all wider than 10 degrees). The irradiance is the exact nine-term series
// of the working image, a few per cent off the cosine integral: within 10 % of brute force.
TEST_P(RealProbe, SpecularMapsMatchBruteForcePrefiltering) {
    const ixTest::WeightedSamples reduced(*ixTest::boxDownsample(*probe, 4));
    const ixTest::WeightedSamples coarse(*ixTest::boxDownsample(*probe, 8));
    for (const ixTest::Model& model : ixTest::allModels()) {
        const Float3Image* image = ixTest::specularImage(lighting, *model.rf);
        ASSERT_NE(image, nullptr) << model.name;
        const int stride = model.phong > 0 ? 5 : 10;
        ixTest::RelativeRms rms;
        for (int y = stride / 2; y < 100; y += stride)
            for (int x = stride / 2; x < 200; x += stride) {
                const Dir n = ixTest::pixelDirection(x, y, 200, 100);
                ixTest::addRgb(rms, image->at(x, y),
                               model.bruteForce(stride > 5 ? coarse : reduced, n, n));
            }
        std::printf("%s %s: relative RMS %.4f\n", GetParam(), model.name, rms.value());
        EXPECT_LT(rms.value(), model.phong == 64 ? 0.05 : 0.03) << GetParam() << ", " << model.name;
    }
    ixImage::Irradiance irr;
    lighting.getIrradiance(irr, nullptr);
    EXPECT_LE(ixTest::nineTermRms(*probe, irr), 0.005) << GetParam();
    ixTest::RelativeRms rms;
    for (const Dir& n : ixTest::normalGrid(32, 16))
        ixTest::addRgb(rms, ixImage::evaluateIrradiance(irr, n.x, n.y, n.z),
                       ixTest::phongPrefilter(reduced, n, 1));
    EXPECT_LE(rms.value(), 0.10) << GetParam();
}

Dir randomDirection(std::mt19937& random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double z = 2 * unit(random) - 1, a = 2 * ixTest::kPi * unit(random);
    return {std::sqrt(1 - z * z) * std::cos(a), std::sqrt(1 - z * z) * std::sin(a), z};
}

ixLinear::VectorFlt vec(const Dir& d) {
    return ixLinear::VectorFlt(float(d.x), float(d.y), float(d.z));
}

// The view-dependent map at 200 random (normal, view up to 60 degrees away) pairs against brute
// force, and at view = normal against the specular map at its pixel centres (no interpolation).
TEST_P(RealProbe, ViewDependentMapsMatchBruteForce) {
    const ixTest::WeightedSamples reduced(*ixTest::boxDownsample(*probe, 4));
    const ixImage::GgxReflectance ggx5(0.5);
    const ixTest::Model models[] = {ixTest::allModels()[2], {"GGX 0.5", &ggx5, 0, 0.5, 1.0, false}};
    for (const ixTest::Model& c : models) {
        const ixImage::ViewDependentMap* map = lighting.getViewDependentMap(*c.rf, nullptr);
        ASSERT_NE(map, nullptr) << c.name;
        std::mt19937 random(7);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        ixTest::RelativeRms rms;
        for (int i = 0; i < 200; ++i) {
            const Dir n = randomDirection(random), r = randomDirection(random);
            const double cosV = 1 - 0.5 * unit(random), sinV = std::sqrt(1 - cosV * cosV);
            const double rn = ixTest::dot(r, n), tl = std::sqrt(1 - rn * rn);
            const Dir v{n.x * cosV + sinV * (r.x - rn * n.x) / tl,
                        n.y * cosV + sinV * (r.y - rn * n.y) / tl,
                        n.z * cosV + sinV * (r.z - rn * n.z) / tl};
            ixTest::addRgb(rms, map->evaluate(vec(n), vec(v)), c.bruteForce(reduced, n, v));
        }
        std::printf("%s %s view-dependent: relative RMS %.4f\n", GetParam(), c.name, rms.value());
        EXPECT_LT(rms.value(), 0.04) << GetParam() << ", " << c.name;
        const Float3Image* image = ixTest::specularImage(lighting, *c.rf);
        ixTest::RelativeRms same;
        for (int i = 0; i < 200 * 100; i += 47) {
            const ixLinear::VectorFlt n = vec(ixTest::pixelDirection(i % 200, i / 200, 200, 100));
            const FloatPixel3<float> p = image->data()[i];
            ixTest::addRgb(same, map->evaluate(n, n), Rgb(p.red, p.green, p.blue));
        }
        EXPECT_LT(same.value(), 0.005) << GetParam() << ", " << c.name;
    }
}

// Each pixel repeated factor x factor times: the same light on a finer grid.
ix::Reference<Float3Image> repeatPixels(const Float3Image& in, int factor) {
    ix::Reference<Float3Image> out(new Float3Image);
    out->setSize(in.getWidth() * factor, in.getHeight() * factor);
    for (int y = 0; y < out->getHeight(); ++y)
        for (int x = 0; x < out->getWidth(); ++x) out->at(x, y) = in.at(x / factor, y / factor);
    return out;
}

// A vertical cross of 128-pixel faces made from the original by the energy-preserving
// resampling, which keeps a sun's power on the way into the cross too.
ix::Reference<Float3Image> crossOf(Float3Image& in) {
    ix::Reference<Float3Image> out(new Float3Image);
    out->setSize(3 * 128, 4 * 128);
    ix::Reference<ixImage::EnvironmentMap> from(ixImage::newEnvironmentMap(in)),
        to(ixImage::newEnvironmentMap(*out));
    ixImage::remapFiltered(*from, *to);
    return out;
}

// Relative RMS of Phong 16 (every fifth pixel) and of the irradiance (32 x 16 normals) of a
// bake of probe against brute force of the original.
std::pair<double, double> bakeErrors(Float3Image& probe, ixImage::WorkingProbeFilter filter,
                                     const ixTest::WeightedSamples& truth) {
    ixImage::ImageBasedLighting lighting;
    lighting.setWorkingProbeFilter(filter);
    if (!ixTest::useProbe(lighting, &probe)) return {1.0, 1.0};
    const ixImage::PhongReflectance phong16(16);
    const Float3Image* image = ixTest::specularImage(lighting, phong16);
    if (!image) return {1.0, 1.0};
    ixTest::RelativeRms phong, diffuse;
    for (int y = 2; y < 100; y += 5)
        for (int x = 2; x < 200; x += 5)
            ixTest::addRgb(
                phong, image->at(x, y),
                ixTest::phongPrefilter(truth, ixTest::pixelDirection(x, y, 200, 100), 16));
    ixImage::Irradiance irr;
    lighting.getIrradiance(irr, nullptr);
    for (const Dir& n : ixTest::normalGrid(32, 16))
        ixTest::addRgb(diffuse, ixImage::evaluateIrradiance(irr, n.x, n.y, n.z),
                       ixTest::phongPrefilter(truth, n, 1));
    return {phong.value(), diffuse.value()};
}

// The energy-preserving working probe bakes every size and projection within one point of the
// 1024 x 512 default bake: latitude-longitude 256 to 2048 pixels wide and crosses of 128- and
// 512-pixel faces resampled from the original.
TEST_P(RealProbe, EverySizeAndProjectionBakesLike1024) {
    const ixTest::WeightedSamples truth(*ixTest::boxDownsample(*probe, 4));
    const auto base = bakeErrors(*probe, ixImage::WorkingProbeFilter::kBlurResize, truth);
    const ix::Reference<Float3Image> cross = crossOf(*probe);
    const std::pair<const char*, ix::Reference<Float3Image>> variants[] = {
        {"lat-long 256", ixTest::boxDownsample(*probe, 4)},
        {"lat-long 512", ixTest::boxDownsample(*probe, 2)},
        {"lat-long 2048", repeatPixels(*probe, 2)},
        {"cross 128", cross},
        {"cross 512", repeatPixels(*cross, 4)}};
    for (const auto& [name, variant] : variants) {
        const auto e = bakeErrors(*variant, ixImage::WorkingProbeFilter::kEnergyPreserving, truth);
        std::printf("%s %s: Phong 16 %.4f (1024: %.4f), irradiance %.4f (1024: %.4f)\n", GetParam(),
                    name, e.first, base.first, e.second, base.second);
        EXPECT_LE(e.first, base.first + 0.01) << GetParam() << ", " << name;
        EXPECT_LE(e.second, base.second + 0.01) << GetParam() << ", " << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Probes, RealProbe, ::testing::Values("courtyard", "studio", "sunset"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

}  // namespace
