// Recognition of a map's projection from its image's shape, and point-sampled remapping.
#include "iximage/envmap/recognize_remap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "envmap_test_util.h"
#include "image/random_image.h"
#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/envmap/sphere_map.h"

namespace {

using namespace ixImage;
using ixLinear::VectorFlt;

// A recognised map behaves like the one built by hand (same projection and size, so the same
// directions and solid angles), sets the image's wrap flags and holds one reference to it; an
// unrecognised shape leaves the image as it was.
TEST(NewEnvironmentMap, ShapesTable) {
    const struct {
        int w, h;
        ix::Reference<EnvironmentMap> expected;  // null: not recognised
        bool wrapU, wrapV;
    } cases[] = {
        {512, 512, new SphereMap(512), true, true},
        {400, 200, new LatLongMap(400, 200), true, false},
        {192, 256, new CrossMap(64, false), true, true},
        {300, 400, new CrossMap(100, false), true, true},
        {300, 404, nullptr, false, true},
        {256, 192, nullptr, false, true},  // a horizontal cross
        {401, 200, nullptr, false, true},
        {0, 0, nullptr, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h);
        ix::Reference<Image> image(new Float3Image());
        image->setSize(c.w, c.h);
        image->setWrap(false, true);  // a pattern no recognised shape sets
        ix::Reference<EnvironmentMap> map(newEnvironmentMap(*image));
        EXPECT_TRUE(image->getWrapHorizontal() == c.wrapU && image->getWrapVertical() == c.wrapV);
        EXPECT_EQ(image->getRefCount(), c.expected ? 2 : 1);
        ASSERT_EQ(bool(map), bool(c.expected));
        if (!map) continue;
        ASSERT_TRUE(map->getType() == c.expected->getType() && map->getImage() == image.get());
        for (float u : {0.3f, 0.45f})
            for (float v : {0.2f, 0.6f}) {
                VectorFlt got(0, 0, 0), want(0, 0, 0);
                float gotOmega = -1, wantOmega = -1;
                EXPECT_EQ(map->coordToDir(u, v, got, gotOmega, true),
                          c.expected->coordToDir(u, v, want, wantOmega, true));
                EXPECT_TRUE(got.x == want.x && got.y == want.y && got.z == want.z &&
                            gotOmega == wantOmega)
                    << u << ", " << v << ": " << got << " vs " << want;
            }
    }
}

// A smooth environment, bounded away from 0 so relative errors mean something.
float radiance(const VectorFlt& d) { return 3 + d.x - d.y + 2 * d.z * d.z + d.x * d.z; }

// Checks the worst and mean relative error of map's valid pixels against the environment,
// leaving out the directions skip names; invalid pixels must be zero.
template <class Skip>
void compareWithEnvironment(const EnvironmentMap& map, Skip skip, double worstMax, double meanMax) {
    const FloatImage& pixels = static_cast<const FloatImage&>(*map.image);
    double worst = 0, sum = 0;
    int count = 0;
    ixTest::forEachPixelCentre(
        pixels.getWidth(), pixels.getHeight(), [&](int x, int y, float u, float v) {
            VectorFlt dir;
            if (!map.coordToDir(u, v, dir)) {
                EXPECT_EQ(pixels.at(x, y), 0.0f) << x << ", " << y;
            } else if (!skip(dir)) {
                const double e = std::fabs(pixels.at(x, y) / radiance(dir) - 1);
                worst = std::fmax(worst, e), sum += e, ++count;
            }
        });
    EXPECT_GT(count, pixels.getWidth() * pixels.getHeight() / 3);
    EXPECT_TRUE(worst < worstMax && sum / count < meanMax)
        << "type " << map.type << ": worst " << worst << ", mean " << sum / count;
}

// Lat-long to another projection and back to lat-long. Within two pixels of a cube-face edge
// the bilinear taps reach into the neighbouring cell; around +Y the disc's rim is sampled across
// the sphere map's zeroed corners: both left out of the trip back. The sphere trip reads half a
// source pixel off the centre twice (the sampler does not recentre): about 0.7 degrees a step.
TEST(Remap, SmoothEnvironmentSurvivesATripThroughAnotherProjection) {
    const CrossMap cross(128, false);
    auto nearFaceEdge = [&cross](const VectorFlt& dir) {
        float u, v, fu, fv;
        int face;
        cross.dirToCoord(dir, u, v);
        cross.crossToCube(u, v, face, fu, fv);
        return std::fmin(std::fmin(fu, 1 - fu), std::fmin(fv, 1 - fv)) < 2.0 / 128;
    };
    auto none = [](const VectorFlt&) { return false; };
    for (bool viaCross : {true, false}) {
        const int srcW = viaCross ? 512 : 256, backW = viaCross ? 512 : 128;
        ix::Reference<EnvironmentMap> src(new LatLongMap(srcW, srcW / 2)),
            back(new LatLongMap(backW, backW / 2)),
            middle(viaCross ? static_cast<EnvironmentMap*>(new CrossMap(cross))
                            : new SphereMap(256));
        FloatImage& source = ixTest::attachImage(*src, srcW, srcW / 2, 0.0f);
        ixTest::forEachPixelCentre(srcW, srcW / 2, [&](int x, int y, float u, float v) {
            VectorFlt dir;
            src->coordToDir(u, v, dir);
            source.at(x, y) = radiance(dir);
        });
        ixTest::attachImage(*middle, viaCross ? 384 : 256, viaCross ? 512 : 256, -7.0f);
        ixTest::attachImage(*back, backW, backW / 2, -7.0f);
        remap(*src, *middle);
        remap(*middle, *back);
        if (viaCross) {
            compareWithEnvironment(*middle, none, 0.02, 0.005);
            compareWithEnvironment(*back, nearFaceEdge, 0.03, 0.01);
        } else {
            compareWithEnvironment(*middle, none, 0.03, 0.01);
            compareWithEnvironment(
                *back, [](const VectorFlt& d) { return d.y > 0.9f; }, 0.05, 0.015);
        }
    }
}

// A constant source gives the constant on every valid destination pixel and +0 elsewhere. The
// destination starts as all-ones bytes (NaN in every float type), so a pixel remap did not
// write fails both checks. The half sampler rounds every weight and partial sum: a few ulps.
template <class T, class C>
void checkConstantRemap(const T& constant, double relTol) {
    ix::Reference<EnvironmentMap> src(new LatLongMap(32, 16)), dst(new CrossMap(4, false));
    ixTest::attachImage(*src, 32, 16, constant);
    TypedImage<T>& out = ixTest::attachImage(*dst, 12, 16, constant);
    std::memset(static_cast<void*>(out.data()), 0xFF, sizeof(T) * 12 * 16);
    remap(*src, *dst);
    const auto want = ixTest::componentsOf<T, C>(constant);
    ixTest::forEachPixelCentre(12, 16, [&](int x, int y, float u, float v) {
        const auto got = ixTest::componentsOf<T, C>(out.at(x, y));
        for (int c = 0; c < ixTest::kCount<T, C>; ++c)
            EXPECT_TRUE(dst->isValidCoord(u, v) ? std::fabs(got[c] - want[c]) <= relTol * want[c]
                                                : got[c] == 0.0f && !std::signbit(got[c]))
                << x << ", " << y << " #" << c << ": " << got[c];
    });
}

TEST(Remap, ConstantSourceForEachSupportedType) {
    checkConstantRemap<float, float>(3.25f, 1e-6);
    checkConstantRemap<FloatPixel3<float>, float>(FloatPixel3<float>(1, 2.5f, 0.125f), 1e-6);
    checkConstantRemap<FloatPixel4<float>, float>(FloatPixel4<float>(1, 2.5f, 0.125f, 0.75f), 1e-6);
    checkConstantRemap<FloatPixel4<half>, half>(FloatPixel4<half>(0.75f, 2.0f, 0.5f, 1.0f), 3e-3);
}

// Byte4 pixels, a destination of another type, and a source or destination without an image.
TEST(Remap, UnsupportedInputsLeaveTheDestinationAlone) {
    ix::Reference<EnvironmentMap> bytes(new LatLongMap(8, 4)), floats(new LatLongMap(8, 4)),
        empty(new LatLongMap(8, 4)), dst(new SphereMap(4));
    ixTest::attachImage(*bytes, 8, 4, Byte4(1, 2, 3, 4));
    ixTest::attachImage(*floats, 8, 4, FloatPixel3<float>(1, 2, 3));
    remap(*floats, *dst);  // no destination image: nothing to crash on
    Byte4Image& byteOut = ixTest::attachImage(*dst, 4, 4, Byte4(9, 9, 9, 9));
    remap(*bytes, *dst);
    remap(*floats, *dst);
    EXPECT_EQ(byteOut.at(2, 2), Byte4(9, 9, 9, 9));
    FloatImage& floatOut = ixTest::attachImage(*dst, 4, 4, 5.0f);
    remap(*floats, *dst);
    remap(*empty, *dst);
    EXPECT_EQ(floatOut.at(2, 2), 5.0f);
}

}  // namespace
