// Brute-force references for the specular maps: directions and solid angles of a
// latitude-longitude image, and the Phong-prefiltered radiance integrated pixel by pixel.
//
// Frame: the environment maps' latitude-longitude convention, written out plainly here:
//   lambda = (2v - 1) pi / 2, mu = (2u - 1) pi, dir = (-sin mu cos lambda, -cos mu cos lambda,
//   sin lambda), pixel (x, y) centred at ((x + 0.5) / w, (y + 0.5) / h), solid angle
//   cos(lambda) (2 pi / w) (pi / h).
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/progress.h"
#include "test_support.h"

namespace ixTest {

struct Dir {
    double x, y, z;
};

inline double dot(const Dir& a, const Dir& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline Dir latLongDirection(double u, double v) {
    const double pi = 3.141592653589793;
    const double lambda = (2.0 * v - 1.0) * pi * 0.5;
    const double mu = (2.0 * u - 1.0) * pi;
    return {-std::sin(mu) * std::cos(lambda), -std::cos(mu) * std::cos(lambda), std::sin(lambda)};
}

inline Dir pixelDirection(int x, int y, int w, int h) {
    return latLongDirection((x + 0.5) / w, (y + 0.5) / h);
}

// c^n for an integer n >= 0 by repeated squaring.
inline double powInt(double c, int n) {
    double result = 1.0;
    while (n > 0) {
        if (n & 1) result *= c;
        c *= c;
        n >>= 1;
    }
    return result;
}

// A latitude-longitude RGB radiance image flattened into directions and weights
// (radiance times solid angle), so a prefilter is one pass of dot products.
struct WeightedSamples {
    std::vector<Dir> dirs;
    std::vector<double> red, green, blue;

    explicit WeightedSamples(const ixImage::Float3Image& image) {
        const int w = image.getWidth();
        const int h = image.getHeight();
        const double pi = 3.141592653589793;
        for (int y = 0; y < h; ++y) {
            const double lambda = ((y + 0.5) / h * 2.0 - 1.0) * pi * 0.5;
            const double omega = std::cos(lambda) * (2.0 * pi / w) * (pi / h);
            for (int x = 0; x < w; ++x) {
                const ixImage::FloatPixel3<float>& p = image.at(x, y);
                dirs.push_back(pixelDirection(x, y, w, h));
                red.push_back(p.red * omega);
                green.push_back(p.green * omega);
                blue.push_back(p.blue * omega);
            }
        }
    }
};

// Integral of L(w) (n + 1) / (2 pi) max(0, w.R)^n over w (n = 1 is also the Lambert map).
inline ixImage::FloatPixel3<double> phongPrefilter(const WeightedSamples& s, const Dir& R, int n) {
    const double scale = (n + 1) / (2.0 * 3.141592653589793);
    double r = 0.0, g = 0.0, b = 0.0;
    for (size_t i = 0; i < s.dirs.size(); ++i) {
        const double c = dot(s.dirs[i], R);
        if (c <= 0.0) continue;
        const double f = powInt(c, n);
        r += f * s.red[i];
        g += f * s.green[i];
        b += f * s.blue[i];
    }
    return {r * scale, g * scale, b * scale};
}

// Relative RMS difference of a against the reference b: sqrt(sum (a - b)^2 / sum b^2).
struct RelativeRms {
    double squaredError = 0.0;
    double squaredReference = 0.0;
    void add(double a, double b) {
        squaredError += (a - b) * (a - b);
        squaredReference += b * b;
    }
    double value() const {
        return squaredReference > 0.0 ? std::sqrt(squaredError / squaredReference) : 0.0;
    }
};

// The generated rotation-matrix file of this build.
inline std::string rotationMatrixFile() { return shareDir() + "/sh_rotation_matrices.txt"; }

// Keeps every fraction a computation reports.
class RecordingProgress : public ixUtil::Progress {
public:
    void set(double fraction) override { seen.push_back(fraction); }
    std::vector<double> seen;
};

}  // namespace ixTest
