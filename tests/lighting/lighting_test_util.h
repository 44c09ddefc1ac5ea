// Shared helpers of the lighting tests: analytic probes and the irradiance quadratic form.
// Everything here is written from the geometry of the maps, not from the library's code paths.
#pragma once

#include <cmath>
#include <vector>

#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/recognize_remap.h"
#include "iximage/interfaces/irradiance.h"
#include "iximage/interfaces/reference.h"
#include "iximage/lighting/irradiance_alg.h"
#include "iximage/lighting/reflectance_function.h"
#include "sh/prefilter_reference.h"

namespace ixTest {

struct Rgb {
    double c[3];
};

// Normals at the cell centres of a cols x rows latitude-longitude grid.
inline std::vector<Dir> normalGrid(int cols, int rows) {
    std::vector<Dir> normals;
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) normals.push_back(pixelDirection(i, j, cols, rows));
    return normals;
}

// The irradiance (divided by pi) of channel c for a unit normal n of the environment frame.
inline double evaluateIrradiance(const ixImage::Irradiance& irr, int c, const Dir& n) {
    const ixImage::FloatPixel3<double> e = ixImage::evaluateIrradiance(irr, n.x, n.y, n.z);
    return c == 0 ? e.red : (c == 1 ? e.green : e.blue);
}

inline const ixLinear::ProjMatrix& channel(const ixImage::Irradiance& irr, int c) {
    return c == 0 ? irr.red : (c == 1 ? irr.green : irr.blue);
}

inline bool sameIrradiance(const ixImage::Irradiance& a, const ixImage::Irradiance& b) {
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k)
                if (channel(a, c).m[r][k] != channel(b, c).m[r][k]) return false;
    return true;
}

inline bool isCleared(const ixImage::Irradiance& irr) {
    return sameIrradiance(irr, ixImage::Irradiance());
}

// A latitude-longitude probe of w x h pixels with radiance(direction) at every pixel centre.
template <class Radiance>
ix::Reference<ixImage::Float3Image> makeLatLongProbe(int w, int h, Radiance radiance) {
    ix::Reference<ixImage::Float3Image> image = new ixImage::Float3Image;
    image->setSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb L = radiance(pixelDirection(x, y, w, h));
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

// Reflects nothing in green, declared by an exact zero in the norm: the cache remembers a null
// map for its key without building. Counts its samplings; exposes the free flag.
class NoGreenReflectance : public ixImage::ReflectanceFunction {
public:
    explicit NoGreenReflectance(int key = 0) { setKey(key); }
    void sampleBrdf(ixUtil::ArrayN<3, ixImage::FloatPixel3<double>>& samples,
                    ixImage::FloatPixel3<double>& norm) const override {
        ++samplings;
        for (int i = 0; i < samples.getCount(); ++i) samples.data()[i] = {0.1, 0.0, 0.1};
        norm = {1.0, 0.0, 1.0};
    }
    void setFlag(bool value) { flag = value; }
    bool getFlag() const { return flag; }
    mutable int samplings = 0;
};

inline Rgb whiteRadiance(const Dir&) { return {{1.0, 1.0, 1.0}}; }

// A smooth sky with a soft sun, different in each channel and positive everywhere.
inline Rgb skyRadiance(const Dir& d) {
    const double s = std::fmax(0.0, dot(d, Dir{0.3, -0.5, 0.8}) / std::sqrt(0.98));
    const double lobe = s * s * s * s;
    return {{1.0 + 0.5 * d.z + 3.0 * lobe, 0.8 + 0.3 * d.x + 2.0 * lobe,
             0.6 - 0.3 * d.z + 0.2 * d.y * d.x + lobe}};
}

}  // namespace ixTest
