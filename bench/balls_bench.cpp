// The material-ball row of ibl-bake: four 160 x 160 balls (matte and three specular maps),
// four rays per pixel, behind them the 512 x 256 built-in sky. The target is well under
// 100 ms for the row. The maps are 200 x 100 stand-ins (the sky resized): the renderer's cost
// does not depend on their content.
#include <benchmark/benchmark.h>

#include "balls.h"
#include "iximage/envmap/recognize_remap.h"
#include "iximage/image/resize.h"
#include "iximage/lighting/irradiance_alg.h"
#include "sky_probe.h"

namespace {

void BM_BallRow(benchmark::State& state) {
    ix::Reference<ixImage::Float3Image> sky(iblBake::makeSkyProbe(256));
    ix::Reference<ixImage::EnvironmentMap> background(ixImage::newEnvironmentMap(*sky));
    ix::Reference<ixImage::Image> small(ixImage::resize(*sky, 200, 100, true));
    ix::Reference<ixImage::EnvironmentMap> specular(ixImage::newEnvironmentMap(*small));
    iblBake::BallScene scene;
    scene.background = background.get();
    ixImage::IrradianceAlg alg;
    alg.accumulate(*background);
    alg.getIrradiance(scene.irradiance);
    scene.materials = {{"MATTE", nullptr},
                       {"PHONG 8", specular.get()},
                       {"PHONG 32", specular.get()},
                       {"LAMBERT", specular.get()}};
    for (auto _ : state) {
        ix::Reference<ixImage::Float3Image> row(iblBake::renderBallRow(scene));
        benchmark::DoNotOptimize(row->at(0, 0).red);
    }
}
BENCHMARK(BM_BallRow)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
