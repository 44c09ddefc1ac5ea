// Cold builds of the two-direction reflectances' maps against a Phong map of the same probe
// (run them in one process and compare ratios: the machine's speed cancels), the view-dependent
// map's build, and its evaluation per (normal, view) pair.
//
// The probe is a small synthetic latitude-longitude sky: every stage after the 200 x 100
// working image costs the same whatever the radiance.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "iximage/lighting/blinn_phong_reflectance.h"
#include "iximage/lighting/brdf_coeff_cache.h"
#include "iximage/lighting/ggx_reflectance.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/phong_reflectance.h"

namespace {

struct LitScene {
    ix::Reference<ixImage::Float3Image> probe = new ixImage::Float3Image;
    ixImage::ImageBasedLighting lighting;

    LitScene() {
        probe->setSize(400, 200);
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 400; ++x) {
                const float sky = 0.5f + 0.4f * std::sin(0.05f * x) * std::cos(0.03f * y);
                probe->at(x, y) = ixImage::FloatPixel3<float>(sky, 0.8f * sky, 1.2f * sky);
            }
        ixImage::ImageBasedLighting::setRotationMatrixFilename(
            ixOS::Filename(std::string(IXIMAGE_SHARE_DIR) + "/sh_rotation_matrices.txt"));
        ixUtil::Error error;
        lighting.setLightProbe(probe.get(), error);
        ixImage::Irradiance irradiance;
        lighting.getIrradiance(irradiance, nullptr);
    }
    // Cold: neither the map nor the reflectance coefficients (shared process-wide) are kept.
    void emptyCaches() {
        lighting.markAllSpecularMapsUnused();
        lighting.deleteUnusedSpecularMaps();
        ixImage::clearBrdfCoeffCache();
    }
};

LitScene& scene() {
    static LitScene lit;
    return lit;
}

// Cold getSpecularMap for one model (0 Phong 32, 1 GGX 0.5, 2 Blinn-Phong 32).
void BM_ColdSpecularMap(benchmark::State& state) {
    const ixImage::PhongReflectance phong(32);
    const ixImage::GgxReflectance ggx(0.5);
    const ixImage::BlinnPhongReflectance blinn(32);
    const ixImage::ReflectanceFunction* models[] = {&phong, &ggx, &blinn};
    const char* names[] = {"Phong 32", "GGX 0.5", "Blinn-Phong 32"};
    const ixImage::ReflectanceFunction& rf = *models[state.range(0)];
    state.SetLabel(names[state.range(0)]);
    for (auto _ : state) {
        state.PauseTiming();
        scene().emptyCaches();
        state.ResumeTiming();
        benchmark::DoNotOptimize(scene().lighting.getSpecularMap(rf, nullptr));
    }
}
BENCHMARK(BM_ColdSpecularMap)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ColdViewDependentMapGgx(benchmark::State& state) {
    const ixImage::GgxReflectance ggx(0.5);
    for (auto _ : state) {
        state.PauseTiming();
        scene().emptyCaches();
        state.ResumeTiming();
        benchmark::DoNotOptimize(scene().lighting.getViewDependentMap(ggx, nullptr));
    }
}
BENCHMARK(BM_ColdViewDependentMapGgx)->Unit(benchmark::kMillisecond)->UseRealTime();

// Batch evaluation of random (normal, view) pairs; items per second = pairs per second.
void BM_ViewDependentEvaluate(benchmark::State& state) {
    const ixImage::ViewDependentMap* map =
        scene().lighting.getViewDependentMap(ixImage::GgxReflectance(0.5), nullptr);
    const size_t count = 4096;
    std::vector<ixLinear::VectorFlt> normals(count), views(count);
    std::vector<ixImage::FloatPixel3<float>> out(count);
    std::mt19937 random(3);
    std::normal_distribution<float> gauss;
    for (size_t i = 0; i < count; ++i) {
        normals[i] = ixLinear::VectorFlt(gauss(random), gauss(random), gauss(random));
        views[i] = ixLinear::VectorFlt(gauss(random), gauss(random), gauss(random));
    }
    for (auto _ : state) {
        map->evaluate(normals.data(), views.data(), count, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(count));
}
BENCHMARK(BM_ViewDependentEvaluate)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
