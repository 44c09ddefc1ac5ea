// ImageBasedLighting: the probe check, its states, laziness, copies and the working image.
#include "iximage/lighting/image_based_lighting.h"

#include <gtest/gtest.h>

#include <string>

#include "iximage/envmap/recognize_remap.h"
#include "iximage/image/blur.h"
#include "iximage/image/resize.h"
#include "iximage/lighting/irradiance_alg.h"
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

TEST(ReflectanceFunction, ComparesKeysOnlyAndCopiesKeyAndFlag) {
    const struct {
        int a, b;
        bool less, equal;
    } cases[] = {{0, 0, false, true},
                 {-1, 0, true, false},
                 {0, -1, false, false},
                 {7, 7, false, true},
                 {-2147483647 - 1, 2147483647, true, false},
                 {3, 2, false, false}};
    for (const auto& c : cases) {
        ixTest::NoGreenReflectance a, b;
        a.setKey(c.a);
        b.setKey(c.b);
        a.setFlag(true);  // the flag takes no part in comparisons
        EXPECT_EQ(a < b, c.less) << c.a << " < " << c.b;
        EXPECT_EQ(a == b, c.equal) << c.a << " == " << c.b;
    }
    ixTest::NoGreenReflectance source, assigned;
    EXPECT_EQ(source.getKey(), 0);
    EXPECT_FALSE(source.getFlag());
    source.setKey(-42);
    source.setFlag(true);
    ixTest::NoGreenReflectance copy(source);
    assigned = source;
    for (const ixTest::NoGreenReflectance* r : {&copy, &assigned}) {
        EXPECT_EQ(r->getKey(), -42);
        EXPECT_TRUE(r->getFlag());
    }
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

TEST_F(LightingTest, NullProbeRemovesTheProbeWithoutError) {
    ImageBasedLighting lighting;
    Irradiance irr;
    auto probe = setSky(lighting, 64, 32, &irr);
    ASSERT_FALSE(ixTest::isCleared(irr));
    ixUtil::Error error(1, "previous failure");
    lighting.setLightProbe(nullptr, error);
    EXPECT_FALSE(error.isError());
    EXPECT_EQ(error.getMessage(), "");
    EXPECT_FALSE(lighting.haveUsableLightProbe());
    EXPECT_EQ(lighting.getReflectionMap(), nullptr);
    EXPECT_EQ(lighting.getLightCoeffs(), nullptr);
    lighting.getIrradiance(irr, nullptr);
    EXPECT_TRUE(ixTest::isCleared(irr));
    EXPECT_EQ(probe->getRefCount(), 1);  // held only while installed
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

// Without a loadable matrix file nothing is derived and the cleared irradiance is returned;
// the next request tries again.
TEST_F(LightingTest, MissingMatrixFileGivesClearedIrradianceAndRetries) {
    ixImage::finalizeReflectance();
    ImageBasedLighting::setRotationMatrixFilename(
        (ixTest::shareDir() + "/no_such_rotation_matrices.txt").c_str());
    ImageBasedLighting lighting;
    auto probe = setSky(lighting, 64, 32);
    Irradiance irr;
    irr.green.m[0][0] = 9.0;
    lighting.getIrradiance(irr, nullptr);
    EXPECT_TRUE(ixTest::isCleared(irr));
    EXPECT_EQ(lighting.getLightCoeffs(), nullptr);
    EXPECT_TRUE(lighting.haveUsableLightProbe());

    useGeneratedMatrixFile();
    lighting.getIrradiance(irr, nullptr);
    EXPECT_FALSE(ixTest::isCleared(irr));
    EXPECT_NE(lighting.getLightCoeffs(), nullptr);
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

// The working image. Blur and resize: a latitude-longitude probe wider than 400 pixels is
// blurred (diameters 3, 5 and 6 below) before the bilinear shrink to 200 x 100, a cross is
// remapped; those steps are done here by hand. Energy preserving: remapFiltered, whatever the
// shape. The object's coefficients, matrices and nine irradiance coefficients must equal those
// of its working image; changing the filter discards what was derived, keeping it does not.
TEST_F(LightingTest, WorkingImageFollowsTheProbeShapeAndTheFilter) {
    using ixImage::WorkingProbeFilter;
    const struct {
        const char* name;
        int width;     // lat-long width, or the face edge of a cross
        int diameter;  // of the blur by hand; 0 none, -1 a cross
        WorkingProbeFilter filter;
    } cases[] = {{"lat-long 200", 200, 0, WorkingProbeFilter::kBlurResize},
                 {"lat-long 400", 400, 0, WorkingProbeFilter::kBlurResize},
                 {"lat-long 402", 402, 3, WorkingProbeFilter::kBlurResize},
                 {"lat-long 800", 800, 5, WorkingProbeFilter::kBlurResize},
                 {"lat-long 1024", 1024, 6, WorkingProbeFilter::kBlurResize},
                 {"cross 96", 96, -1, WorkingProbeFilter::kBlurResize},
                 {"lat-long 1024, filtered", 1024, 0, WorkingProbeFilter::kEnergyPreserving},
                 {"cross 96, filtered", 96, -1, WorkingProbeFilter::kEnergyPreserving}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto probe = c.diameter < 0
                         ? ixTest::makeCrossProbe(c.width, ixTest::skyRadiance)
                         : ixTest::makeLatLongProbe(c.width, c.width / 2, ixTest::skyRadiance);
        ImageBasedLighting lighting;  // the probe check first: it sets the wrap flags
        ixUtil::Error error;
        lighting.setLightProbe(probe.get(), error);
        ASSERT_TRUE(lighting.haveUsableLightProbe());
        lighting.setWorkingProbeFilter(c.filter);

        ix::Reference<ixImage::Float3Image> working;
        if (c.filter == WorkingProbeFilter::kEnergyPreserving) {
            working = ixImage::makeWorkingProbe(*lighting.getReflectionMap(), c.filter).image;
        } else if (c.diameter < 0) {
            working = new ixImage::Float3Image;
            working->setSize(200, 100);
            ix::Reference<EnvironmentMap> grid = ixImage::newEnvironmentMap(*working);
            ixImage::remap(*lighting.getReflectionMap(), *grid);
        } else {
            ix::Reference<ixImage::Image> source = probe.get();
            if (c.diameter > 0) {
                source = new ixImage::Float3Image;
                ixImage::imageBlur(*probe, *source, c.diameter, false, false);
            }
            working = static_cast<ixImage::Float3Image*>(ixImage::resize(*source, 200, 100, true));
        }
        ASSERT_TRUE(working);
        LightCoeffs expectedCoeffs(20);
        ixImage::computeLightCoeffs(*working, expectedCoeffs);
        ix::Reference<EnvironmentMap> workingMap = ixImage::newEnvironmentMap(*working);
        ixImage::IrradianceAlg alg;
        alg.accumulate(*workingMap);
        Irradiance expected, irr;
        alg.getIrradiance(expected);
        ixImage::FloatPixel3<float> expectedNine[9], nine[9];
        alg.getCoefficients(expectedNine);

        lighting.getIrradianceCoefficients(nine, nullptr);
        lighting.getIrradiance(irr, nullptr);
        ASSERT_NE(lighting.getLightCoeffs(), nullptr);
        for (int i = 0; i < 441; ++i) {
            ASSERT_EQ((*lighting.getLightCoeffs())[i].red, expectedCoeffs[i].red) << i;
            ASSERT_EQ((*lighting.getLightCoeffs())[i].blue, expectedCoeffs[i].blue) << i;
        }
        EXPECT_TRUE(ixTest::sameIrradiance(irr, expected));
        for (int k = 0; k < 9; ++k) EXPECT_EQ(nine[k].green, expectedNine[k].green) << k;

        lighting.setWorkingProbeFilter(c.filter);
        EXPECT_NE(lighting.getLightCoeffs(), nullptr);
        lighting.setWorkingProbeFilter(c.filter == WorkingProbeFilter::kBlurResize
                                           ? WorkingProbeFilter::kEnergyPreserving
                                           : WorkingProbeFilter::kBlurResize);
        EXPECT_EQ(lighting.getLightCoeffs(), nullptr);
        EXPECT_TRUE(lighting.haveUsableLightProbe());
    }
}

}  // namespace
