// ImageBasedLighting: the probe check, its states, laziness, copies and two objects at once.
#include "iximage/lighting/image_based_lighting.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "iximage/envmap/recognize_remap.h"
#include "iximage/image/blur.h"
#include "iximage/image/resize.h"
#include "iximage/lighting/irradiance_alg.h"
#include "iximage/lighting/phong_reflectance.h"
#include "iximage/sh/light_coeffs.h"
#include "iximage/sh/rotation_matrices.h"
#include "lighting_test_util.h"

namespace {

using ixImage::EnvironmentMap;
using ixImage::ImageBasedLighting;
using ixImage::Irradiance;
using LightCoeffs = ixImage::SphericalHarmonics<ixImage::FloatPixel3<double>>;

const char* const kNotRecognized =
    "The image you have specified is not a recognized environment map shape.Please consult the "
    "documentation for descriptions of the supported types.";
const char* const kSphereRefused =
    "Image based lighting only supports vertical cross and latitude-longitude environment maps.";

class LightingTest : public ::testing::Test {
protected:
    void SetUp() override { useGeneratedMatrixFile(); }
    void TearDown() override { useGeneratedMatrixFile(); }
    static void useGeneratedMatrixFile() {
        ImageBasedLighting::setRotationMatrixFilename(ixTest::rotationMatrixFile().c_str());
    }
};

// A lighting object holding a sky probe of w x h, lit (irradiance computed) when asked.
ix::Reference<ixImage::Float3Image> setSky(ImageBasedLighting& lighting, int w, int h,
                                           Irradiance* lit = nullptr) {
    auto probe = ixTest::makeLatLongProbe(w, h, ixTest::skyRadiance);
    ixUtil::Error error;
    lighting.setLightProbe(probe.get(), error);
    if (lit) lighting.getIrradiance(*lit, nullptr);
    return probe;
}

// Each case starts from a lit object and installs a new probe, with a sentinel error that an
// accepted probe must leave alone. Without a usable probe the irradiance is cleared, sentinel
// entries included.
TEST_F(LightingTest, ProbeCheckAndStateAfterEachProbe) {
    const struct {
        const char* name;
        int width, height;
        EnvironmentMap::Type type;
        const char* message;  // null when accepted
    } cases[] = {
        {"lat-long 400 x 200", 400, 200, EnvironmentMap::kLatLong, nullptr},
        {"vertical cross 192 x 256", 192, 256, EnvironmentMap::kCross, nullptr},
        {"sphere 64 x 64", 64, 64, EnvironmentMap::kSphere, kSphereRefused},
        {"tall 100 x 130", 100, 130, EnvironmentMap::kSphere, kNotRecognized},
        {"horizontal cross 256 x 192", 256, 192, EnvironmentMap::kSphere, kNotRecognized},
        {"almost lat-long 401 x 200", 401, 200, EnvironmentMap::kSphere, kNotRecognized},
        {"empty 0 x 0", 0, 0, EnvironmentMap::kSphere, kNotRecognized},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageBasedLighting lighting;
        Irradiance lit;
        setSky(lighting, 64, 32, &lit);
        ASSERT_NE(lighting.getLightCoeffs(), nullptr);
        ASSERT_FALSE(ixTest::isCleared(lit));

        ix::Reference<ixImage::Float3Image> probe = new ixImage::Float3Image;
        probe->setSize(c.width, c.height);
        for (int i = 0; i < c.width * c.height; ++i) probe->data()[i] = {1, 1, 1};
        ixUtil::Error error(7, "untouched");
        lighting.setLightProbe(probe.get(), error);

        // Whatever the outcome, nothing of the first probe is left.
        EXPECT_EQ(lighting.getLightCoeffs(), nullptr);
        EXPECT_EQ(lighting.haveUsableLightProbe(), c.message == nullptr);
        if (c.message == nullptr) {
            EXPECT_EQ(error.getCode(), 7);
            EXPECT_EQ(error.getMessage(), "untouched");
            ASSERT_NE(lighting.getReflectionMap(), nullptr);
            EXPECT_EQ(lighting.getReflectionMap()->type, c.type);
            EXPECT_EQ(lighting.getReflectionMap()->image.get(), probe.get());
        } else {
            EXPECT_EQ(error.getCode(), 1);
            EXPECT_EQ(error.getMessage(), c.message);
            EXPECT_EQ(lighting.getReflectionMap(), nullptr);
            Irradiance irr;
            irr.red.m[1][2] = 3.0;
            lighting.getIrradiance(irr, nullptr);
            EXPECT_TRUE(ixTest::isCleared(irr));
            EXPECT_EQ(lighting.getLightCoeffs(), nullptr);
        }
    }
}

// The cache remembers a failed build per key; a copy carries the entry along, and a new probe
// (even a refused one) empties the cache, so the reflectance is sampled again.
TEST_F(LightingTest, NewProbeEmptiesTheSpecularCache) {
    ImageBasedLighting lighting;
    auto probe = setSky(lighting, 64, 32);
    ixTest::NoGreenReflectance dark(5);
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(dark.samplings, 1);
    ImageBasedLighting copy(lighting);
    EXPECT_EQ(copy.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(dark.samplings, 1);

    ix::Reference<ixImage::Float3Image> sphere = new ixImage::Float3Image;
    sphere->setSize(16, 16);
    ixUtil::Error error;
    lighting.setLightProbe(sphere.get(), error);
    lighting.setLightProbe(probe.get(), error);
    EXPECT_EQ(lighting.getSpecularMap(dark, nullptr), nullptr);
    EXPECT_EQ(dark.samplings, 2);
}

// The derived data are computed once: changing the probe's pixels behind the object's back
// does not change a second answer, while setting the probe again does.
TEST_F(LightingTest, TwoRequestsComputeOnce) {
    ImageBasedLighting lighting;
    Irradiance first, second, third;
    auto probe = setSky(lighting, 400, 200, &first);
    const LightCoeffs* coeffs = lighting.getLightCoeffs();
    ASSERT_NE(coeffs, nullptr);
    for (int i = 0; i < 400 * 200; ++i) {
        ixImage::FloatPixel3<float>& p = probe->data()[i];
        p = {2 * p.red, 2 * p.green, 2 * p.blue};
    }
    lighting.getIrradiance(second, nullptr);
    EXPECT_EQ(lighting.getLightCoeffs(), coeffs);
    EXPECT_TRUE(ixTest::sameIrradiance(second, first));

    ixUtil::Error error;
    lighting.setLightProbe(probe.get(), error);
    lighting.getIrradiance(third, nullptr);
    EXPECT_NEAR(third.red.m[3][3], 2 * first.red.m[3][3], 1e-5 * first.red.m[3][3]);
}

TEST_F(LightingTest, CopiesShareTheProbeButNotTheCoefficients) {
    Irradiance sourceIrr, copyIrr, otherIrr;
    auto* source = new ImageBasedLighting;
    auto probe = setSky(*source, 128, 64, &sourceIrr);
    ImageBasedLighting copy(*source);
    EXPECT_TRUE(copy.haveUsableLightProbe());
    EXPECT_EQ(copy.getReflectionMap(), source->getReflectionMap());
    ASSERT_NE(copy.getLightCoeffs(), nullptr);
    EXPECT_NE(copy.getLightCoeffs(), source->getLightCoeffs());
    for (int i = 0; i < copy.getLightCoeffs()->getCount(); ++i)
        ASSERT_EQ((*copy.getLightCoeffs())[i].red, (*source->getLightCoeffs())[i].red) << i;

    delete source;  // the source can go first
    copy.getIrradiance(copyIrr, nullptr);
    EXPECT_EQ(copyIrr.blue.m[3][3], sourceIrr.blue.m[3][3]);
    EXPECT_EQ(probe->getRefCount(), 2);  // the caller's reference and the shared map's

    // Assignment over a lit object with another probe, and self-assignment.
    ImageBasedLighting other;
    ixUtil::Error error;
    auto otherProbe = ixTest::makeLatLongProbe(64, 32, ixTest::whiteRadiance);
    other.setLightProbe(otherProbe.get(), error);
    other.getIrradiance(otherIrr, nullptr);
    other = copy;
    EXPECT_EQ(otherProbe->getRefCount(), 1);
    EXPECT_EQ(other.getReflectionMap(), copy.getReflectionMap());
    ASSERT_NE(other.getLightCoeffs(), nullptr);
    EXPECT_NE(other.getLightCoeffs(), copy.getLightCoeffs());
    ImageBasedLighting& alias = other;
    other = alias;
    ASSERT_NE(other.getLightCoeffs(), nullptr);
    other.getIrradiance(otherIrr, nullptr);
    EXPECT_EQ(otherIrr.red.m[0][3], sourceIrr.red.m[0][3]);

    // A copy of an object that is not lit yet stays unlit until asked.
    ImageBasedLighting unlit;
    unlit.setLightProbe(probe.get(), error);
    ImageBasedLighting unlitCopy(unlit);
    EXPECT_EQ(unlitCopy.getLightCoeffs(), nullptr);
    unlitCopy.getIrradiance(copyIrr, nullptr);
    EXPECT_EQ(copyIrr.blue.m[3][3], sourceIrr.blue.m[3][3]);
}

// Two objects, each with its own probe, lit and asked for a specular map on two threads at
// once (run under ThreadSanitizer in CI): each must give what it gives alone. The process-wide
// tables and matrices are loaded first, while nothing else runs, as the contract asks.
TEST_F(LightingTest, TwoObjectsOnTwoThreadsMatchTheirSequentialResults) {
    ASSERT_TRUE(ixImage::initializeReflectance(ixTest::rotationMatrixFile().c_str(), nullptr));
    const ixImage::PhongReflectance phong(8);
    struct Run {
        ix::Reference<ixImage::Float3Image> probe;
        ImageBasedLighting lighting;
        Irradiance irr;
        ix::Reference<ixImage::Image> specular;
    };
    auto light = [&phong](Run& run) {
        ixUtil::Error error;
        run.lighting.setLightProbe(run.probe.get(), error);
        run.lighting.getIrradiance(run.irr, nullptr);
        if (EnvironmentMap* map = run.lighting.getSpecularMap(phong, nullptr))
            run.specular = map->image;
    };
    Run together[2], alone[2];
    for (Run* runs : {together, alone}) {
        runs[0].probe = ixTest::makeLatLongProbe(128, 64, ixTest::skyRadiance);
        runs[1].probe = ixTest::makeCrossProbe(32, ixTest::skyRadiance);
    }
    std::thread other([&] { light(together[1]); });
    light(together[0]);
    other.join();
    for (int k = 0; k < 2; ++k) {
        light(alone[k]);
        EXPECT_TRUE(ixTest::sameIrradiance(together[k].irr, alone[k].irr)) << k;
        ASSERT_TRUE(together[k].specular && alone[k].specular) << k;
        const auto* a = static_cast<const ixImage::Float3Image*>(together[k].specular.get());
        const auto* b = static_cast<const ixImage::Float3Image*>(alone[k].specular.get());
        for (int i = 0; i < 200 * 100; ++i)
            ASSERT_EQ(a->data()[i].green, b->data()[i].green) << k << " pixel " << i;
    }
    EXPECT_FALSE(ixTest::sameIrradiance(together[0].irr, together[1].irr));
}

// The working-probe filter: the same value keeps what was derived, another one discards it
// (the probe stays) and the next request derives it again through the other resampling.
TEST_F(LightingTest, ChangingTheWorkingProbeFilterDiscardsDerivedData) {
    using ixImage::WorkingProbeFilter;
    auto probe = ixTest::makeLatLongProbe(1024, 512, ixTest::skyRadiance);
    ImageBasedLighting lighting;
    ixUtil::Error error;
    lighting.setLightProbe(probe.get(), error);
    Irradiance blurred, filtered;
    lighting.getIrradiance(blurred, nullptr);
    lighting.setWorkingProbeFilter(WorkingProbeFilter::kBlurResize);
    EXPECT_NE(lighting.getLightCoeffs(), nullptr);
    lighting.setWorkingProbeFilter(WorkingProbeFilter::kEnergyPreserving);
    EXPECT_EQ(lighting.getLightCoeffs(), nullptr);
    EXPECT_TRUE(lighting.haveUsableLightProbe());
    lighting.getIrradiance(filtered, nullptr);
    EXPECT_NE(lighting.getLightCoeffs(), nullptr);
    EXPECT_FALSE(ixTest::sameIrradiance(blurred, filtered));
}

}  // namespace
