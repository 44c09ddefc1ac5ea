// Remapping between projections: a 1024 x 512 float RGB latitude-longitude map into a cross of
// 256-pixel faces, and the cross back into a latitude-longitude map of the same size; and the
// energy-preserving resampling that builds the 200 x 100 working probe, from a 4096 x 2048
// latitude-longitude probe and from a cross of 256-pixel faces.
#include <benchmark/benchmark.h>

#include <cmath>

#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/filtered_remap.h"
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
ix::Reference<Float3Image> smoothLatLongImage(const ixImage::LatLongMap& map,
                                              int width = kLatLongWidth) {
    const int height = width / 2;
    ix::Reference<Float3Image> image(new Float3Image());
    image->setSize(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            ixLinear::VectorFlt d;
            map.coordToDir((x + 0.5f) / width, (y + 0.5f) / height, d);
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

// The 200 x 100 working grid, filled by remapFiltered from src.
ix::Reference<ixImage::LatLongMap> workingGrid() {
    ix::Reference<ixImage::LatLongMap> grid(new ixImage::LatLongMap(200, 100));
    ix::Reference<Float3Image> image(new Float3Image());
    image->setSize(200, 100);
    grid->setImage(image.get());
    return grid;
}

void BM_RemapFilteredLatLong4096ToWorkingGrid(benchmark::State& state) {
    ix::Reference<ixImage::LatLongMap> probe(new ixImage::LatLongMap(4096, 2048));
    probe->setImage(smoothLatLongImage(*probe, 4096).get());
    ix::Reference<ixImage::LatLongMap> grid = workingGrid();
    for (auto _ : state) {
        ixImage::remapFiltered(*probe, *grid);
        benchmark::DoNotOptimize(grid->getImage()->pixels());
    }
    state.SetItemsProcessed(state.iterations() * 4096 * 2048);
}
BENCHMARK(BM_RemapFilteredLatLong4096ToWorkingGrid)->Unit(benchmark::kMillisecond);

void BM_RemapFilteredCross256ToWorkingGrid(benchmark::State& state) {
    RemapFixture f;
    ix::Reference<ixImage::LatLongMap> grid = workingGrid();
    for (auto _ : state) {
        ixImage::remapFiltered(*f.cross, *grid);
        benchmark::DoNotOptimize(grid->getImage()->pixels());
    }
    state.SetItemsProcessed(state.iterations() * 6 * kFace * kFace);
}
BENCHMARK(BM_RemapFilteredCross256ToWorkingGrid)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
