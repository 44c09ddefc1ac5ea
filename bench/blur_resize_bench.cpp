// Blur and resize of light-probe-sized float RGB images.
//
// The blur's cost per pixel should not depend on the diameter (running sums); compare the
// times at diameters 1, 11 and 41 within one run.
#include <benchmark/benchmark.h>

#include <random>

#include "iximage/image/blur.h"
#include "iximage/image/resize.h"
#include "iximage/interfaces/reference.h"

using namespace ixImage;

namespace {

void fillRandom(TypedImage<FloatPixel3<float>>& image, int width, int height) {
    image.setSize(width, height);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> radiance(0.0f, 4.0f);
    for (int i = 0; i < width * height; ++i)
        image.data()[i] = FloatPixel3<float>(radiance(rng), radiance(rng), radiance(rng));
}

// Args: diameter, wrapX (latitude-longitude probes wrap across their left and right edges).
void BM_BlurFloat3_2048x1024(benchmark::State& state) {
    TypedImage<FloatPixel3<float>> src, dst;
    fillRandom(src, 2048, 1024);
    const int diameter = static_cast<int>(state.range(0));
    const bool wrapX = state.range(1) != 0;
    for (auto _ : state) {
        imageBlur(src, dst, diameter, wrapX, false);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 2048 * 1024);
}
BENCHMARK(BM_BlurFloat3_2048x1024)
    ->ArgNames({"d", "wrapX"})
    ->Args({1, 0})
    ->Args({11, 0})
    ->Args({41, 0})
    ->Args({1, 1})
    ->Args({11, 1})
    ->Args({41, 1})
    ->Unit(benchmark::kMillisecond);

// Args: source width, source height, target width, target height.
void BM_ResizeBilinearFloat3(benchmark::State& state) {
    TypedImage<FloatPixel3<float>> src;
    fillRandom(src, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const int width = static_cast<int>(state.range(2)), height = static_cast<int>(state.range(3));
    for (auto _ : state) {
        ix::Reference<Image> out(resize(src, width, height, true));
        benchmark::DoNotOptimize(out.get());
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}
BENCHMARK(BM_ResizeBilinearFloat3)
    ->ArgNames({"srcW", "srcH", "dstW", "dstH"})
    ->Args({2048, 1024, 200, 100})
    ->Args({1024, 512, 2048, 1024})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
