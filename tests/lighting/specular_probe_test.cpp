// Specular maps of real light probes against brute-force prefiltering. The reference integrates
// the probe at a quarter of its resolution (4 x 4 box averages of the 1024 x 512 file, pixels of
// about 1.4 degrees), which keeps it fast; it blurs the sharpest lobe (n = 64) a little, hence
// its looser bound.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "exr_probe.h"
#include "iximage/envmap/environment_map.h"
#include "iximage/lighting/blinn_phong_reflectance.h"
#include "iximage/lighting/ggx_reflectance.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/measured_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"
#include "lighting/reflectance_reference.h"
#include "sh/prefilter_reference.h"

namespace {

using ixImage::FloatPixel3;
using Rgb = FloatPixel3<double>;
using ixTest::Dir;

Dir randomDirection(std::mt19937& random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double z = 2 * unit(random) - 1, a = 2 * ixTest::kPi * unit(random);
    return {std::sqrt(1 - z * z) * std::cos(a), std::sqrt(1 - z * z) * std::sin(a), z};
}

class SpecularProbe : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (ixTest::probeDir().empty()) GTEST_SKIP() << "no light probes in this checkout";
        ixImage::ImageBasedLighting::setRotationMatrixFilename(
            ixOS::Filename(ixTest::rotationMatrixFile()));
        probe = ixTest::loadProbeExr(ixTest::probeDir() + "/" + GetParam());
        ASSERT_TRUE(probe) << GetParam();
        ixUtil::Error error;
        lighting.setLightProbe(probe.get(), error);
        ASSERT_TRUE(lighting.haveUsableLightProbe());
    }
    ix::Reference<ixImage::Float3Image> probe;
    ixImage::ImageBasedLighting lighting;
};

using Reference = std::function<Rgb(const ixTest::WeightedSamples&, const Dir& n, const Dir& v)>;

Reference phongReference(int n) {
    return [n](const ixTest::WeightedSamples& s, const Dir& axis, const Dir&) {
        return ixTest::phongPrefilter(s, axis, n);
    };
}

// A two-direction model f(wi, wo) cos(theta_i), grey or tinted like the measured table.
Reference twoDirection(std::function<double(const double*, const double*)> f, bool tinted = false) {
    return [=](const ixTest::WeightedSamples& s, const Dir& n, const Dir& v) {
        return ixTest::brdfPrefilter(s, n, v, [&](const double* wi, const double* wo) {
            const double value = f(wi, wo);
            const double* t = ixTest::kTableTint;
            return tinted ? Rgb(value * t[0], value * t[1], value * t[2])
                          : Rgb(value, value, value);
        });
    };
}

Reference ggxReference(double alpha, double f0, bool tinted = false) {
    return twoDirection(
        [=](const double* i, const double* o) { return ixTest::ggxCos(alpha, f0, i, o); }, tinted);
}

// Relative RMS over a regular subset of pixels (every fifth for the Phong lobes; every tenth,
// against the probe at an eighth of its resolution, for the two-direction models, whose
// reference costs more and whose lobes are all wider than 10 degrees); the Lambert map is the
// n = 1 prefilter. The measured table is GGX(0.4, 0.1) in the file format, tinted per channel.
TEST_P(SpecularProbe, MapsMatchBruteForcePrefiltering) {
    const ixTest::WeightedSamples reduced(*ixTest::boxDownsample(*probe, 4));
    const ixTest::WeightedSamples coarse(*ixTest::boxDownsample(*probe, 8));
    ixImage::PhongReflectance phong4(4), phong16(16), phong64(64);
    ixImage::LambertReflectance lambert;
    ixImage::GgxReflectance ggx3(0.3), ggx6(0.6, 0.04);
    ixImage::BlinnPhongReflectance blinn16(16), blinn64(64);
    ixImage::MeasuredReflectance measured(ixTest::ggxTable(0.4, 0.1));
    const auto blinn = [](double n) {
        return twoDirection(
            [n](const double* i, const double* o) { return ixTest::blinnPhongCos(n, i, o); });
    };
    const struct {
        const char* name;
        const ixImage::ReflectanceFunction* rf;
        Reference reference;
        int stride;
        double limit;  // on the relative RMS
    } cases[] = {{"Phong 4", &phong4, phongReference(4), 5, 0.03},
                 {"Phong 16", &phong16, phongReference(16), 5, 0.03},
                 {"Phong 64", &phong64, phongReference(64), 5, 0.05},
                 {"Lambert", &lambert, phongReference(1), 5, 0.03},
                 {"GGX 0.3", &ggx3, ggxReference(0.3, 1.0), 10, 0.03},
                 {"GGX 0.6 f0 0.04", &ggx6, ggxReference(0.6, 0.04), 10, 0.03},
                 {"Blinn-Phong 16", &blinn16, blinn(16), 10, 0.03},
                 {"Blinn-Phong 64", &blinn64, blinn(64), 10, 0.03},
                 {"measured", &measured, ggxReference(0.4, 0.1, true), 10, 0.03}};
    for (const auto& c : cases) {
        ixImage::EnvironmentMap* map = lighting.getSpecularMap(*c.rf, nullptr);
        ASSERT_NE(map, nullptr) << c.name;
        const auto* image = static_cast<const ixImage::Float3Image*>(map->getImage());
        ixTest::RelativeRms rms;
        for (int y = c.stride / 2; y < 100; y += c.stride)
            for (int x = c.stride / 2; x < 200; x += c.stride) {
                const Dir n = ixTest::pixelDirection(x, y, 200, 100);
                const Rgb expected = c.reference(c.stride > 5 ? coarse : reduced, n, n);
                const FloatPixel3<float>& got = image->at(x, y);
                rms.add(got.red, expected.red);
                rms.add(got.green, expected.green);
                rms.add(got.blue, expected.blue);
            }
        std::printf("%s %s: relative RMS %.4f\n", GetParam(), c.name, rms.value());
        EXPECT_LT(rms.value(), c.limit) << GetParam() << ", " << c.name;
    }
}

// The view-dependent map at 200 random (normal, view) pairs, the view up to 60 degrees from
// the normal, against the brute-force integral; and at view = normal against the specular map
// (at pixel centres, where no interpolation blurs either).
TEST_P(SpecularProbe, ViewDependentMapsMatchBruteForce) {
    const ixTest::WeightedSamples reduced(*ixTest::boxDownsample(*probe, 4));
    ixImage::PhongReflectance phong16(16);
    ixImage::GgxReflectance ggx5(0.5);
    const struct {
        const ixImage::ReflectanceFunction* rf;
        Reference reference;
    } cases[] = {{&phong16, phongReference(16)}, {&ggx5, ggxReference(0.5, 1.0)}};
    for (const auto& c : cases) {
        const ixImage::ViewDependentMap* map = lighting.getViewDependentMap(*c.rf, nullptr);
        ASSERT_NE(map, nullptr) << c.rf->getKey();
        std::mt19937 random(7);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        ixTest::RelativeRms rms;
        for (int i = 0; i < 200; ++i) {
            // Uniform normal; view at an angle up to 60 degrees, uniform over that cap, towards
            // a random tangent.
            const Dir n = randomDirection(random), r = randomDirection(random);
            const double cosV = 1 - 0.5 * unit(random), sinV = std::sqrt(1 - cosV * cosV);
            Dir t{r.x - ixTest::dot(r, n) * n.x, r.y - ixTest::dot(r, n) * n.y,
                  r.z - ixTest::dot(r, n) * n.z};
            const double tl = std::sqrt(ixTest::dot(t, t));
            const Dir v{n.x * cosV + sinV * t.x / tl, n.y * cosV + sinV * t.y / tl,
                        n.z * cosV + sinV * t.z / tl};
            const Rgb expected = c.reference(reduced, n, v);
            const FloatPixel3<float> got =
                map->evaluate(ixLinear::VectorFlt(float(n.x), float(n.y), float(n.z)),
                              ixLinear::VectorFlt(float(v.x), float(v.y), float(v.z)));
            rms.add(got.red, expected.red);
            rms.add(got.green, expected.green);
            rms.add(got.blue, expected.blue);
        }
        std::printf("%s key %x view-dependent: relative RMS %.4f\n", GetParam(), c.rf->getKey(),
                    rms.value());
        EXPECT_LT(rms.value(), 0.04) << GetParam() << " key " << c.rf->getKey();

        const auto* image = static_cast<const ixImage::Float3Image*>(
            lighting.getSpecularMap(*c.rf, nullptr)->getImage());
        ixTest::RelativeRms same;
        for (int y = 1; y < 100; y += 7)
            for (int x = 3; x < 200; x += 7) {
                const Dir n = ixTest::pixelDirection(x, y, 200, 100);
                const ixLinear::VectorFlt nf(float(n.x), float(n.y), float(n.z));
                const FloatPixel3<float> got = map->evaluate(nf, nf);
                same.add(got.red, image->at(x, y).red);
                same.add(got.green, image->at(x, y).green);
                same.add(got.blue, image->at(x, y).blue);
            }
        EXPECT_LT(same.value(), 0.005) << GetParam() << " key " << c.rf->getKey();
    }
}

INSTANTIATE_TEST_SUITE_P(Probes, SpecularProbe,
                         ::testing::Values("courtyard.exr", "studio.exr", "sunset.exr"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
