// Writes the spherical-harmonic rotation-matrix file that the library loads at start-up.
//
// Usage: sh_rotation_gen <output file>
//
// For each band l = 0..20 and polar sample k = 0..99 one record: the line "l k", then the
// (2l+1) x (2l+1) matrix D(l, Ry(k pi / 100)) row by row, one row per line, each number in its
// shortest form that reads back to the same double. Before writing, every matrix is checked for
// orthogonality; a matrix that is off by more than 1e-12 fails the run (and so the build).
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "iximage/sh/generator/sh_rotation_math.h"

namespace {

constexpr int kPolarSamples = 100;
constexpr double kOrthogonalityTolerance = 1e-12;

double orthogonalityError(const std::vector<double>& D, int n) {
    double worst = 0.0;
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) {
            double sum = 0.0;
            for (int k = 0; k < n; ++k) sum += D[k * n + a] * D[k * n + b];
            worst = std::fmax(worst, std::fabs(sum - (a == b ? 1.0 : 0.0)));
        }
    return worst;
}

void appendNumber(std::string& out, double v) {
    char buffer[32];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, r.ptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sh_rotation_gen <output file>\n");
        return 2;
    }
    const ixShRotation::YRotation rotation;
    std::string text;
    text.reserve(32u << 20);
    for (int l = 0; l <= ixShRotation::kMaxBand; ++l) {
        const int n = 2 * l + 1;
        for (int k = 0; k < kPolarSamples; ++k) {
            const std::vector<double> D = rotation.band(l, k * ixShRotation::kPi / 100.0);
            const double error = orthogonalityError(D, n);
            if (!(error <= kOrthogonalityTolerance)) {
                std::fprintf(stderr, "sh_rotation_gen: band %d sample %d off by %g\n", l, k, error);
                return 1;
            }
            text += std::to_string(l) + ' ' + std::to_string(k) + '\n';
            for (int a = 0; a < n; ++a) {
                for (int b = 0; b < n; ++b) {
                    if (b > 0) text += ' ';
                    appendNumber(text, D[a * n + b]);
                }
                text += '\n';
            }
        }
    }

    const std::string partial = std::string(argv[1]) + ".part";
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "sh_rotation_gen: cannot write %s\n", partial.c_str());
        return 1;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written || std::rename(partial.c_str(), argv[1]) != 0) {
        std::fprintf(stderr, "sh_rotation_gen: cannot write %s\n", argv[1]);
        std::remove(partial.c_str());
        return 1;
    }
    return 0;
}
