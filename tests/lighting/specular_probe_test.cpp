// Specular maps of real light probes against brute-force prefiltering.
//
// The reference integrates the probe at a quarter of its resolution (4 x 4 box averages of the
// 1024 x 512 file, 256 x 128 pixels of about 1.4 degrees) over a subset of 40 x 20 output
// directions; the test prints how far that reduction moves the reference for the sharpest
// lobe (n = 64), so the figures below can be read against it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "exr_probe.h"
#include "iximage/envmap/environment_map.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"
#include "sh/prefilter_reference.h"
#include "test_support.h"

namespace {

using ixImage::FloatPixel3;
using Rgb = FloatPixel3<double>;

// Mean of factor x factor blocks: a radiance image at a lower resolution that keeps each
// block's power (the solid angles of a block's rows differ only slightly).
ix::Reference<ixImage::Float3Image> boxDownsample(const ixImage::Float3Image& in, int factor) {
    const int w = in.getWidth() / factor;
    const int h = in.getHeight() / factor;
    ix::Reference<ixImage::Float3Image> out(new ixImage::Float3Image());
    out->setSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double r = 0, g = 0, b = 0;
            for (int j = 0; j < factor; ++j)
                for (int i = 0; i < factor; ++i) {
                    const FloatPixel3<float>& p = in.at(x * factor + i, y * factor + j);
                    r += p.red;
                    g += p.green;
                    b += p.blue;
                }
            const double n = factor * factor;
            out->at(x, y) = FloatPixel3<float>(float(r / n), float(g / n), float(b / n));
        }
    return out;
}

const FloatPixel3<float>& mapPixel(ixImage::EnvironmentMap* map, int x, int y) {
    return static_cast<const ixImage::Float3Image*>(map->getImage())->at(x, y);
}

// Relative RMS of a specular map against the brute-force prefilter (exponent n; n = 1 with
// scale 1 is also the Lambert map, irradiance / pi) over every fifth pixel in each direction.
double compareWithBruteForce(ixImage::EnvironmentMap* map, const ixTest::WeightedSamples& ref,
                             int n) {
    ixTest::RelativeRms rms;
    for (int y = 2; y < 100; y += 5)
        for (int x = 2; x < 200; x += 5) {
            const Rgb expected =
                ixTest::phongPrefilter(ref, ixTest::pixelDirection(x, y, 200, 100), n);
            const FloatPixel3<float>& got = mapPixel(map, x, y);
            rms.add(got.red, expected.red);
            rms.add(got.green, expected.green);
            rms.add(got.blue, expected.blue);
        }
    return rms.value();
}

class SpecularProbe : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (ixTest::probeDir().empty()) GTEST_SKIP() << "no light probes in this checkout";
        ixImage::ImageBasedLighting::setRotationMatrixFilename(
            ixOS::Filename(ixTest::rotationMatrixFile()));
        probe = ixTest::loadProbeExr(ixTest::probeDir() + "/" + GetParam());
        ASSERT_TRUE(probe) << GetParam();
    }
    ix::Reference<ixImage::Float3Image> probe;
};

TEST_P(SpecularProbe, MapsMatchBruteForcePrefiltering) {
    ixImage::ImageBasedLighting lighting;
    ixUtil::Error error;
    lighting.setLightProbe(probe.get(), error);
    ASSERT_TRUE(lighting.haveUsableLightProbe());

    const ixTest::WeightedSamples reduced(*boxDownsample(*probe, 4));

    // What the 4 x 4 reduction costs the reference, for the sharpest lobe, on a few directions.
    {
        const ixTest::WeightedSamples full(*probe);
        ixTest::RelativeRms rms;
        for (int k = 0; k < 24; ++k) {
            const ixTest::Dir d =
                ixTest::pixelDirection((k * 37) % 200, 5 + (k * 23) % 90, 200, 100);
            const Rgb a = ixTest::phongPrefilter(reduced, d, 64);
            const Rgb b = ixTest::phongPrefilter(full, d, 64);
            rms.add(a.red, b.red);
            rms.add(a.green, b.green);
            rms.add(a.blue, b.blue);
        }
        std::printf("%s: reduced reference vs full resolution (n = 64): relative RMS %.5f\n",
                    GetParam(), rms.value());
    }

    struct Case {
        const char* name;
        int exponent;  // < 0: Lambert
        double limit;  // relative RMS bound; 0: figure printed, not asserted
    };
    const Case cases[] = {
        {"Phong 4", 4, 0.0}, {"Phong 16", 16, 0.03}, {"Phong 64", 64, 0.0}, {"Lambert", -1, 0.03}};
    for (const Case& c : cases) {
        ixImage::PhongReflectance phong(c.exponent < 0 ? 0 : c.exponent);
        ixImage::LambertReflectance lambert;
        const ixImage::ReflectanceFunction& rf =
            c.exponent < 0 ? static_cast<const ixImage::ReflectanceFunction&>(lambert) : phong;
        ixImage::EnvironmentMap* map = lighting.getSpecularMap(rf, nullptr);
        ASSERT_NE(map, nullptr) << c.name;
        const double rms = compareWithBruteForce(map, reduced, c.exponent < 0 ? 1 : c.exponent);
        std::printf("%s, %s: relative RMS against brute force %.4f\n", GetParam(), c.name, rms);
        if (c.limit > 0.0) {
            EXPECT_LT(rms, c.limit) << GetParam() << ", " << c.name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Probes, SpecularProbe,
                         ::testing::Values("courtyard.exr", "studio.exr", "sunset.exr"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
