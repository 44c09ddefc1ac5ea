#include "iximage/envmap/filtered_remap.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/image/typed_image.h"
#include "iximage/interfaces/constants.h"

namespace ixImage {

namespace {

// ---- Pixels as arrays of double channels ----

template <class T>
struct Channels;
template <>
struct Channels<float> {
    static constexpr int kCount = 1;
    static void load(const float& p, double* c) { c[0] = p; }
    static void store(const double* c, float& p) { p = float(c[0]); }
};
template <>
struct Channels<FloatPixel3<float>> {
    static constexpr int kCount = 3;
    static void load(const FloatPixel3<float>& p, double* c) {
        c[0] = p.red, c[1] = p.green, c[2] = p.blue;
    }
    static void store(const double* c, FloatPixel3<float>& p) {
        p = FloatPixel3<float>(float(c[0]), float(c[1]), float(c[2]));
    }
};
template <>
struct Channels<FloatPixel4<float>> {
    static constexpr int kCount = 4;
    static void load(const FloatPixel4<float>& p, double* c) {
        c[0] = p.red, c[1] = p.green, c[2] = p.blue, c[3] = p.alpha;
    }
    static void store(const double* c, FloatPixel4<float>& p) {
        p = FloatPixel4<float>(float(c[0]), float(c[1]), float(c[2]), float(c[3]));
    }
};

// ---- One-dimensional overlaps ----

// sin(latitude) at v: latitude = (2v - 1) pi / 2, so sin = -cos(pi v). Differences of it are
// the exact integral of cos(latitude) d(latitude) between two rows.
double sinLatitude(double v) { return -std::cos(kPi * v); }

struct Overlap {
    int index;
    double amount;
};

// For each of n cells of the unit interval, the cells of an m-cell partition it overlaps and
// by how much, measured by measure(b) - measure(a). Exact when the measure is monotonic.
template <class Measure>
std::vector<std::vector<Overlap>> intervalOverlaps(int n, int m, Measure measure) {
    std::vector<std::vector<Overlap>> overlaps(n);
    for (int i = 0; i < n; ++i) {
        const double lo = double(i) / n, hi = double(i + 1) / n;
        const int first = std::max(0, int(std::floor(lo * m)));
        const int last = std::min(m - 1, int(std::ceil(hi * m)) - 1);
        for (int k = first; k <= last; ++k) {
            const double amount =
                measure(std::min(hi, double(k + 1) / m)) - measure(std::max(lo, double(k) / m));
            if (amount > 0.0) overlaps[i].push_back({k, amount});
        }
    }
    return overlaps;
}

// ---- Destination accumulation ----

// Per destination pixel: the solid angle received and the radiance times solid angle.
struct Accumulator {
    int channels;
    std::vector<double> weight, sum;
    Accumulator(int pixelCount, int channelCount)
        : channels(channelCount),
          weight(size_t(pixelCount), 0.0),
          sum(size_t(pixelCount) * size_t(channelCount), 0.0) {}
    void add(int pixel, double w, const double* value) {
        weight[pixel] += w;
        for (int c = 0; c < channels; ++c) sum[size_t(pixel) * channels + c] += w * value[c];
    }
};

// ---- The source as patches of pixels with corner directions ----

// A rectangular grid of source pixels whose corners are shared: the whole image of a sphere or
// latitude-longitude map, or one face of a cross. weight is the pixel's solid angle (0 outside
// the projection); a pixel with an invalid corner (the sphere map's rim) is used as a point at
// its centre.
struct Patch {
    int cols = 0, rows = 0;
    std::vector<ixLinear::VectorFlt> corners, centres;
    std::vector<unsigned char> cornerValid;
    std::vector<double> weight, value;

    void resize(int c, int r, int channels) {
        cols = c, rows = r;
        corners.assign(size_t(c + 1) * (r + 1), ixLinear::VectorFlt());
        cornerValid.assign(corners.size(), 1);
        centres.assign(size_t(c) * r, ixLinear::VectorFlt());
        weight.assign(size_t(c) * r, 0.0);
        value.assign(size_t(c) * r * channels, 0.0);
    }
    int corner(int x, int y) const { return y * (cols + 1) + x; }
    bool hasValidCorners(int x, int y) const {
        return cornerValid[corner(x, y)] && cornerValid[corner(x + 1, y)] &&
               cornerValid[corner(x + 1, y + 1)] && cornerValid[corner(x, y + 1)];
    }
};

// The six faces of a cross with square cells of N pixels, each averaged down by a factor k
// that divides N: a reduced pixel holds the solid-angle-weighted mean of its k x k pixels and
// their summed solid angle, so nothing of the energy changes. Corners sit a hair inside the
// face so that the cell lookup never picks the neighbouring (possibly empty) cell.
template <class T>
std::vector<Patch> crossPatches(const CrossMap& cross, const TypedImage<T>& image, int N, int k) {
    constexpr int C = Channels<T>::kCount;
    const int n = N / k;
    const float inset = 1e-5f;
    const int W = image.getWidth(), H = image.getHeight();
    // Every face has the same pixel solid angles: one table, from the corner function on the
    // (N + 1)^2 lattice, F(s, t) = atan(s t / sqrt(1 + s^2 + t^2)).
    std::vector<double> corner(size_t(N + 1) * (N + 1)), omega(size_t(N) * N);
    for (int q = 0; q <= N; ++q)
        for (int p = 0; p <= N; ++p) {
            const double s = 2.0 * p / N - 1.0, t = 2.0 * q / N - 1.0;
            corner[size_t(q) * (N + 1) + p] = std::atan2(s * t, std::sqrt(1.0 + s * s + t * t));
        }
    for (int q = 0; q < N; ++q)
        for (int p = 0; p < N; ++p) {
            const size_t c = size_t(q) * (N + 1) + p;
            omega[size_t(q) * N + p] =
                corner[c + N + 2] - corner[c + N + 1] - corner[c + 1] + corner[c];
        }
    std::vector<Patch> patches(6);
    for (int face = 0; face < 6; ++face) {
        Patch& patch = patches[size_t(face)];
        patch.resize(n, n, C);
        for (int b = 0; b <= n; ++b)
            for (int a = 0; a <= n; ++a) {
                const float fu = std::min(std::max(float(a) / n, inset), 1.0f - inset);
                const float fv = std::min(std::max(float(b) / n, inset), 1.0f - inset);
                float u, v;
                cross.cubeToCross(fu, fv, face, u, v);
                patch.cornerValid[patch.corner(a, b)] =
                    cross.coordToDir(u, v, patch.corners[patch.corner(a, b)]);
            }
        for (int q = 0; q < N; ++q)
            for (int p = 0; p < N; ++p) {
                float u, v;
                cross.cubeToCross((p + 0.5f) / N, (q + 0.5f) / N, face, u, v);
                const int x = std::min(W - 1, int(u * W)), y = std::min(H - 1, int(v * H));
                const double w = omega[size_t(q) * N + p];
                double radiance[C];
                Channels<T>::load(image.at(x, y), radiance);
                const int pixel = (q / k) * n + p / k;
                patch.weight[size_t(pixel)] += w;
                for (int c = 0; c < C; ++c) patch.value[size_t(pixel) * C + c] += w * radiance[c];
            }
        for (int pixel = 0; pixel < n * n; ++pixel) {
            for (int c = 0; c < C; ++c)
                patch.value[size_t(pixel) * C + c] /= patch.weight[size_t(pixel)];
            ixLinear::VectorFlt& centre = patch.centres[size_t(pixel)];
            float u, v;
            cross.cubeToCross((pixel % n + 0.5f) / n, (pixel / n + 0.5f) / n, face, u, v);
            cross.coordToDir(u, v, centre);
        }
    }
    return patches;
}

// The whole image as one patch, corners and centres through the map's own projection.
template <class T>
Patch imagePatch(const EnvironmentMap& map, const TypedImage<T>& image) {
    constexpr int C = Channels<T>::kCount;
    const int W = image.getWidth(), H = image.getHeight();
    Patch patch;
    patch.resize(W, H, C);
    for (int y = 0; y <= H; ++y)
        for (int x = 0; x <= W; ++x)
            patch.cornerValid[patch.corner(x, y)] =
                map.coordToDir(float(x) / W, float(y) / H, patch.corners[patch.corner(x, y)]);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const size_t pixel = size_t(y) * W + x;
            float omega = 0.0f;
            if (!map.coordToDir((x + 0.5f) / W, (y + 0.5f) / H, patch.centres[pixel], omega, true))
                continue;
            patch.weight[pixel] = map.type == EnvironmentMap::kLatLong
                                      ? (2.0 * kPi / W) * (sinLatitude(double(y + 1) / H) -
                                                           sinLatitude(double(y) / H))
                                      : double(omega);
            Channels<T>::load(image.at(x, y), &patch.value[pixel * C]);
        }
    return patch;
}

// Largest divisor k of N that keeps N / k >= minimum (1 when N is already small).
int reductionFactor(int N, int minimum) {
    for (int k = N; k > 1; --k)
        if (N % k == 0 && N / k >= minimum) return k;
    return 1;
}

template <class T>
void latLongToLatLong(const TypedImage<T>& S, TypedImage<T>& D);

// The face size of a cross image made of square cells, or 0 for any other shape.
int squareFaceSize(const CrossMap& cross, const Image& image) {
    const int W = image.getWidth(), H = image.getHeight();
    const int N = cross.isHorizontal() ? W / 4 : W / 3;
    const bool square =
        cross.isHorizontal() ? (W == 4 * N && H == 3 * N) : (W == 3 * N && H == 4 * N);
    return square ? N : 0;
}

template <class T>
std::vector<Patch> sourcePatches(const EnvironmentMap& src, const TypedImage<T>& image,
                                 int destinationPixels) {
    if (src.type == EnvironmentMap::kCross) {
        const CrossMap& cross = static_cast<const CrossMap&>(src);
        const int N = squareFaceSize(cross, image);
        if (N > 0) {
            // Reduced faces of at least sqrt(4 m / 6) pixels for m destination pixels: a
            // reduced pixel covers at most a quarter of a mean destination pixel.
            const int minimum = int(std::ceil(std::sqrt(4.0 * destinationPixels / 6.0)));
            return crossPatches(cross, image, N, reductionFactor(N, minimum));
        }
    }
    if (src.type == EnvironmentMap::kLatLong) {
        // A latitude-longitude source much finer than the destination is first reduced exactly
        // (area overlap) to w x w/2 pixels, w >= sqrt(8 m) for m destination pixels, so that
        // a pixel still covers at most a quarter of a mean destination pixel while the
        // per-corner work and memory stay bounded by the destination's size.
        const int w = 2 * int(std::ceil(std::sqrt(8.0 * destinationPixels) / 2.0));
        if (w > 0 && image.getWidth() > w) {
            const LatLongMap reducedMap(w, w / 2);
            TypedImage<T> reduced;
            reduced.setSize(w, w / 2);
            latLongToLatLong(image, reduced);
            return {imagePatch(reducedMap, reduced)};
        }
    }
    return {imagePatch(src, image)};
}

// ---- Into a latitude-longitude destination: footprint quads ----

// Longitude and latitude coordinates of a direction, in double. Unlike the projection's own
// dirToCoord, directions near a pole keep their true longitude: footprints there need it.
void latLongCoord(const ixLinear::VectorFlt& d, double& u, double& v) {
    const double z = std::max(-1.0, std::min(1.0, double(d.z)));
    u = (std::atan2(-double(d.x), -double(d.y)) / kPi + 1.0) * 0.5;
    v = (std::asin(z) * 2.0 / kPi + 1.0) * 0.5;
}

double wrapHalf(double du) { return du - std::floor(du + 0.5); }

// Exact overlaps of a quadrilateral footprint with the destination cells in the equal-area
// plane (u, sin(latitude)), where solid angle is 2 pi times area: the quad is clipped to each
// column strip, then each strip to each row (Sutherland-Hodgman against axis-aligned lines), and
// each cell gets its share of the quad's area. Neighbouring source pixels share their corners, so
// their quads tile the plane without gaps or overlaps and every destination pixel receives, to
// second order in the pixel size, exactly its own solid angle.
struct Point {
    double u, v;
};

// The part of polygon in[0..n) on one side of the line (axis == 0 ? u : v) = bound.
int clipPolygon(const Point* in, int n, Point* out, int axis, double bound, bool keepAbove) {
    auto coord = [axis](const Point& p) { return axis == 0 ? p.u : p.v; };
    auto inside = [&](const Point& p) { return keepAbove ? coord(p) >= bound : coord(p) <= bound; };
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const Point& a = in[i];
        const Point& b = in[(i + 1) % n];
        if (inside(a)) out[m++] = a;
        if (inside(a) != inside(b)) {
            const double t = (bound - coord(a)) / (coord(b) - coord(a));
            out[m++] = {a.u + t * (b.u - a.u), a.v + t * (b.v - a.v)};
        }
    }
    return m;
}

double polygonArea(const Point* p, int n) {
    double twice = 0.0;
    for (int i = 0; i < n; ++i) twice += p[i].u * p[(i + 1) % n].v - p[(i + 1) % n].u * p[i].v;
    return std::fabs(0.5 * twice);
}

// quad holds (u, sin(latitude)) corners; v0 and v1 bound its rows, rowEdges holds
// sin(latitude) at the H + 1 row boundaries. visit(cell, share) receives each cell the quad
// overlaps and the share of the quad's area that falls in it. A quad within one column or one
// row needs no clipping across it. False when the quad has no area (then the caller falls back
// to its box).
template <class Visit>
bool splatQuad(const Point (&quad)[4], double v0, double v1, int W,
               const std::vector<double>& rowEdges, const Visit& visit) {
    const int H = int(rowEdges.size()) - 1;
    const double total = polygonArea(quad, 4);
    if (!(total > 0.0)) return false;
    double u0 = quad[0].u, u1 = u0;
    for (const Point& p : quad) u0 = std::min(u0, p.u), u1 = std::max(u1, p.u);
    const int k0 = int(std::floor(u0 * W)), k1 = std::max(k0 + 1, int(std::ceil(u1 * W)));
    const int r0 = std::min(H - 1, std::max(0, int(std::floor(v0 * H))));
    const int r1 = std::max(r0 + 1, std::min(H, int(std::ceil(v1 * H))));
    Point a[12], strip[12], b[12], cell[12];
    for (int k = k0; k < k1; ++k) {
        const Point* stripPoints = quad;
        int n = 4;
        double stripArea = total;
        if (k1 - k0 > 1) {
            n = clipPolygon(quad, 4, a, 0, double(k) / W, true);
            n = clipPolygon(a, n, strip, 0, double(k + 1) / W, false);
            if (n < 3) continue;
            stripPoints = strip;
            stripArea = polygonArea(strip, n);
        }
        const int column = ((k % W) + W) % W;
        for (int r = r0; r < r1; ++r) {
            double area = stripArea;
            if (r1 - r0 > 1) {
                int m = clipPolygon(stripPoints, n, b, 1, rowEdges[size_t(r)], true);
                m = clipPolygon(b, m, cell, 1, rowEdges[size_t(r) + 1], false);
                if (m < 3) continue;
                area = polygonArea(cell, m);
            }
            if (area > 0.0) visit(r * W + column, area / total);
        }
    }
    return true;
}

// The overlaps of every patch pixel's footprint with the cells of a latitude-longitude grid. A
// footprint is
// the quad of its four corners in (u, v), longitudes unwrapped around the first corner. Near a
// pole the quad is no picture of the footprint: a corner at the pole has no longitude, and a
// pixel around a pole spans every longitude. Those pixels use the box their corners span
// instead, reaching the pole in v (and, winding around it, all the way around in u), with a
// share proportional to the overlap in u times the overlap in sin(latitude).
//
// visit(pixel, cell, share) receives, for each pixel of the patch, every cell of the W x H
// latitude-longitude grid its footprint overlaps and the share of the footprint in it (the
// shares of a pixel sum to 1).
template <class Visit>
void forEachFootprintOverlap(const Patch& patch, int W, int H, const Visit& visit) {
    std::vector<double> cu(patch.corners.size()), cv(patch.corners.size());
    std::vector<unsigned char> polar(patch.corners.size());
    for (size_t i = 0; i < patch.corners.size(); ++i) {
        latLongCoord(patch.corners[i], cu[i], cv[i]);
        const ixLinear::VectorFlt& d = patch.corners[i];
        polar[i] = double(d.x) * d.x + double(d.y) * d.y < 1e-12;
    }
    std::vector<double> rowEdges(size_t(H) + 1);
    for (int r = 0; r <= H; ++r) rowEdges[size_t(r)] = sinLatitude(double(r) / H);
    std::vector<Overlap> columns, rows;
    for (int y = 0; y < patch.rows; ++y)
        for (int x = 0; x < patch.cols; ++x) {
            const size_t pixel = size_t(y) * patch.cols + x;
            if (!(patch.weight[pixel] > 0.0)) continue;
            double u0, u1, v0, v1;
            if (patch.hasValidCorners(x, y)) {
                const int ring[4] = {patch.corner(x, y), patch.corner(x + 1, y),
                                     patch.corner(x + 1, y + 1), patch.corner(x, y + 1)};
                double reference = 0.0, dMin = 0.0, dMax = 0.0, winding = 0.0, zSum = 0.0;
                bool haveReference = false, touchesPole = false;
                v0 = 1.0, v1 = 0.0;
                for (int k = 0; k < 4; ++k) {
                    const int c = ring[k], next = ring[(k + 1) % 4];
                    v0 = std::min(v0, cv[c]), v1 = std::max(v1, cv[c]);
                    zSum += patch.corners[c].z;
                    if (polar[c]) {
                        touchesPole = true;
                        continue;
                    }
                    if (!haveReference) reference = cu[c], haveReference = true;
                    const double d = wrapHalf(cu[c] - reference);
                    dMin = std::min(dMin, d), dMax = std::max(dMax, d);
                    if (!polar[next]) winding += wrapHalf(cu[next] - cu[c]);
                }
                u0 = reference + dMin, u1 = reference + dMax;
                if (!touchesPole && std::fabs(winding) <= 0.5) {
                    Point quad[4];
                    for (int k = 0; k < 4; ++k)
                        quad[k] = {reference + wrapHalf(cu[ring[k]] - reference),
                                   double(patch.corners[ring[k]].z)};
                    if (splatQuad(quad, v0, v1, W, rowEdges,
                                  [&](int cell, double share) { visit(pixel, cell, share); }))
                        continue;
                }
                if (std::fabs(winding) > 0.5) u0 = 0.0, u1 = 1.0;
                if (touchesPole || std::fabs(winding) > 0.5) {
                    if (zSum > 0.0)
                        v1 = 1.0;
                    else
                        v0 = 0.0;
                }
            } else {
                latLongCoord(patch.centres[pixel], u0, v0);
                u1 = u0, v1 = v0;
            }

            // Columns, wrapping around the seam.
            columns.clear();
            if (u1 - u0 <= 0.0) {
                columns.push_back({int(std::floor(u0 * W)), 1.0});
            } else {
                for (int k = int(std::floor(u0 * W)); k < int(std::ceil(u1 * W)); ++k) {
                    const double a = std::max(u0, double(k) / W),
                                 b = std::min(u1, double(k + 1) / W);
                    if (b > a) columns.push_back({k, (b - a) / (u1 - u0)});
                }
            }
            // Rows by solid angle; a box of no latitude extent goes to the row it is in.
            rows.clear();
            v0 = std::max(0.0, v0), v1 = std::min(1.0, v1);
            const double span = sinLatitude(v1) - sinLatitude(v0);
            if (!(span > 0.0)) {
                rows.push_back({std::min(H - 1, std::max(0, int(v0 * H))), 1.0});
            } else {
                for (int k = std::max(0, int(std::floor(v0 * H)));
                     k < std::min(H, int(std::ceil(v1 * H))); ++k) {
                    const double a = std::max(v0, double(k) / H),
                                 b = std::min(v1, double(k + 1) / H);
                    const double share = (sinLatitude(b) - sinLatitude(a)) / span;
                    if (share > 0.0) rows.push_back({k, share});
                }
            }
            for (const Overlap& row : rows)
                for (const Overlap& column : columns) {
                    const int wrapped = ((column.index % W) + W) % W;
                    visit(pixel, row.index * W + wrapped, row.amount * column.amount);
                }
        }
}

// ---- Into any destination: sub-sample splatting ----

ixLinear::VectorFlt blendCorners(const Patch& patch, int x, int y, float a, float b) {
    const ixLinear::VectorFlt& c00 = patch.corners[patch.corner(x, y)];
    const ixLinear::VectorFlt& c10 = patch.corners[patch.corner(x + 1, y)];
    const ixLinear::VectorFlt& c01 = patch.corners[patch.corner(x, y + 1)];
    const ixLinear::VectorFlt& c11 = patch.corners[patch.corner(x + 1, y + 1)];
    ixLinear::VectorFlt d;
    d.x = (1 - b) * ((1 - a) * c00.x + a * c10.x) + b * ((1 - a) * c01.x + a * c11.x);
    d.y = (1 - b) * ((1 - a) * c00.y + a * c10.y) + b * ((1 - a) * c01.y + a * c11.y);
    d.z = (1 - b) * ((1 - a) * c00.z + a * c10.z) + b * ((1 - a) * c01.z + a * c11.z);
    d.normalize();
    return d;
}

void splatSamples(const Patch& patch, int channels, const EnvironmentMap& dst, int W, int H, int n,
                  Accumulator& acc) {
    for (int y = 0; y < patch.rows; ++y)
        for (int x = 0; x < patch.cols; ++x) {
            const size_t pixel = size_t(y) * patch.cols + x;
            if (!(patch.weight[pixel] > 0.0)) continue;
            const bool spread = patch.hasValidCorners(x, y);
            const int samples = spread ? n : 1;
            const double share = patch.weight[pixel] / (double(samples) * samples);
            for (int j = 0; j < samples; ++j)
                for (int i = 0; i < samples; ++i) {
                    const ixLinear::VectorFlt d =
                        spread ? blendCorners(patch, x, y, (i + 0.5f) / n, (j + 0.5f) / n)
                               : patch.centres[pixel];
                    float u, v;
                    dst.dirToCoord(d, u, v);
                    if (!dst.isValidCoord(u, v)) continue;
                    const int px = std::min(W - 1, std::max(0, int(u * W)));
                    const int py = std::min(H - 1, std::max(0, int(v * H)));
                    acc.add(py * W + px, share, &patch.value[pixel * channels]);
                }
        }
}

// ---- Latitude-longitude to latitude-longitude: exact separable overlap ----

template <class T>
void latLongToLatLong(const TypedImage<T>& S, TypedImage<T>& D) {
    constexpr int C = Channels<T>::kCount;
    const int sw = S.getWidth(), sh = S.getHeight(), dw = D.getWidth(), dh = D.getHeight();
    const auto byU = [](double u) { return u; };
    const auto columns = intervalOverlaps(dw, sw, byU);       // destination column -> sources
    const auto rows = intervalOverlaps(sh, dh, sinLatitude);  // source row -> destinations
    std::vector<double> rowSum(size_t(dw) * C), sum(size_t(dw) * dh * C, 0.0), rowWeight(dh, 0.0);
    double radiance[C];
    for (int j = 0; j < sh; ++j) {
        std::fill(rowSum.begin(), rowSum.end(), 0.0);
        for (int x = 0; x < dw; ++x)
            for (const Overlap& o : columns[size_t(x)]) {
                Channels<T>::load(S.at(o.index, j), radiance);
                for (int c = 0; c < C; ++c) rowSum[size_t(x) * C + c] += o.amount * radiance[c];
            }
        for (const Overlap& o : rows[size_t(j)]) {
            rowWeight[size_t(o.index)] += o.amount;
            double* out = &sum[size_t(o.index) * dw * C];
            for (size_t i = 0; i < rowSum.size(); ++i) out[i] += o.amount * rowSum[i];
        }
    }
    // Every destination pixel is covered exactly: its u width is 1 / dw.
    double mean[C];
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) {
            const double area = rowWeight[size_t(y)] / dw;
            for (int c = 0; c < C; ++c)
                mean[c] = area > 0.0 ? sum[(size_t(y) * dw + x) * C + c] / area : 0.0;
            Channels<T>::store(mean, D.at(x, y));
        }
}

// ---- From a latitude-longitude source into a sphere or cross: footprint gathering ----

// Each destination pixel's footprint quad is clipped against the source cells, the very
// clipping used into a latitude-longitude map read the other way round, and the pixel takes
// the area-weighted mean of the cells it covers. The footprints of the destination pixels tile
// the sphere, so every source cell hands out exactly its own area: a source smaller than a
// destination pixel keeps its power, and a constant stays constant. A source much finer than
// the destination is first reduced exactly, as for the other direction.
template <class T>
void gatherFootprints(const EnvironmentMap& dst, const TypedImage<T>& S, TypedImage<T>& D,
                      int validDestination) {
    constexpr int C = Channels<T>::kCount;
    const TypedImage<T>* source = &S;
    TypedImage<T> reduced;
    const int w = 2 * int(std::ceil(std::sqrt(8.0 * validDestination) / 2.0));
    if (w > 0 && S.getWidth() > w) {
        reduced.setSize(w, w / 2);
        latLongToLatLong(S, reduced);
        source = &reduced;
    }
    const int sw = source->getWidth(), sh = source->getHeight();
    const int W = D.getWidth(), H = D.getHeight();

    // The destination as patches, with the destination pixel of each patch pixel. A cross is
    // taken face by face, so that the corners on a face's border belong to that face rather
    // than to the cell beside it (which may be empty).
    std::vector<Patch> patches;
    std::vector<std::vector<size_t>> destinationPixel;
    const int N = dst.type == EnvironmentMap::kCross
                      ? squareFaceSize(static_cast<const CrossMap&>(dst), D)
                      : 0;
    if (N > 0) {
        const CrossMap& cross = static_cast<const CrossMap&>(dst);
        patches = crossPatches(cross, D, N, 1);
        for (int face = 0; face < 6; ++face) {
            std::vector<size_t> pixels(size_t(N) * N);
            for (int q = 0; q < N; ++q)
                for (int p = 0; p < N; ++p) {
                    float u, v;
                    cross.cubeToCross((p + 0.5f) / N, (q + 0.5f) / N, face, u, v);
                    pixels[size_t(q) * N + p] =
                        size_t(std::min(H - 1, int(v * H))) * W + std::min(W - 1, int(u * W));
                }
            destinationPixel.push_back(std::move(pixels));
        }
    } else {
        patches.push_back(imagePatch(dst, D));
        std::vector<size_t> pixels(size_t(W) * H);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = i;
        destinationPixel.push_back(std::move(pixels));
    }

    std::vector<double> sum(size_t(W) * H * C, 0.0), shares(size_t(W) * H, 0.0);
    double value[C];
    for (size_t i = 0; i < patches.size(); ++i) {
        const std::vector<size_t>& where = destinationPixel[i];
        forEachFootprintOverlap(patches[i], sw, sh, [&](size_t pixel, int cell, double share) {
            Channels<T>::load(source->at(cell % sw, cell / sw), value);
            const size_t target = where[pixel];
            for (int c = 0; c < C; ++c) sum[target * C + c] += share * value[c];
            shares[target] += share;
        });
    }
    double mean[C];
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const size_t pixel = size_t(y) * W + x;
            for (int c = 0; c < C; ++c)
                mean[c] = shares[pixel] > 0.0 ? sum[pixel * C + c] / shares[pixel] : 0.0;
            Channels<T>::store(mean, D.at(x, y));
        }
}

// ---- Dispatch and finish ----

template <class T>
void remapFilteredPixels(const EnvironmentMap& src, EnvironmentMap& dst, const TypedImage<T>& S,
                         TypedImage<T>& D) {
    constexpr int C = Channels<T>::kCount;
    const int W = D.getWidth(), H = D.getHeight();
    if (src.type == EnvironmentMap::kLatLong && dst.type == EnvironmentMap::kLatLong)
        return latLongToLatLong(S, D);

    int validDestination = 0;
    std::vector<unsigned char> inside(size_t(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            validDestination += inside[size_t(y) * W + x] =
                dst.isValidCoord((x + 0.5f) / W, (y + 0.5f) / H);

    if (src.type == EnvironmentMap::kLatLong) return gatherFootprints(dst, S, D, validDestination);

    Accumulator acc(W * H, C);
    for (const Patch& patch : sourcePatches(src, S, validDestination)) {
        if (dst.type == EnvironmentMap::kLatLong) {
            forEachFootprintOverlap(patch, W, H, [&](size_t pixel, int cell, double share) {
                acc.add(cell, patch.weight[pixel] * share, &patch.value[pixel * C]);
            });
            continue;
        }
        // Sub-samples per side: twice the ratio of the pixels' mean angular sizes, so that a
        // destination pixel finer than the source still receives about four samples.
        double patchOmega = 0.0;
        int patchPixels = 0;
        for (double w : patch.weight) patchOmega += w, patchPixels += w > 0.0;
        const double ratio =
            patchPixels > 0 && validDestination > 0
                ? std::sqrt((patchOmega / patchPixels) / (4.0 * kPi / validDestination))
                : 1.0;
        const int n = std::min(16, std::max(1, int(std::ceil(2.0 * ratio))));
        splatSamples(patch, C, dst, W, H, n, acc);
    }

    double mean[C];
    const int sw = S.getWidth(), sh = S.getHeight();
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const size_t pixel = size_t(y) * W + x;
            std::fill(mean, mean + C, 0.0);
            if (inside[pixel] && acc.weight[pixel] > 0.0) {
                for (int c = 0; c < C; ++c) mean[c] = acc.sum[pixel * C + c] / acc.weight[pixel];
            } else if (inside[pixel]) {
                // Gather: no sample reached this pixel; take the source pixel under its centre.
                ixLinear::VectorFlt d;
                float u, v;
                if (dst.coordToDir((x + 0.5f) / W, (y + 0.5f) / H, d)) {
                    src.dirToCoord(d, u, v);
                    if (src.isValidCoord(u, v))
                        Channels<T>::load(S.at(std::min(sw - 1, std::max(0, int(u * sw))),
                                               std::min(sh - 1, std::max(0, int(v * sh)))),
                                          mean);
                }
            }
            Channels<T>::store(mean, D.at(x, y));
        }
}

}  // namespace

void remapFiltered(const EnvironmentMap& src, EnvironmentMap& dst) {
    const Image* S = src.image.get();
    Image* D = dst.image.get();
    if (!S || !D || S->getPixelType() != D->getPixelType()) return;
    if (S->getWidth() < 1 || S->getHeight() < 1 || D->getWidth() < 1 || D->getHeight() < 1) return;
    switch (S->getPixelType()) {
        case kPixelFloat:
            return remapFilteredPixels(src, dst, static_cast<const TypedImage<float>&>(*S),
                                       static_cast<TypedImage<float>&>(*D));
        case kPixelFloat3:
            return remapFilteredPixels(src, dst,
                                       static_cast<const TypedImage<FloatPixel3<float>>&>(*S),
                                       static_cast<TypedImage<FloatPixel3<float>>&>(*D));
        case kPixelFloat4:
            return remapFilteredPixels(src, dst,
                                       static_cast<const TypedImage<FloatPixel4<float>>&>(*S),
                                       static_cast<TypedImage<FloatPixel4<float>>&>(*D));
        default: return;  // half, integer, double and SH pixels are left to remap
    }
}

}  // namespace ixImage
