// Remapping between projections: a 1024 x 512 float RGB latitude-longitude map into a cross of
// 256-pixel faces, and the cross back into a latitude-longitude map of the same size.
#include <benchmark/benchmark.h>

#include <cmath>

#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/envmap/recognize_remap.h"
#include "iximage/image/typed_image.h"

namespace {

using ixImage::Float3Image;
using ixImage::FloatPixel3;

constexpr int kLatLongWidth = 1024;
constexpr int kLatLongHeight = 512;
constexpr int kFace = 256;

// A smooth environment so that the sampler reads realistic, non-constant data.
ix::Reference<Float3Image> smoothLatLongImage(const ixImage::LatLongMap& map) {
    ix::Reference<Float3Image> image(new Float3Image());
    image->setSize(kLatLongWidth, kLatLongHeight);
    for (int y = 0; y < kLatLongHeight; ++y) {
        for (int x = 0; x < kLatLongWidth; ++x) {
            ixLinear::VectorFlt d;
            map.coordToDir((x + 0.5f) / kLatLongWidth, (y + 0.5f) / kLatLongHeight, d);
            image->at(x, y) = FloatPixel3<float>(1 + d.x, 1 + 2 * d.z * d.z, 1 - d.y);
        }
    }
    return image;
}

struct RemapFixture {
    ix::Reference<ixImage::LatLongMap> latLong{
        new ixImage::LatLongMap(kLatLongWidth, kLatLongHeight)};
    ix::Reference<ixImage::LatLongMap> latLongBack{
        new ixImage::LatLongMap(kLatLongWidth, kLatLongHeight)};
    ix::Reference<ixImage::CrossMap> cross{new ixImage::CrossMap(kFace, false)};

    RemapFixture() {
        latLong->setImage(smoothLatLongImage(*latLong).get());
        ix::Reference<Float3Image> crossImage(new Float3Image());
        crossImage->setSize(3 * kFace, 4 * kFace);
        cross->setImage(crossImage.get());
        ix::Reference<Float3Image> backImage(new Float3Image());
        backImage->setSize(kLatLongWidth, kLatLongHeight);
        latLongBack->setImage(backImage.get());
        ixImage::remap(*latLong, *cross);
    }
};

void BM_RemapLatLongToCross(benchmark::State& state) {
    RemapFixture f;
    for (auto _ : state) {
        ixImage::remap(*f.latLong, *f.cross);
        benchmark::DoNotOptimize(f.cross->getImage()->pixels());
    }
    state.SetItemsProcessed(state.iterations() * 12 * kFace * kFace);
}
BENCHMARK(BM_RemapLatLongToCross)->Unit(benchmark::kMillisecond);

void BM_RemapCrossToLatLong(benchmark::State& state) {
    RemapFixture f;
    for (auto _ : state) {
        ixImage::remap(*f.cross, *f.latLongBack);
        benchmark::DoNotOptimize(f.latLongBack->getImage()->pixels());
    }
    state.SetItemsProcessed(state.iterations() * kLatLongWidth * kLatLongHeight);
}
BENCHMARK(BM_RemapCrossToLatLong)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
