// Shared helpers of the diffuse-lighting tests: directions in double precision, analytic probes,
// the irradiance quadratic form and error measures. Everything here is written from the
// geometry of the maps, not from the library's code paths.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "iximage/envmap/cross_map.h"
#include "iximage/image/typed_image.h"
#include "iximage/interfaces/irradiance.h"
#include "iximage/interfaces/reference.h"
#include "test_support.h"

namespace ixTest {

constexpr double kPi = 3.14159265358979323846;

struct Dir {
    double x, y, z;
};

struct Rgb {
    double c[3];
};

inline double dot(const Dir& a, const Dir& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline Dir normalized(Dir d) {
    const double length = std::sqrt(dot(d, d));
    return {d.x / length, d.y / length, d.z / length};
}

// Latitude-longitude geometry: latitude (2v - 1) pi / 2 from -Z (v = 0) to +Z (v = 1),
// longitude (2u - 1) pi with -Y at u = 0.5 and +X at u = 0.25.
inline Dir latLongDirection(double u, double v) {
    const double latitude = (2.0 * v - 1.0) * kPi * 0.5;
    const double longitude = (2.0 * u - 1.0) * kPi;
    const double cosLat = std::cos(latitude);
    return {-std::sin(longitude) * cosLat, -std::cos(longitude) * cosLat, std::sin(latitude)};
}

// Normals at the cell centres of a cols x rows latitude-longitude grid.
inline std::vector<Dir> normalGrid(int cols, int rows) {
    std::vector<Dir> normals;
    normals.reserve(static_cast<size_t>(cols) * rows);
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i)
            normals.push_back(latLongDirection((i + 0.5) / cols, (j + 0.5) / rows));
    return normals;
}

inline const ixLinear::ProjMatrix& channelMatrix(const ixImage::Irradiance& irr, int c) {
    return c == 0 ? irr.red : (c == 1 ? irr.green : irr.blue);
}

// The irradiance (divided by pi) of channel c for a unit normal n of the environment frame:
// p^T M p with p = (-nx, -ny, nz, 1), the matrices' frame being a half turn about +Z.
inline double evaluateIrradiance(const ixImage::Irradiance& irr, int c, const Dir& n) {
    const ixLinear::ProjMatrix& M = channelMatrix(irr, c);
    const double p[4] = {-n.x, -n.y, n.z, 1.0};
    double sum = 0.0;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column) sum += p[row] * M.m[row][column] * p[column];
    return sum;
}

inline bool isCleared(const ixImage::Irradiance& irr) {
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column)
                if (channelMatrix(irr, c).m[row][column] != 0.0) return false;
    return true;
}

// A latitude-longitude probe of w x h pixels with radiance(direction) at every pixel centre.
template <class Radiance>
ix::Reference<ixImage::Float3Image> makeLatLongProbe(int w, int h, Radiance radiance) {
    ix::Reference<ixImage::Float3Image> image = new ixImage::Float3Image;
    image->setSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb L = radiance(latLongDirection((x + 0.5) / w, (y + 0.5) / h));
            image->at(x, y) = {float(L.c[0]), float(L.c[1]), float(L.c[2])};
        }
    return image;
}

// A vertical-cross probe with faces of `face` pixels: radiance at every pixel centre of the six
// face cells, zero in the empty cells. The face directions come from the cross projection.
template <class Radiance>
ix::Reference<ixImage::Float3Image> makeCrossProbe(int face, Radiance radiance) {
    ix::Reference<ixImage::Float3Image> image = new ixImage::Float3Image;
    const int w = 3 * face, h = 4 * face;
    image->setSize(w, h);
    const ixImage::CrossMap cross(face, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            ixLinear::VectorFlt d;
            const bool inside = cross.coordToDir((x + 0.5f) / float(w), (y + 0.5f) / float(h), d);
            const Rgb L = inside ? radiance(Dir{d.x, d.y, d.z}) : Rgb{{0.0, 0.0, 0.0}};
            image->at(x, y) = {float(L.c[0]), float(L.c[1]), float(L.c[2])};
        }
    return image;
}

inline Rgb whiteRadiance(const Dir&) { return {{1.0, 1.0, 1.0}}; }

// A smooth sky with a soft sun, different in each channel and positive everywhere.
inline Rgb skyRadiance(const Dir& d) {
    const Dir sun = normalized({0.3, -0.5, 0.8});
    const double s = std::fmax(0.0, dot(d, sun));
    const double lobe = s * s * s * s;
    return {{1.0 + 0.5 * d.z + 3.0 * lobe, 0.8 + 0.3 * d.x + 2.0 * lobe,
             0.6 - 0.3 * d.z + 0.2 * d.y * d.x + lobe}};
}

// sqrt(sum (a - b)^2 / sum b^2) over everything accumulated.
class RelativeRms {
public:
    void add(double value, double reference) {
        squaredError += (value - reference) * (value - reference);
        squaredReference += reference * reference;
    }
    double get() const { return std::sqrt(squaredError / squaredReference); }

private:
    double squaredError = 0.0;
    double squaredReference = 0.0;
};

inline std::string rotationMatrixPath() { return shareDir() + "/sh_rotation_matrices.txt"; }

}  // namespace ixTest
