// Recognition of a map's projection from its image's shape, and point-sampled remapping: a
// smooth environment survives a trip through another projection, a constant stays constant,
// pixels outside the destination's projection become zero, unsupported inputs change nothing.
#include "iximage/envmap/recognize_remap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>

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
        {256, 192, nullptr, false, true},
        {401, 200, nullptr, false, true},
        {0, 0, nullptr, false, true},
        {5, 7, nullptr, false, true},
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
        EXPECT_TRUE(map->getRefCount() == 1 && map->getImage() == image.get());
        ASSERT_EQ(map->getType(), c.expected->getType());
        for (float u : {0.3f, 0.45f})
            for (float v : {0.2f, 0.6f}) {
                VectorFlt got(0, 0, 0), want(0, 0, 0);
                float gotOmega = -1, wantOmega = -1;
                EXPECT_EQ(map->coordToDir(u, v, got, gotOmega, true),
                          c.expected->coordToDir(u, v, want, wantOmega, true));
                EXPECT_TRUE(got.x == want.x && got.y == want.y && got.z == want.z &&
                            gotOmega == wantOmega)
                    << u << ", " << v << ": " << got << " " << gotOmega << " vs " << want << " "
                    << wantOmega;
            }
    }
}

// A smooth environment, different per channel and bounded away from 0 so relative errors mean
// something.
FloatPixel3<float> radiance(const VectorFlt& d) {
    return FloatPixel3<float>(2 + d.x + 2 * d.z * d.z, 2 - d.y, 1.5f + d.x * d.z);
}

// Gives map a w x h float RGB image holding the environment at each pixel centre (zero outside
// the projection), or, with paint false, a marker value everywhere.
template <class Map>
ix::Reference<Map> withImage(Map* map, int w, int h, bool paint) {
    ix::Reference<Map> held(map);
    ix::Reference<Float3Image> image(new Float3Image());
    image->setSize(w, h);
    ixTest::forEachPixelCentre(w, h, [&](int x, int y, float u, float v) {
        VectorFlt dir;
        image->at(x, y) = !paint                       ? FloatPixel3<float>(-7, -7, -7)
                          : map->coordToDir(u, v, dir) ? radiance(dir)
                                                       : FloatPixel3<float>();
    });
    held->setImage(image.get());
    return held;
}

// Worst and mean relative error of map's valid pixels against the environment (leaving out
// those skip names); invalid pixels must be zero.
template <class Skip>
std::pair<double, double> errorAgainstEnvironment(const EnvironmentMap& map, Skip skip) {
    const Float3Image& pixels = static_cast<const Float3Image&>(*map.image);
    double worst = 0, sum = 0;
    int count = 0;
    ixTest::forEachPixelCentre(
        pixels.getWidth(), pixels.getHeight(), [&](int x, int y, float u, float v) {
            VectorFlt dir;
            const FloatPixel3<float> p = pixels.at(x, y);
            if (!map.coordToDir(u, v, dir)) {
                EXPECT_TRUE(p.red == 0 && p.green == 0 && p.blue == 0)
                    << "outside pixel " << x << ", " << y;
                return;
            }
            if (skip(dir)) return;
            const FloatPixel3<float> want = radiance(dir);
            const double e = std::fmax(std::fabs(p.red - want.red) / want.red,
                                       std::fmax(std::fabs(p.green - want.green) / want.green,
                                                 std::fabs(p.blue - want.blue) / want.blue));
            worst = std::fmax(worst, e), sum += e, ++count;
        });
    EXPECT_GT(count, pixels.getWidth() * pixels.getHeight() / 3);
    return {worst, sum / count};
}

auto keepAll = [](const VectorFlt&) { return false; };

TEST(Remap, LatLongToCrossAndBackKeepsASmoothEnvironment) {
    const int N = 128;
    auto latLong = withImage(new LatLongMap(512, 256), 512, 256, true);
    auto cross = withImage(new CrossMap(N, false), 3 * N, 4 * N, false);
    remap(*latLong, *cross);
    const auto toCross = errorAgainstEnvironment(*cross, keepAll);
    EXPECT_TRUE(toCross.first < 0.02 && toCross.second < 0.005);

    auto back = withImage(new LatLongMap(512, 256), 512, 256, false);
    remap(*cross, *back);
    // Within two pixels of a face edge the bilinear taps reach into the neighbouring cell.
    const auto roundTrip = errorAgainstEnvironment(*back, [&](const VectorFlt& dir) {
        float u, v, fu, fv;
        int face;
        cross->dirToCoord(dir, u, v);
        cross->crossToCube(u, v, face, fu, fv);
        return std::fmin(std::fmin(fu, 1 - fu), std::fmin(fv, 1 - fv)) < 2.0 / N;
    });
    EXPECT_TRUE(roundTrip.first < 0.03 && roundTrip.second < 0.01);
}

// Two resamplings, each reading half a source pixel off the centre (the sampler does not
// recentre): about 0.7 degrees per step at these sizes. Around +Y the disc's rim is sampled
// across the zeroed corners: left out.
TEST(Remap, LatLongToSphereZeroesTheCornersAndBack) {
    auto latLong = withImage(new LatLongMap(256, 128), 256, 128, true);
    auto sphere = withImage(new SphereMap(256), 256, 256, false);
    remap(*latLong, *sphere);
    EXPECT_LT(errorAgainstEnvironment(*sphere, keepAll).first, 0.03);
    auto back = withImage(new LatLongMap(128, 64), 128, 64, false);
    remap(*sphere, *back);
    const auto roundTrip =
        errorAgainstEnvironment(*back, [](const VectorFlt& d) { return d.y > 0.9f; });
    EXPECT_TRUE(roundTrip.first < 0.05 && roundTrip.second < 0.015);
}

// A constant source gives the constant on every valid destination pixel and +0 elsewhere. The
// destination starts as all-ones bytes (NaN in every float type), so a pixel remap did not
// write fails both checks.
template <class T, class C>
void checkConstantRemap(const T& constant, double relTol) {
    ix::Reference<LatLongMap> src(new LatLongMap(32, 16));
    ix::Reference<CrossMap> dst(new CrossMap(4, false));
    ix::Reference<TypedImage<T>> srcImage(new TypedImage<T>()), dstImage(new TypedImage<T>());
    srcImage->setSize(32, 16);
    std::fill(srcImage->data(), srcImage->data() + 32 * 16, constant);
    dstImage->setSize(12, 16);
    std::memset(static_cast<void*>(dstImage->data()), 0xFF, sizeof(T) * 12 * 16);
    src->setImage(srcImage.get());
    dst->setImage(dstImage.get());
    remap(*src, *dst);
    const auto want = ixTest::componentsOf<T, C>(constant);
    ixTest::forEachPixelCentre(12, 16, [&](int x, int y, float u, float v) {
        const auto got = ixTest::componentsOf<T, C>(dstImage->at(x, y));
        for (int c = 0; c < ixTest::kCount<T, C>; ++c) {
            if (dst->isValidCoord(u, v)) {
                EXPECT_NEAR(got[c], want[c], relTol * want[c]) << x << ", " << y << " #" << c;
            } else {
                EXPECT_TRUE(got[c] == 0.0f && !std::signbit(got[c])) << x << ", " << y << " #" << c;
            }
        }
    });
}

TEST(Remap, ConstantSourceForEachSupportedType) {
    checkConstantRemap<float, float>(3.25f, 1e-6);
    checkConstantRemap<FloatPixel3<float>, float>(FloatPixel3<float>(1, 2.5f, 0.125f), 1e-6);
    checkConstantRemap<FloatPixel4<float>, float>(FloatPixel4<float>(1, 2.5f, 0.125f, 0.75f), 1e-6);
    // The half sampler rounds every weight and partial sum to half: a few half ulps.
    checkConstantRemap<FloatPixel4<half>, half>(FloatPixel4<half>(0.75f, 2.0f, 0.5f, 1.0f), 3e-3);
}

// Byte4 pixels, mixed pixel types, and a source or destination without an image.
TEST(Remap, UnsupportedInputsLeaveTheDestinationAlone) {
    ix::Reference<LatLongMap> byteSrc(new LatLongMap(8, 4)), empty(new LatLongMap(8, 4));
    ix::Reference<SphereMap> byteDst(new SphereMap(4)), dst(new SphereMap(4));
    ix::Reference<Byte4Image> s(new Byte4Image()), d(new Byte4Image());
    s->setSize(8, 4);
    d->setSize(4, 4);
    d->at(2, 2).green = 55;
    byteSrc->setImage(s.get());
    byteDst->setImage(d.get());
    remap(*byteSrc, *byteDst);
    EXPECT_EQ(d->at(2, 2).green, 55);

    auto src = withImage(new LatLongMap(8, 4), 8, 4, true);
    remap(*src, *dst);  // no destination image: nothing to crash on
    ix::Reference<FloatImage> f(new FloatImage());
    f->setSize(4, 4);
    f->at(2, 2) = 5.0f;
    dst->setImage(f.get());
    remap(*src, *dst);
    remap(*empty, *dst);
    EXPECT_EQ(f->at(2, 2), 5.0f);
}

}  // namespace
