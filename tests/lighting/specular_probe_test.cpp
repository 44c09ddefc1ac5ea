// Specular maps of real light probes against brute-force prefiltering. The reference integrates
// the probe at a quarter of its resolution (4 x 4 box averages of the 1024 x 512 file, pixels of
// about 1.4 degrees), which keeps it fast; it blurs the sharpest lobe (n = 64) a little, hence
// its looser bound.
#include <gtest/gtest.h>

#include <string>

#include "exr_probe.h"
#include "iximage/envmap/environment_map.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"
#include "sh/prefilter_reference.h"

namespace {

using ixImage::FloatPixel3;
using Rgb = FloatPixel3<double>;

class SpecularProbe : public ::testing::TestWithParam<const char*> {};

// Relative RMS over every fifth pixel in each direction; the Lambert map is the n = 1 prefilter.
TEST_P(SpecularProbe, MapsMatchBruteForcePrefiltering) {
    if (ixTest::probeDir().empty()) GTEST_SKIP() << "no light probes in this checkout";
    ixImage::ImageBasedLighting::setRotationMatrixFilename(
        ixOS::Filename(ixTest::rotationMatrixFile()));
    ix::Reference<ixImage::Float3Image> probe =
        ixTest::loadProbeExr(ixTest::probeDir() + "/" + GetParam());
    ASSERT_TRUE(probe) << GetParam();
    ixImage::ImageBasedLighting lighting;
    ixUtil::Error error;
    lighting.setLightProbe(probe.get(), error);
    ASSERT_TRUE(lighting.haveUsableLightProbe());
    const ixTest::WeightedSamples reduced(*ixTest::boxDownsample(*probe, 4));

    ixImage::PhongReflectance phong4(4), phong16(16), phong64(64);
    ixImage::LambertReflectance lambert;
    const struct {
        const char* name;
        const ixImage::ReflectanceFunction* rf;
        int exponent;
        double limit;  // on the relative RMS
    } cases[] = {{"Phong 4", &phong4, 4, 0.03},
                 {"Phong 16", &phong16, 16, 0.03},
                 {"Phong 64", &phong64, 64, 0.05},
                 {"Lambert", &lambert, 1, 0.03}};
    for (const auto& c : cases) {
        ixImage::EnvironmentMap* map = lighting.getSpecularMap(*c.rf, nullptr);
        ASSERT_NE(map, nullptr) << c.name;
        const auto* image = static_cast<const ixImage::Float3Image*>(map->getImage());
        ixTest::RelativeRms rms;
        for (int y = 2; y < 100; y += 5)
            for (int x = 2; x < 200; x += 5) {
                const Rgb expected = ixTest::phongPrefilter(
                    reduced, ixTest::pixelDirection(x, y, 200, 100), c.exponent);
                const FloatPixel3<float>& got = image->at(x, y);
                rms.add(got.red, expected.red);
                rms.add(got.green, expected.green);
                rms.add(got.blue, expected.blue);
            }
        EXPECT_LT(rms.value(), c.limit) << GetParam() << ", " << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Probes, SpecularProbe,
                         ::testing::Values("courtyard.exr", "studio.exr", "sunset.exr"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
