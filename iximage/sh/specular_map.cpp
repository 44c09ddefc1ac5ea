#include "iximage/sh/specular_map.h"

#include <algorithm>
#include <cmath>

#include "iximage/interfaces/constants.h"
#include "iximage/sh/detail/sh_tables.h"

namespace ixImage {

namespace {

constexpr int kViewBands = 10;
constexpr int kViewCount = (kViewBands + 1) * (kViewBands + 1);

}  // namespace

void computeSpecularMap(const ShrmImage& shrm, const double* direction, int order, double scale,
                        Float3Image& result) {
    if (!direction) return;
    const int W = shrm.getWidth();
    const int H = shrm.getHeight();
    result.setSize(W, H);
    if (W < 1 || H < 1 || !shrm.data() || !result.data()) return;
    order = std::min(order, kViewBands);

    // Polar angle from the z component alone, azimuth in [0, 2 pi).
    const double pi = kPi;
    const double twoPi = kTwoPi;
    const double z = std::max(-1.0, std::min(1.0, direction[2]));
    const double theta = std::acos(z);
    double phi = std::atan2(direction[1], direction[0]);
    if (phi < 0.0) phi += twoPi;

    // Fractional grid indices of that direction; the caps keep the linear blend of the table
    // lookups inside the grids (the last polar sample is 0.99 pi, the last azimuth 1.99 pi),
    // and for a 200 x 100 map they are the map's own limits H - 1.0001 and W - 1.0001.
    auto gridIndex = [](double value, double limit) {
        if (value < 0.0) return 0.0;
        return std::min(value, limit);
    };
    const double t = gridIndex(theta / pi * H, std::min(H - 1.0001, kShPolarCount - 1.0001));
    const double s = gridIndex(phi / twoPi * W, std::min(W - 1.0001, kShAzimuthCount - 1.0001));

    setupSphericalHarmonicTables();
    // The basis values depend on the direction only, so they are taken once for the image.
    double basis[kViewCount] = {};
    for (int p = 0; p <= order; ++p)
        for (int q = -p; q <= p; ++q) basis[p * p + p + q] = realHarmonicAt(p, q, t, s);

    const int count = order < 0 ? 0 : (order + 1) * (order + 1);
    const ShrmPixel* in = shrm.data();
    FloatPixel3<float>* out = result.data();
    const long long pixels = static_cast<long long>(W) * H;
    for (long long i = 0; i < pixels; ++i) {
        const FloatPixel3<double>* c = in[i].coeffs;
        // Entries run p ascending, q ascending within a band: the order of the sum.
        double red = 0.0, green = 0.0, blue = 0.0;
        for (int e = 0; e < count; ++e) {
            red += c[e].red * basis[e];
            green += c[e].green * basis[e];
            blue += c[e].blue * basis[e];
        }
        out[i] = FloatPixel3<float>(static_cast<float>(std::max(red, 0.0) * scale),
                                    static_cast<float>(std::max(green, 0.0) * scale),
                                    static_cast<float>(std::max(blue, 0.0) * scale));
    }
}

}  // namespace ixImage
