// Brute-force references shared by the specular and diffuse tests: latitude-longitude
// directions, prefiltered radiance integrated pixel by pixel, error measures. The frame is the
// environment maps' latitude-longitude convention, written out plainly: lambda = (2v - 1) pi/2
// from -Z (v = 0) to +Z, mu = (2u - 1) pi, dir = (-sin mu cos lambda, -cos mu cos lambda,
// sin lambda); pixel (x, y) is centred at ((x + 0.5) / w, (y + 0.5) / h).
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/progress.h"
#include "iximage/interfaces/reference.h"
#include "support/test_math.h"
#include "test_support.h"

namespace ixTest {

inline Dir latLongDirection(double u, double v) {
    const double lambda = (2.0 * v - 1.0) * kPi * 0.5, mu = (2.0 * u - 1.0) * kPi;
    return {-std::sin(mu) * std::cos(lambda), -std::cos(mu) * std::cos(lambda), std::sin(lambda)};
}

inline Dir pixelDirection(int x, int y, int w, int h) {
    return latLongDirection((x + 0.5) / w, (y + 0.5) / h);
}

// An RGB radiance image flattened into directions and weights (radiance times the pixel's solid
// angle, cos(lambda) (2 pi / w) (pi / h)), so a prefilter is one pass of dot products.
struct WeightedSamples {
    std::vector<Dir> dirs;
    std::vector<double> red, green, blue;

    explicit WeightedSamples(const ixImage::Float3Image& image) {
        const int w = image.getWidth(), h = image.getHeight();
        for (int y = 0; y < h; ++y) {
            const double omega = std::cos(((y + 0.5) / h - 0.5) * kPi) * (2 * kPi / w) * (kPi / h);
            for (int x = 0; x < w; ++x) {
                dirs.push_back(pixelDirection(x, y, w, h));
                red.push_back(image.at(x, y).red * omega);
                green.push_back(image.at(x, y).green * omega);
                blue.push_back(image.at(x, y).blue * omega);
            }
        }
    }
};

// Mean of factor x factor blocks: a lower resolution that keeps each block's power (the solid
// angles of a block's rows differ only slightly).
inline ix::Reference<ixImage::Float3Image> boxDownsample(const ixImage::Float3Image& in,
                                                         int factor) {
    const int w = in.getWidth() / factor, h = in.getHeight() / factor;
    ix::Reference<ixImage::Float3Image> out(new ixImage::Float3Image());
    out->setSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double r = 0, g = 0, b = 0;
            for (int j = 0; j < factor; ++j)
                for (int i = 0; i < factor; ++i) {
                    const ixImage::FloatPixel3<float>& p = in.at(x * factor + i, y * factor + j);
                    r += p.red, g += p.green, b += p.blue;
                }
            const double n = factor * factor;
            out->at(x, y) = ixImage::FloatPixel3<float>(float(r / n), float(g / n), float(b / n));
        }
    return out;
}

// Integral of L(w) (n + 1) / (2 pi) max(0, w.R)^n over w (n = 1 is also the Lambert map).
inline ixImage::FloatPixel3<double> phongPrefilter(const WeightedSamples& s, const Dir& R, int n) {
    double r = 0.0, g = 0.0, b = 0.0;
    for (size_t i = 0; i < s.dirs.size(); ++i) {
        const double c = dot(s.dirs[i], R);
        if (c <= 0.0) continue;
        double f = 1.0, base = c;  // c^n by repeated squaring
        for (int e = n; e > 0; e >>= 1, base *= base)
            if (e & 1) f *= base;
        r += f * s.red[i], g += f * s.green[i], b += f * s.blue[i];
    }
    const double scale = (n + 1) / (2.0 * kPi);
    return {r * scale, g * scale, b * scale};
}

// Integral of L(w) f(w, V) max(0, w.N) over w for an isotropic reflectance. brdfCos(wi, wo)
// takes unit directions in a surface frame with the normal on +Z (any tangent works, the
// reflectance being isotropic) and returns f(wi, wo) cos(theta_i) as a FloatPixel3<double>.
template <class BrdfCos>
ixImage::FloatPixel3<double> brdfPrefilter(const WeightedSamples& s, const Dir& N, const Dir& V,
                                           const BrdfCos& brdfCos) {
    const Dir a = std::fabs(N.z) < 0.9 ? Dir{0, 0, 1} : Dir{1, 0, 0};
    Dir t{a.y * N.z - a.z * N.y, a.z * N.x - a.x * N.z, a.x * N.y - a.y * N.x};
    const double length = std::sqrt(dot(t, t));
    t = {t.x / length, t.y / length, t.z / length};
    const Dir b{N.y * t.z - N.z * t.y, N.z * t.x - N.x * t.z, N.x * t.y - N.y * t.x};
    const double wo[3] = {dot(V, t), dot(V, b), dot(V, N)};
    double r = 0.0, g = 0.0, bl = 0.0;
    for (size_t i = 0; i < s.dirs.size(); ++i) {
        const double cosI = dot(s.dirs[i], N);
        if (cosI <= 0.0) continue;
        const double wi[3] = {dot(s.dirs[i], t), dot(s.dirs[i], b), cosI};
        const ixImage::FloatPixel3<double> f = brdfCos(wi, wo);
        r += f.red * s.red[i], g += f.green * s.green[i], bl += f.blue * s.blue[i];
    }
    return {r, g, bl};
}

// Relative RMS difference of values against references: sqrt(sum (a - b)^2 / sum b^2).
struct RelativeRms {
    double squaredError = 0.0, squaredReference = 0.0;
    void add(double a, double b) { squaredError += (a - b) * (a - b), squaredReference += b * b; }
    double value() const {
        return squaredReference > 0.0 ? std::sqrt(squaredError / squaredReference) : 0.0;
    }
};

// The generated rotation-matrix file of this build.
inline std::string rotationMatrixFile() { return shareDir() + "/sh_rotation_matrices.txt"; }

// Keeps every fraction a computation reports.
struct RecordingProgress : ixUtil::Progress {
    void set(double fraction) override { seen.push_back(fraction); }
    std::vector<double> seen;
};

}  // namespace ixTest
