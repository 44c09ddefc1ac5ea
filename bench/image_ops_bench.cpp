// Throughput of the pixel-wise image operations, mask interpolation and mask outlines on
// 1024 x 1024 images (items = pixels).
#include <benchmark/benchmark.h>

#include <list>
#include <random>

#include "iximage/image/arithmetic.h"
#include "iximage/image/flip_min_max.h"
#include "iximage/image/interpolate.h"
#include "iximage/mask/mask_boundaries.h"

using namespace ixImage;

namespace {

constexpr int kSide = 1024;

template <class T, class MakePixel>
void fill(TypedImage<T>& image, MakePixel makePixel) {
    image.setSize(kSide, kSide);
    for (int i = 0; i < kSide * kSide; ++i) image.data()[i] = makePixel(i);
}

void BM_AddFloat3(benchmark::State& state) {
    Float3Image a, b, result;
    fill(a, [](int i) { return FloatPixel3<float>(float(i), 1.0f, 2.0f); });
    fill(b, [](int i) { return FloatPixel3<float>(0.5f, float(i), 3.0f); });
    for (auto _ : state) {
        imageAdd(a, b, result);
        benchmark::DoNotOptimize(result.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_AddFloat3);

void BM_MultHalf4(benchmark::State& state) {
    Half4Image a, b, result;
    fill(a, [](int i) { return FloatPixel4<half>(half(float(i % 100)), 1.0f, 2.0f, 1.0f); });
    fill(b, [](int i) { return FloatPixel4<half>(0.5f, half(float(i % 7)), 3.0f, 1.0f); });
    for (auto _ : state) {
        imageMult(a, b, result);
        benchmark::DoNotOptimize(result.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_MultHalf4);

void BM_AverageFloat4(benchmark::State& state) {
    Float4Image image;
    fill(image, [](int i) { return FloatPixel4<float>(float(i & 255), 1.0f, 2.0f, 1.0f); });
    for (auto _ : state) benchmark::DoNotOptimize(imageAverage(image));
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_AverageFloat4);

void BM_FlipHorizontalFloat3(benchmark::State& state) {
    Float3Image image;
    fill(image, [](int i) { return FloatPixel3<float>(float(i), 0.0f, 0.0f); });
    for (auto _ : state) {
        imageFlipHorizontal(image);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_FlipHorizontalFloat3);

void BM_FlipVerticalFloat3(benchmark::State& state) {
    Float3Image image;
    fill(image, [](int i) { return FloatPixel3<float>(float(i), 0.0f, 0.0f); });
    for (auto _ : state) {
        imageFlipVertical(image);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_FlipVerticalFloat3);

// One pixel in `spacing` known, at random.
void BM_Interpolate(benchmark::State& state) {
    std::mt19937 rng(1);
    const unsigned spacing = static_cast<unsigned>(state.range(0));
    MaskImage mask, source, image;
    fill(mask, [&](int) { return static_cast<unsigned char>(rng() % spacing == 0 ? 255 : 0); });
    fill(source, [&](int) { return static_cast<unsigned char>(rng() & 255u); });
    image.setSize(kSide, kSide);
    for (auto _ : state) {
        for (int i = 0; i < kSide * kSide; ++i) image.data()[i] = source.data()[i];
        imageInterpolate(mask, image);
        benchmark::DoNotOptimize(image.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_Interpolate)->Arg(4)->Arg(1000);

// Random blobs: a coarse random grid of 8 x 8 blocks, so outlines are long and many.
void BM_MaskBoundaries(benchmark::State& state) {
    std::mt19937 rng(2);
    std::vector<unsigned char> blocks((kSide / 8) * (kSide / 8));
    for (unsigned char& b : blocks) b = (rng() & 1u) ? 255 : 0;
    MaskImage mask;
    fill(mask, [&](int i) { return blocks[(i / kSide / 8) * (kSide / 8) + (i % kSide) / 8]; });
    std::size_t outlines = 0;
    for (auto _ : state) {
        std::list<Boundary3d> boundaries;
        computeMaskBoundaries(mask, boundaries);
        outlines = boundaries.size();
        benchmark::DoNotOptimize(outlines);
    }
    state.counters["outlines"] = double(outlines);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_MaskBoundaries);

}  // namespace

BENCHMARK_MAIN();
