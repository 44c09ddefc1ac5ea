// Diffuse lighting of a fresh probe: the probe check, the blur and shrink of a 1024 x 512
// latitude-longitude probe to the 200 x 100 working grid, the irradiance and the order-20 light
// coefficients. The rotation-matrix file is loaded before the steady-state loop; its one-time
// cost is measured separately.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "iximage/lighting/image_based_lighting.h"
#include "iximage/sh/rotation_matrices.h"

namespace {

using ixImage::Float3Image;
using ixImage::ImageBasedLighting;
using ixImage::Irradiance;

ix::Reference<Float3Image> makeProbe(int width, int height) {
    ix::Reference<Float3Image> probe = new Float3Image;
    probe->setSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // A smooth sky brightening upwards with a small, very bright sun: HDR content.
            const float sky = float(y) / float(height);
            const bool inSun = y > height * 3 / 4 && std::abs(x - width / 3) < 8;
            const float sun = inSun ? 50.0f : 0.0f;
            probe->at(x, y) = {0.2f + sky + sun, 0.3f + 0.5f * sky + sun, 0.4f + sky};
        }
    return probe;
}

void useBuildMatrixFile() {
    ImageBasedLighting::setRotationMatrixFilename(
        (std::string(IXIMAGE_SHARE_DIR) + "/sh_rotation_matrices.txt").c_str());
}

// Steady state: a new probe on a new object, then the first getIrradiance (matrices loaded).
void BM_IrradianceOfNewProbe(benchmark::State& state) {
    useBuildMatrixFile();
    auto probe = makeProbe(1024, 512);
    ixUtil::Error error;
    {
        ImageBasedLighting warmUp;
        warmUp.setLightProbe(probe.get(), error);
        Irradiance irr;
        warmUp.getIrradiance(irr, nullptr);
        if (!warmUp.getLightCoeffs()) {
            state.SkipWithError("rotation-matrix file not loaded");
            return;
        }
    }
    for (auto _ : state) {
        ImageBasedLighting lighting;
        lighting.setLightProbe(probe.get(), error);
        Irradiance irr;
        lighting.getIrradiance(irr, nullptr);
        benchmark::DoNotOptimize(irr.red.m[3][3]);
    }
}
BENCHMARK(BM_IrradianceOfNewProbe)->Unit(benchmark::kMillisecond);

// First use in a process: the same request with the rotation-matrix file parsed again.
void BM_IrradianceFirstUseWithMatrixLoad(benchmark::State& state) {
    useBuildMatrixFile();
    auto probe = makeProbe(1024, 512);
    ixUtil::Error error;
    for (auto _ : state) {
        state.PauseTiming();
        ixImage::finalizeReflectance();
        state.ResumeTiming();
        ImageBasedLighting lighting;
        lighting.setLightProbe(probe.get(), error);
        Irradiance irr;
        lighting.getIrradiance(irr, nullptr);
        benchmark::DoNotOptimize(irr.red.m[3][3]);
    }
}
BENCHMARK(BM_IrradianceFirstUseWithMatrixLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
