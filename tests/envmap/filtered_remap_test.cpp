// remapFiltered keeps constants, the solid-angle-weighted mean, and a one-pixel source's energy
// in the pixel that covers it. Solid angles: exact latitude bands, brute force over cube pixels.
#include "iximage/envmap/filtered_remap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "envmap_test_util.h"
#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/envmap/sphere_map.h"
#include "iximage/image/typed_image.h"

using ixImage::EnvironmentMap;
using ixImage::FloatImage;
using ixTest::kPi;

// 'L' lat-long of width size, 'C' vertical cross of face size, 'S' sphere map; black float image.
ix::Reference<EnvironmentMap> makeMap(char kind, int size) {
    ix::Reference<EnvironmentMap> map;
    int w = size, h = size;
    if (kind == 'L') map = new ixImage::LatLongMap(size, size / 2), h = size / 2;
    if (kind == 'C') map = new ixImage::CrossMap(size, false), w = 3 * size, h = 4 * size;
    if (kind == 'S') map = new ixImage::SphereMap(size);
    ixTest::attachImage(*map, w, h, 0.0f);
    return map;
}
FloatImage& pixels(EnvironmentMap& map) { return static_cast<FloatImage&>(*map.getImage()); }

// Exact solid angle of pixel row y of a latitude-longitude map of w x h.
double latLongPixelOmega(int y, int w, int h) {
    return (2 * kPi / w) *
           (std::sin(((y + 1.0) / h - 0.5) * kPi) - std::sin((double(y) / h - 0.5) * kPi));
}

// A constant comes out on every valid pixel (0 elsewhere); a smooth radiance keeps its weighted
// mean 1.1. Source pixels off the projection hold 7: they must give nothing.
TEST(RemapFiltered, ConstantsStayAndTheMeanIsKept) {
    const struct {
        char srcKind;
        int srcSize;
        char dstKind;
        int dstSize;
        double meanTolerance;  // coarse grids sample the radiance less well
    } cases[] = {{'L', 1024, 'L', 200, 2e-4}, {'L', 100, 'L', 200, 2e-4}, {'C', 64, 'L', 200, 5e-4},
                 {'C', 8, 'L', 200, 5e-3},    {'S', 128, 'L', 200, 2e-3}, {'L', 400, 'C', 32, 2e-3},
                 {'L', 64, 'C', 64, 5e-3},    {'C', 32, 'S', 64, 5e-3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.srcKind << c.srcSize << '>' << c.dstKind << c.dstSize);
        auto src = makeMap(c.srcKind, c.srcSize), dst = makeMap(c.dstKind, c.dstSize);
        FloatImage &S = pixels(*src), &D = pixels(*dst);
        for (bool smooth : {false, true}) {
            ixTest::forEachPixelCentre(
                S.getWidth(), S.getHeight(), [&](int x, int y, float u, float v) {
                    ixLinear::VectorFlt d;
                    S.at(x, y) = !src->coordToDir(u, v, d) ? 7.0f
                                 : smooth ? float(1.0 + 0.5 * d.z + 0.4 * d.x + 0.3 * d.y * d.y)
                                          : 1.0f;
                });
            ixImage::remapFiltered(*src, *dst);
            double sum = 0.0, total = 0.0;
            ixTest::forEachPixelCentre(
                D.getWidth(), D.getHeight(), [&](int x, int y, float u, float v) {
                    ixLinear::VectorFlt d;
                    float omega = 0.0f;
                    const bool valid = dst->coordToDir(u, v, d, omega, true);
                    ASSERT_TRUE(smooth || std::fabs(D.at(x, y) - (valid ? 1.0 : 0.0)) < 1e-5)
                        << x << ", " << y << ": " << D.at(x, y);
                    const double weight = dst->type == EnvironmentMap::kLatLong
                                              ? latLongPixelOmega(y, D.getWidth(), D.getHeight())
                                              : omega;
                    sum += weight * D.at(x, y), total += weight;
                });
            EXPECT_TRUE(!smooth || std::fabs(sum / total - 1.1) < c.meanTolerance) << sum / total;
        }
    }
}

// Brute-force solid angle of the cross pixel around (u, v): 64 x 64 midpoint samples of
// ds dt / (1 + s^2 + t^2)^(3/2) over the pixel's face square.
double crossPixelOmega(int face, float u, float v) {
    const ixImage::CrossMap cross(face, false);
    int index;
    float fu, fv;
    cross.crossToCube(u, v, index, fu, fv);
    const double s0 = 2.0 * std::floor(fu * face) / face - 1.0,
                 t0 = 2.0 * std::floor(fv * face) / face - 1.0, step = 2.0 / face / 64;
    double omega = 0.0;
    for (int j = 0; j < 64; ++j)
        for (int i = 0; i < 64; ++i) {
            const double s = s0 + (i + 0.5) * step, t = t0 + (j + 0.5) * step;
            omega += step * step / std::pow(1.0 + s * s + t * t, 1.5);
        }
    return omega;
}

// A source pixel of energy 1 (radiance 1 / its solid angle) chosen inside working pixel
// (x0, y0) of the 200 x 100 grid: the total energy stays 1 and that pixel receives it.
TEST(RemapFiltered, OnePixelSourceLandsWithItsWholeEnergy) {
    const struct {
        char kind;
        int size;
        int x0, y0;
        double inPixel;  // least share of the energy in (x0, y0)
    } cases[] = {{'L', 256, 25, 75, 1.0},  {'L', 1000, 37, 63, 1.0}, {'L', 2048, 150, 97, 1.0},
                 {'L', 4096, 37, 63, 1.0}, {'C', 64, 37, 63, 0.8},   {'C', 512, 150, 22, 0.999}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.kind << c.size << ' ' << c.x0 << ',' << c.y0);
        auto src = makeMap(c.kind, c.size), dst = makeMap('L', 200);
        FloatImage& S = pixels(*src);
        const int w = S.getWidth(), h = S.getHeight();
        int sx = 0, sy = 0;
        double omega = 0.0;
        if (c.kind == 'L') {  // the first source pixel whose extent lies inside (x0, y0)
            sx = int(std::ceil(c.x0 * w / 200.0)), sy = int(std::ceil(c.y0 * h / 100.0));
            ASSERT_TRUE(sx + 1 <= (c.x0 + 1) * w / 200.0 && sy + 1 <= (c.y0 + 1) * h / 100.0);
            omega = latLongPixelOmega(sy, w, h);
        } else {  // the cross pixel that sees the working pixel's centre
            ixLinear::VectorFlt d;
            float u, v;
            dst->coordToDir((c.x0 + 0.5f) / 200, (c.y0 + 0.5f) / 100, d);
            src->dirToCoord(d, u, v);
            sx = int(u * w), sy = int(v * h);
            omega = crossPixelOmega(c.size, (sx + 0.5f) / w, (sy + 0.5f) / h);
        }
        S.at(sx, sy) = float(1.0 / omega);
        ixImage::remapFiltered(*src, *dst);
        const FloatImage& D = pixels(*dst);
        double total = 0.0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x) total += D.at(x, y) * latLongPixelOmega(y, 200, 100);
        EXPECT_NEAR(total, 1.0, 1e-4);
        EXPECT_GE(D.at(c.x0, c.y0) * latLongPixelOmega(c.y0, 200, 100), c.inPixel - 1e-4);
    }
    // Into a cross the energy stays whole too, up to the second-order difference between a
    // pixel's footprint and its exact solid angle.
    for (const int face : {16, 64}) {
        auto src = makeMap('L', 512), dst = makeMap('C', face);
        for (const int x : {300, 37}) {
            pixels(*src).at(x, 90) = float(1.0 / latLongPixelOmega(90, 512, 256));
            ixImage::remapFiltered(*src, *dst);
            pixels(*src).at(x, 90) = 0.0f;
            const FloatImage& D = pixels(*dst);
            double total = 0.0;
            for (int y = 0; y < D.getHeight(); ++y)
                for (int x = 0; x < D.getWidth(); ++x)
                    if (D.at(x, y) != 0.0f)
                        total += D.at(x, y) * crossPixelOmega(face, (x + 0.5f) / D.getWidth(),
                                                              (y + 0.5f) / D.getHeight());
            EXPECT_NEAR(total, 1.0, 2e-3) << "face " << face << ", source column " << x;
        }
    }
    // A smooth radiance arrives in place: every cross pixel holds its footprint's mean, within
    // 3e-3 of the value at its centre (away from the poles, where footprints that wind around
    // a pole are taken as boxes).
    auto radiance = [](const ixLinear::VectorFlt& d) {
        return 1 + 0.5 * d.z + 0.4 * d.x + 0.3 * d.y * d.y;
    };
    auto src = makeMap('L', 512), dst = makeMap('C', 32);
    FloatImage &S = pixels(*src), &D = pixels(*dst);
    ixTest::forEachPixelCentre(512, 256, [&](int x, int y, float u, float v) {
        ixLinear::VectorFlt d;
        src->coordToDir(u, v, d);
        S.at(x, y) = float(radiance(d));
    });
    ixImage::remapFiltered(*src, *dst);
    double worst = 0.0;
    ixTest::forEachPixelCentre(96, 128, [&](int x, int y, float u, float v) {
        ixLinear::VectorFlt d;
        if (dst->coordToDir(u, v, d) && std::fabs(d.z) < 0.99f)
            worst = std::max(worst, std::fabs(D.at(x, y) - radiance(d)));
    });
    EXPECT_LT(worst, 3e-3);
}
