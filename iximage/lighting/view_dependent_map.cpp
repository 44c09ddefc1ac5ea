#include "iximage/lighting/view_dependent_map.h"

#include <algorithm>
#include <cmath>

#include "iximage/envmap/latlong_map.h"
#include "iximage/interfaces/constants.h"
#include "iximage/sh/detail/sh_tables.h"

namespace ixImage {

namespace {

constexpr int kViewBands = 10;

struct Vec3 {
    double x, y, z;
};

Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
bool normalize(Vec3& v) {
    const double length = std::sqrt(dot(v, v));
    if (!(length > 0.0) || !std::isfinite(length)) return false;
    v = {v.x / length, v.y / length, v.z / length};
    return true;
}

// Where a normal falls on the SH reflection map's grid, and the view in that normal's frame.
struct GridLookup {
    int row0, row1, column0, column1;
    double rowWeight, columnWeight;  // weights of row1 and column1
    double basis[ViewDependentMap::kCoefficients];
};

// The grid rows and columns around the normal and the view bands' basis at the local view.
// The SH reflection map's pixel (x, y) stands for the pixel centre ((x + 0.5) / 200,
// (y + 0.5) / 100) of a latitude-longitude map (the light was projected from a working image
// whose row y is taken as polar angle y pi / 100), so a normal at map coordinate (u, v) lies at
// the fractional pixel (200 u - 0.5, 100 v - 0.5).
bool lookUp(const LatLongMap& grid, const ixLinear::VectorFlt& normal,
            const ixLinear::VectorFlt& view, GridLookup& out) {
    Vec3 n{normal.x, normal.y, normal.z};
    if (!normalize(n)) return false;
    float u = 0.0f, v = 0.0f;
    grid.dirToCoord(ixLinear::VectorFlt(float(n.x), float(n.y), float(n.z)), u, v);

    const double column =
        std::fmod(double(u) * ViewDependentMap::kWidth - 0.5 + ViewDependentMap::kWidth,
                  double(ViewDependentMap::kWidth));
    out.column0 = std::min(int(column), ViewDependentMap::kWidth - 1);
    out.column1 = (out.column0 + 1) % ViewDependentMap::kWidth;
    out.columnWeight = column - out.column0;
    const double row = std::max(0.0, std::min(double(v) * ViewDependentMap::kHeight - 0.5,
                                              ViewDependentMap::kHeight - 1.0));
    out.row0 = std::min(int(row), ViewDependentMap::kHeight - 2);
    out.row1 = out.row0 + 1;
    out.rowWeight = row - out.row0;

    // The normal's frame: +Y along increasing longitude mu = (2u - 1) pi, where the map's
    // direction (-sin mu cos lambda, -cos mu cos lambda, sin lambda) moves as (-cos mu, sin mu, 0);
    // +X = Y x Z points along increasing latitude. Orthogonalising keeps the frame exact near
    // the poles, where the projection takes the longitude as 0.
    const double mu = (2.0 * u - 1.0) * kPi;
    Vec3 tangentY{-std::cos(mu), std::sin(mu), 0.0};
    const double along = dot(tangentY, n);
    tangentY = {tangentY.x - along * n.x, tangentY.y - along * n.y, tangentY.z - along * n.z};
    if (!normalize(tangentY)) tangentY = {1.0, 0.0, 0.0};
    const Vec3 tangentX = cross(tangentY, n);

    Vec3 w{view.x, view.y, view.z};
    Vec3 local{dot(w, tangentX), dot(w, tangentY), dot(w, n)};
    if (local.z < 0.0) local.z = 0.0;  // below the horizon: onto it
    if (!normalize(local)) local = {1.0, 0.0, 0.0};

    // Fractional indices of the local view on the polar and azimuth grids, capped as the
    // specular map caps them so the table blend stays inside the grids.
    const double theta = std::acos(std::max(-1.0, std::min(1.0, local.z)));
    double phi = std::atan2(local.y, local.x);
    if (phi < 0.0) phi += kTwoPi;
    const double t = std::min(theta / kPi * kShPolarCount, kShPolarCount - 1.0001);
    const double s = std::min(phi / kTwoPi * kShAzimuthCount, kShAzimuthCount - 1.0001);
    for (int p = 0; p <= kViewBands; ++p)
        for (int q = -p; q <= p; ++q) out.basis[p * p + p + q] = realHarmonicAt(p, q, t, s);
    return true;
}

}  // namespace

ViewDependentMap::ViewDependentMap(const ShrmImage& reflectionMap) {
    if (reflectionMap.getWidth() != kWidth || reflectionMap.getHeight() != kHeight ||
        !reflectionMap.data()) {
        coefficients.assign(size_t(kWidth) * kHeight * kCoefficients * 3, 0.0f);
        return;
    }
    coefficients.resize(size_t(kWidth) * kHeight * kCoefficients * 3);
    const ShrmPixel* in = reflectionMap.data();
    float* out = coefficients.data();
    for (int i = 0; i < kWidth * kHeight; ++i)
        for (int e = 0; e < kCoefficients; ++e) {
            const FloatPixel3<double>& c = in[i].coeffs[e];
            *out++ = float(c.red);
            *out++ = float(c.green);
            *out++ = float(c.blue);
        }
}

ViewDependentMap::~ViewDependentMap() = default;

FloatPixel3<float> ViewDependentMap::evaluate(const ixLinear::VectorFlt& normal,
                                              const ixLinear::VectorFlt& view) const {
    FloatPixel3<float> result;
    evaluate(&normal, &view, 1, &result);
    return result;
}

void ViewDependentMap::evaluate(const ixLinear::VectorFlt* normals,
                                const ixLinear::VectorFlt* views, std::size_t count,
                                FloatPixel3<float>* out) const {
    setupSphericalHarmonicTables();
    const LatLongMap grid(kWidth, kHeight);
    GridLookup look;
    for (std::size_t i = 0; i < count; ++i) {
        if (!lookUp(grid, normals[i], views[i], look)) {
            out[i] = FloatPixel3<float>(0.0f, 0.0f, 0.0f);
            continue;
        }
        // Bilinear blend of the four grid expansions, each summed at the same local view.
        const int pixels[4] = {look.row0 * kWidth + look.column0, look.row0 * kWidth + look.column1,
                               look.row1 * kWidth + look.column0,
                               look.row1 * kWidth + look.column1};
        const double weights[4] = {(1 - look.rowWeight) * (1 - look.columnWeight),
                                   (1 - look.rowWeight) * look.columnWeight,
                                   look.rowWeight * (1 - look.columnWeight),
                                   look.rowWeight * look.columnWeight};
        double rgb[3] = {0.0, 0.0, 0.0};
        for (int corner = 0; corner < 4; ++corner) {
            if (weights[corner] == 0.0) continue;
            const float* c = &coefficients[size_t(pixels[corner]) * kCoefficients * 3];
            double sum[3] = {0.0, 0.0, 0.0};
            for (int e = 0; e < kCoefficients; ++e, c += 3) {
                sum[0] += c[0] * look.basis[e];
                sum[1] += c[1] * look.basis[e];
                sum[2] += c[2] * look.basis[e];
            }
            for (int ch = 0; ch < 3; ++ch) rgb[ch] += weights[corner] * sum[ch];
        }
        out[i] = FloatPixel3<float>(float(std::max(rgb[0], 0.0)), float(std::max(rgb[1], 0.0)),
                                    float(std::max(rgb[2], 0.0)));
    }
}

}  // namespace ixImage
