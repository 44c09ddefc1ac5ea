// Recognition of a map's projection from its image's shape, and remapping between projections:
// a smooth analytic environment survives a trip through another projection, pixels outside the
// destination's projection become zero, and unsupported inputs leave the destination alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <type_traits>

#include "envmap_test_util.h"
#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/envmap/recognize_remap.h"
#include "iximage/envmap/sphere_map.h"
#include "iximage/image/typed_image.h"

namespace {

using ixImage::CrossMap;
using ixImage::EnvironmentMap;
using ixImage::Float3Image;
using ixImage::FloatPixel3;
using ixImage::LatLongMap;
using ixImage::SphereMap;
using ixLinear::VectorFlt;
using ixTest::kPi;

float omegaFactorOf(const EnvironmentMap& map) {
    switch (map.type) {
        case EnvironmentMap::kSphere: return static_cast<const SphereMap&>(map).getOmegaFactor();
        case EnvironmentMap::kLatLong: return static_cast<const LatLongMap&>(map).getOmegaFactor();
        case EnvironmentMap::kCross: return static_cast<const CrossMap&>(map).getOmegaFactor();
    }
    return 0;
}

TEST(NewEnvironmentMap, ShapesTable) {
    constexpr int kNull = -1;
    struct ShapeCase {
        int w, h, type;      // type: EnvironmentMap::Type or kNull
        double omegaFactor;  // of the recognised map
        bool wrapU, wrapV;
    };
    const double sq = 4 * kPi * kPi;  // (2 pi)^2
    const ShapeCase cases[] = {
        {512, 512, EnvironmentMap::kSphere, sq / (512.0 * 512), true, true},
        {400, 200, EnvironmentMap::kLatLong, (2 * kPi / 400) * (kPi / 200), true, false},
        {192, 256, EnvironmentMap::kCross, sq / (64.0 * 64) / 12, true, true},
        {300, 400, EnvironmentMap::kCross, sq / (100.0 * 100) / 12, true, true},
        {300, 404, kNull, 0, false, false},
        {256, 192, kNull, 0, false, false},
        {401, 200, kNull, 0, false, false},
        {0, 0, kNull, 0, false, false},
        {5, 7, kNull, 0, false, false},
    };
    for (const ShapeCase& c : cases) {
        ix::Reference<ixImage::Image> image(ixImage::imageCreateByType(ixImage::kPixelFloat3));
        image->setSize(c.w, c.h);
        image->setWrap(false, true);  // a pattern no recognised shape sets
        ix::Reference<EnvironmentMap> map(ixImage::newEnvironmentMap(*image));
        if (c.type == kNull) {
            EXPECT_FALSE(map) << c.w << "x" << c.h;
            EXPECT_TRUE(!image->getWrapHorizontal() && image->getWrapVertical())
                << c.w << "x" << c.h;
            EXPECT_EQ(image->getRefCount(), 1) << c.w << "x" << c.h;
            continue;
        }
        ASSERT_TRUE(map) << c.w << "x" << c.h;
        EXPECT_EQ(map->getRefCount(), 1);
        EXPECT_EQ(map->getType(), c.type) << c.w << "x" << c.h;
        EXPECT_EQ(map->getImage(), image.get());
        EXPECT_EQ(image->getRefCount(), 2) << "the map holds one reference";
        EXPECT_EQ(image->getWrapHorizontal(), c.wrapU) << c.w << "x" << c.h;
        EXPECT_EQ(image->getWrapVertical(), c.wrapV) << c.w << "x" << c.h;
        if (c.type == EnvironmentMap::kCross) {
            EXPECT_FALSE(static_cast<CrossMap&>(*map).isHorizontal());
        }
        EXPECT_NEAR(omegaFactorOf(*map), c.omegaFactor, 2e-7 * c.omegaFactor) << c.w << "x" << c.h;
    }
}

// A smooth environment, different per channel and bounded away from 0 so relative errors mean
// something: red 2 + x + 2 z^2, green 2 - y, blue 1.5 + x z.
FloatPixel3<float> radiance(const VectorFlt& d) {
    return FloatPixel3<float>(2 + d.x + 2 * d.z * d.z, 2 - d.y, 1.5f + d.x * d.z);
}

double relativeError(const FloatPixel3<float>& got, const FloatPixel3<float>& want) {
    return std::fmax(std::fabs(got.red - want.red) / want.red,
                     std::fmax(std::fabs(got.green - want.green) / want.green,
                               std::fabs(got.blue - want.blue) / want.blue));
}

// Gives the map a w x h float RGB image holding the environment at each pixel centre (zero
// outside the projection), or, with paint false, a marker value everywhere.
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

const Float3Image& pixelsOf(const EnvironmentMap& map) {
    return static_cast<const Float3Image&>(*map.image);
}

struct ErrorStats {
    double worst = 0, sum = 0;
    int count = 0;
    double mean() const { return count ? sum / count : 0; }
};

// Compares every valid destination pixel with the environment (those for which skip says no),
// and checks the invalid ones are zero.
template <class Skip>
ErrorStats compareWithEnvironment(const EnvironmentMap& map, Skip skip) {
    const Float3Image& pixels = pixelsOf(map);
    ErrorStats stats;
    ixTest::forEachPixelCentre(pixels.getWidth(), pixels.getHeight(),
                               [&](int x, int y, float u, float v) {
                                   VectorFlt dir;
                                   const FloatPixel3<float>& p = pixels.at(x, y);
                                   if (!map.coordToDir(u, v, dir)) {
                                       EXPECT_TRUE(p.red == 0 && p.green == 0 && p.blue == 0)
                                           << "outside pixel " << x << ", " << y;
                                   } else if (!skip(dir)) {
                                       const double e = relativeError(p, radiance(dir));
                                       stats.worst = std::fmax(stats.worst, e);
                                       stats.sum += e;
                                       ++stats.count;
                                   }
                               });
    return stats;
}

TEST(Remap, LatLongToCrossAndBackKeepsASmoothEnvironment) {
    const int N = 128;
    auto latLong = withImage(new LatLongMap(512, 256), 512, 256, true);
    auto cross = withImage(new CrossMap(N, false), 3 * N, 4 * N, false);
    ixImage::remap(*latLong, *cross);
    const ErrorStats toCross =
        compareWithEnvironment(*cross, [](const VectorFlt&) { return false; });

    auto back = withImage(new LatLongMap(512, 256), 512, 256, false);
    ixImage::remap(*cross, *back);
    // Within two pixels of a face edge the bilinear taps reach into the neighbouring cell.
    const ErrorStats roundTrip = compareWithEnvironment(*back, [&](const VectorFlt& dir) {
        float u, v, fu, fv;
        int face;
        cross->dirToCoord(dir, u, v);
        cross->crossToCube(u, v, face, fu, fv);
        return std::fmin(std::fmin(fu, 1 - fu), std::fmin(fv, 1 - fv)) < 2.0 / N;
    });
    EXPECT_EQ(toCross.count, 6 * N * N);
    EXPECT_GT(roundTrip.count, 512 * 256 * 3 / 4);
    EXPECT_LT(toCross.worst, 0.02);
    EXPECT_LT(toCross.mean(), 0.005);
    EXPECT_LT(roundTrip.worst, 0.03);
    EXPECT_LT(roundTrip.mean(), 0.01);
}

TEST(Remap, LatLongToSphereZeroesTheCornersAndBack) {
    auto latLong = withImage(new LatLongMap(256, 128), 256, 128, true);
    auto sphere = withImage(new SphereMap(256), 256, 256, false);
    ixImage::remap(*latLong, *sphere);
    const ErrorStats toSphere =
        compareWithEnvironment(*sphere, [](const VectorFlt&) { return false; });
    EXPECT_LT(toSphere.worst, 0.03);
    EXPECT_EQ(pixelsOf(*sphere).at(0, 0).red, 0.0f);

    auto back = withImage(new LatLongMap(128, 64), 128, 64, false);
    ixImage::remap(*sphere, *back);
    // Around +Y the disc's rim is sampled across the zeroed corners: left out.
    const ErrorStats roundTrip =
        compareWithEnvironment(*back, [](const VectorFlt& d) { return d.y > 0.9f; });
    // Two resamplings, each reading half a source pixel off the centre (the sampler does not
    // recentre): about 0.7 degrees per step at these sizes.
    EXPECT_LT(roundTrip.worst, 0.05);
    EXPECT_LT(roundTrip.mean(), 0.015);
}

// Component c of a pixel, as a float.
float componentOf(float p, int) { return p; }
template <class P>
float componentOf(const P& p, int c) {
    if constexpr (!std::is_same_v<P, FloatPixel3<float>>) {
        if (c == 3) return float(p.alpha);
    }
    return float(c == 0 ? p.red : c == 1 ? p.green : p.blue);
}

// A constant source gives the constant on every valid destination pixel and zero elsewhere
// (half zero being the all-zero bit pattern).
template <class T>
void checkConstantRemap(const T& constant, int components, double relTol, const char* name) {
    ix::Reference<LatLongMap> src(new LatLongMap(32, 16));
    ix::Reference<ixImage::TypedImage<T>> srcImage(new ixImage::TypedImage<T>());
    srcImage->setSize(32, 16);
    for (int i = 0; i < 32 * 16; ++i) srcImage->data()[i] = constant;
    src->setImage(srcImage.get());
    ix::Reference<CrossMap> dst(new CrossMap(4, false));
    ix::Reference<ixImage::TypedImage<T>> dstImage(new ixImage::TypedImage<T>());
    dstImage->setSize(12, 16);
    // All-ones bytes (NaN in every float type): a pixel remap did not write fails both checks.
    std::memset(static_cast<void*>(dstImage->data()), 0xFF, sizeof(T) * 12 * 16);
    dst->setImage(dstImage.get());
    ixImage::remap(*src, *dst);

    ixTest::forEachPixelCentre(12, 16, [&](int x, int y, float u, float v) {
        const bool valid = dst->isValidCoord(u, v);
        for (int c = 0; c < components; ++c) {
            const float got = componentOf(dstImage->at(x, y), c), want = componentOf(constant, c);
            if (valid) {
                EXPECT_NEAR(got, want, relTol * std::fabs(want))
                    << name << " " << x << ", " << y << " #" << c;
            } else {
                EXPECT_EQ(got, 0.0f) << name << " empty cell " << x << ", " << y << " #" << c;
                EXPECT_FALSE(std::signbit(got)) << name << " zero must be +0";
            }
        }
    });
}

TEST(Remap, ConstantSourceForEachSupportedType) {
    checkConstantRemap(3.25f, 1, 1e-6, "float");
    checkConstantRemap(FloatPixel3<float>(1, 2.5f, 0.125f), 3, 1e-6, "float3");
    checkConstantRemap(ixImage::FloatPixel4<float>(1, 2.5f, 0.125f, 0.75f), 4, 1e-6, "float4");
    // The half sampler rounds every weight and partial sum to half: a few half ulps.
    checkConstantRemap(ixImage::FloatPixel4<ixImage::half>(0.75f, 2.0f, 0.5f, 1.0f), 4, 3e-3,
                       "half4");
}

TEST(Remap, UnsupportedInputsLeaveTheDestinationAlone) {
    // Byte4 source and destination.
    ix::Reference<LatLongMap> byteSrc(new LatLongMap(8, 4));
    ix::Reference<ixImage::Byte4Image> s(new ixImage::Byte4Image());
    s->setSize(8, 4);
    byteSrc->setImage(s.get());
    ix::Reference<SphereMap> byteDst(new SphereMap(4));
    ix::Reference<ixImage::Byte4Image> d(new ixImage::Byte4Image());
    d->setSize(4, 4);
    d->at(2, 2).green = 55;
    byteDst->setImage(d.get());
    ixImage::remap(*byteSrc, *byteDst);
    EXPECT_EQ(d->at(2, 2).green, 55);

    // A float RGB source into a destination without an image, then into a float one, then a
    // source without an image.
    auto src = withImage(new LatLongMap(8, 4), 8, 4, true);
    ix::Reference<SphereMap> dst(new SphereMap(4));
    ixImage::remap(*src, *dst);
    ix::Reference<ixImage::FloatImage> f(new ixImage::FloatImage());
    f->setSize(4, 4);
    f->at(2, 2) = 5.0f;
    dst->setImage(f.get());
    ixImage::remap(*src, *dst);
    ix::Reference<LatLongMap> empty(new LatLongMap(8, 4));
    ixImage::remap(*empty, *dst);
    EXPECT_EQ(f->at(2, 2), 5.0f);
}

}  // namespace
