// Brute-force references shared by the specular and diffuse tests: latitude-longitude
// directions, the Phong-prefiltered radiance integrated pixel by pixel, error measures.
//
// Frame: the environment maps' latitude-longitude convention, written out plainly here:
//   lambda = (2v - 1) pi / 2 from -Z (v = 0) to +Z (v = 1), mu = (2u - 1) pi,
//   dir = (-sin mu cos lambda, -cos mu cos lambda, sin lambda); pixel (x, y) centred at
//   ((x + 0.5) / w, (y + 0.5) / h), solid angle about cos(lambda) (2 pi / w) (pi / h).
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/progress.h"
#include "support/test_math.h"
#include "test_support.h"

namespace ixTest {

inline Dir latLongDirection(double u, double v) {
    const double lambda = (2.0 * v - 1.0) * kPi * 0.5;
    const double mu = (2.0 * u - 1.0) * kPi;
    return {-std::sin(mu) * std::cos(lambda), -std::cos(mu) * std::cos(lambda), std::sin(lambda)};
}

inline Dir pixelDirection(int x, int y, int w, int h) {
    return latLongDirection((x + 0.5) / w, (y + 0.5) / h);
}

// An RGB radiance image flattened into directions and weights (radiance times solid angle),
// so a prefilter is one pass of dot products.
struct WeightedSamples {
    std::vector<Dir> dirs;
    std::vector<double> red, green, blue;

    explicit WeightedSamples(const ixImage::Float3Image& image) {
        const int w = image.getWidth(), h = image.getHeight();
        for (int y = 0; y < h; ++y) {
            const double omega = std::cos(((y + 0.5) / h - 0.5) * kPi) * (2 * kPi / w) * (kPi / h);
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
    double r = 0.0, g = 0.0, b = 0.0;
    for (size_t i = 0; i < s.dirs.size(); ++i) {
        const double c = dot(s.dirs[i], R);
        if (c <= 0.0) continue;
        double f = 1.0, base = c;  // c^n by repeated squaring
        for (int e = n; e > 0; e >>= 1, base *= base)
            if (e & 1) f *= base;
        r += f * s.red[i];
        g += f * s.green[i];
        b += f * s.blue[i];
    }
    const double scale = (n + 1) / (2.0 * kPi);
    return {r * scale, g * scale, b * scale};
}

// Relative RMS difference of values against references: sqrt(sum (a - b)^2 / sum b^2).
struct RelativeRms {
    double squaredError = 0.0, squaredReference = 0.0;
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
struct RecordingProgress : ixUtil::Progress {
    void set(double fraction) override { seen.push_back(fraction); }
    std::vector<double> seen;
};

}  // namespace ixTest
