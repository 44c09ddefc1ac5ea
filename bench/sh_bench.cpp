// Spherical-harmonic core: loading the rotation-matrix file, and the two projections at the
// library's working sizes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "iximage/sh/brdf_coeffs.h"
#include "iximage/sh/detail/rotation_matrix_block.h"
#include "iximage/sh/detail/sh_tables.h"
#include "iximage/sh/light_coeffs.h"
#include "iximage/sh/rotation_matrices.h"

namespace {

using namespace ixImage;

const std::string& rotationFile() {
    static const std::string path = std::string(IXIMAGE_SHARE_DIR) + "/sh_rotation_matrices.txt";
    return path;
}

void BM_LoadRotationMatrices(benchmark::State& state) {
    std::vector<double> block(kRotationMatrixCount);
    for (auto _ : state) {
        if (!readRotationMatrices(block.data(), rotationFile().c_str(), nullptr)) {
            state.SkipWithError("rotation-matrix file missing");
            return;
        }
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations() * 1234100);
}
BENCHMARK(BM_LoadRotationMatrices)->Unit(benchmark::kMillisecond);

// The plain formatted-read loop over the same file, for comparison.
void BM_LoadRotationMatricesFscanf(benchmark::State& state) {
    std::vector<double> block(kRotationMatrixCount);
    for (auto _ : state) {
        std::FILE* file = std::fopen(rotationFile().c_str(), "rt");
        if (!file) {
            state.SkipWithError("rotation-matrix file missing");
            return;
        }
        for (int l = 0; l <= 20; ++l)
            for (int k = 0; k < 100; ++k) {
                int band, sample;
                if (std::fscanf(file, "%d %d", &band, &sample) != 2) break;
                for (int a = -l; a <= l; ++a)
                    for (int b = -l; b <= l; ++b)
                        if (std::fscanf(file, "%lf ", &block[rotationMatrixIndex(l, a, b, k)]) != 1)
                            break;
            }
        std::fclose(file);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations() * 1234100);
}
BENCHMARK(BM_LoadRotationMatricesFscanf)->Unit(benchmark::kMillisecond);

void BM_BrdfCoeffsOrder10(benchmark::State& state) {
    ixUtil::ArrayN<3, FloatPixel3<double>> samples({100, 100, 200});
    for (int e = 0; e < samples.getCount(); ++e)
        samples.data()[e] = FloatPixel3<double>(std::sin(e * 1e-3), 0.5, std::cos(e * 7e-4));
    ixUtil::ArrayN<3, FloatPixel3<double>> coeffs({21, 21, 21});
    coeffs.clear();
    setupSphericalHarmonicTables();
    for (auto _ : state) {
        computeBrdfCoeffs(samples, coeffs, 10);
        benchmark::DoNotOptimize(coeffs.data());
    }
}
BENCHMARK(BM_BrdfCoeffsOrder10)->Unit(benchmark::kMillisecond);

void BM_LightCoeffs200x100(benchmark::State& state) {
    Float3Image probe;
    probe.setSize(200, 100);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            probe.at(x, y) = FloatPixel3<float>(float(1 + std::sin(x * 0.1)),
                                                float(1 + std::cos(y * 0.2)), 0.5f);
    SphericalHarmonics<FloatPixel3<double>> coeffs(20);
    setupSphericalHarmonicTables();
    for (auto _ : state) {
        computeLightCoeffs(probe, coeffs);
        benchmark::DoNotOptimize(coeffs.data());
    }
}
BENCHMARK(BM_LightCoeffs200x100)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
