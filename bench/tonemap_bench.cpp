// Tone mapping throughput on a light-probe-sized float RGB image.
#include <benchmark/benchmark.h>

#include <random>

#include "iximage/image/typed_image.h"
#include "iximage/tonemap/tone_map.h"

namespace {

void BM_ToneMapFloat3Image(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = width / 2;
    ixImage::Float3Image source;
    source.setSize(width, height);
    std::mt19937 rng(3);
    std::exponential_distribution<float> radiance(1.0f);
    for (int i = 0; i < width * height; ++i)
        source.data()[i] = {radiance(rng), radiance(rng), radiance(rng)};

    ixImage::ToneControls controls;
    controls.gamma = 2.2f;
    controls.exposure = 0.5f;
    // Second argument 1: saturation 1, the common case that needs no saturation power.
    controls.saturation = state.range(1) == 1 ? 1.0f : 1.2f;
    ixImage::ToneMap map;
    map.calculate(controls);

    ixImage::Float3Image image;
    image.setSize(width, height);
    for (auto _ : state) {
        std::copy(source.data(), source.data() + width * height, image.data());
        map.apply(static_cast<ixImage::Image&>(image));
        benchmark::DoNotOptimize(image.data());
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}
BENCHMARK(BM_ToneMapFloat3Image)
    ->ArgNames({"width", "unitSaturation"})
    ->Args({512, 0})
    ->Args({512, 1})
    ->Args({2048, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
