// Specular image-based lighting: the cold build of one specular map, its stages, the threaded
// reflection-map stage on one and on two threads, and the brute-force prefilter that the
// pipeline replaces.
//
// The probe is a synthetic 1024 x 512 latitude-longitude sky (smooth lobes plus a fine
// pattern): the work of every stage is independent of the radiance values.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "iximage/interfaces/thread_pool.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/phong_reflectance.h"
#include "iximage/sh/brdf_coeffs.h"
#include "iximage/sh/reflection_map.h"
#include "iximage/sh/rotation_matrices.h"

namespace {

using ixImage::FloatPixel3;
using Rgb = FloatPixel3<double>;

const double kPi = 3.141592653589793;
const int kExponent = 32;

struct Dir {
    double x, y, z;
};

// Centre of pixel (x, y) of a w x h latitude-longitude map, in the environment-map frame.
Dir pixelDirection(int x, int y, int w, int h) {
    const double lambda = ((y + 0.5) / h * 2.0 - 1.0) * kPi * 0.5;
    const double mu = ((x + 0.5) / w * 2.0 - 1.0) * kPi;
    return {-std::sin(mu) * std::cos(lambda), -std::cos(mu) * std::cos(lambda), std::sin(lambda)};
}

ix::Reference<ixImage::Float3Image> syntheticProbe() {
    const int w = 1024, h = 512;
    ix::Reference<ixImage::Float3Image> image(new ixImage::Float3Image());
    image->setSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Dir d = pixelDirection(x, y, w, h);
            const double sun = std::exp(40.0 * (0.6 * d.x - 0.3 * d.y + 0.74 * d.z - 1.0));
            const double sky = 0.5 + 0.4 * d.z + 0.05 * std::sin(0.3 * x) * std::cos(0.2 * y);
            image->at(x, y) = FloatPixel3<float>(float(sky + 20.0 * sun), float(sky + 15.0 * sun),
                                                 float(1.2 * sky + 5.0 * sun));
        }
    return image;
}

std::string matrixFile() { return std::string(IXIMAGE_SHARE_DIR) + "/sh_rotation_matrices.txt"; }

// A lighting object with its probe set and its light coefficients computed.
struct LitScene {
    ix::Reference<ixImage::Float3Image> probe = syntheticProbe();
    ixImage::ImageBasedLighting lighting;

    LitScene() {
        ixImage::ImageBasedLighting::setRotationMatrixFilename(ixOS::Filename(matrixFile()));
        ixUtil::Error error;
        lighting.setLightProbe(probe.get(), error);
        ixImage::Irradiance irradiance;
        lighting.getIrradiance(irradiance, nullptr);
    }
};

LitScene& scene() {
    static LitScene lit;
    return lit;
}

// Times between the pipeline's progress reports: 0.1 (start), 0.4 (samples projected),
// 0.5 (order analysis and convolution done), 0.75 (reflection map rotated), 1.0 (evaluated).
class StageClock : public ixUtil::Progress {
public:
    void set(double fraction) override {
        marks.push_back({fraction, std::chrono::steady_clock::now()});
    }
    double secondsBetween(double from, double to) const {
        std::chrono::steady_clock::time_point a{}, b{};
        for (const auto& m : marks) {
            if (m.fraction == from) a = m.when;
            if (m.fraction == to) b = m.when;
        }
        return std::chrono::duration<double>(b - a).count();
    }
    struct Mark {
        double fraction;
        std::chrono::steady_clock::time_point when;
    };
    std::vector<Mark> marks;
};

// Resident-set figures of this process in kB ("VmRSS:" or "VmHWM:").
long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::string(field).size());
    return -1;
}

// Cold getSpecularMap with light coefficients present: the cache is emptied before each call.
void BM_ColdSpecularMapPhong32(benchmark::State& state) {
    ixImage::ImageBasedLighting& lighting = scene().lighting;
    ixImage::PhongReflectance rf(kExponent);
    ixUtil::ThreadPool::get().setThreadLimit(static_cast<int>(state.range(0)));

    double brdf = 0, convolution = 0, rotation = 0, evaluation = 0;
    long peakKb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        lighting.markAllSpecularMapsUnused();
        lighting.deleteUnusedSpecularMaps();
        StageClock clock;
        // Reset the high-water mark so VmHWM shows the peak of this build alone.
        { std::ofstream("/proc/self/clear_refs") << "5"; }
        const long before = statusKb("VmRSS:");
        state.ResumeTiming();

        benchmark::DoNotOptimize(lighting.getSpecularMap(rf, &clock));

        state.PauseTiming();
        peakKb = std::max(peakKb, statusKb("VmHWM:") - before);
        brdf += clock.secondsBetween(0.1, 0.4);
        convolution += clock.secondsBetween(0.4, 0.5);
        rotation += clock.secondsBetween(0.5, 0.75);
        evaluation += clock.secondsBetween(0.9, 1.0);
        state.ResumeTiming();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["brdf_sample_project_ms"] = 1e3 * brdf / n;
    state.counters["order_convolution_ms"] = 1e3 * convolution / n;
    state.counters["create_shrm_ms"] = 1e3 * rotation / n;
    state.counters["evaluate_ms"] = 1e3 * evaluation / n;
    state.counters["build_peak_extra_MB"] = peakKb / 1024.0;
    ixUtil::ThreadPool::get().setThreadLimit(std::max(1u, std::thread::hardware_concurrency()));
}
BENCHMARK(BM_ColdSpecularMapPhong32)->Arg(2)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The threaded stage alone (the rotation of the product into every viewing direction), on
// state.range(0) threads.
void BM_CreateShrmThreads(benchmark::State& state) {
    scene();
    ixImage::ReflectionProduct product({21, 41, 21, 41});
    for (int i = 0; i < product.getCount(); ++i) {
        const double v = std::sin(0.37 * i);
        product.data()[i] = Rgb(v, 0.5 * v, -v);
    }
    ixUtil::ThreadPool::get().setThreadLimit(static_cast<int>(state.range(0)));
    ixImage::ShrmImage image;
    image.setSize(200, 100);
    for (auto _ : state) {
        ixImage::CreateSHRM alg(&product, &image, 20, ixImage::getRotationMatrices());
        ixUtil::ThreadPool::get().run(alg);
        benchmark::DoNotOptimize(image.data());
    }
    ixUtil::ThreadPool::get().setThreadLimit(std::max(1u, std::thread::hardware_concurrency()));
}
BENCHMARK(BM_CreateShrmThreads)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The ground truth a user would otherwise compute: every one of the 200 x 100 output pixels
// integrates the full 1024 x 512 probe against (n + 1) / (2 pi) max(0, w.R)^n. Directions and
// radiance times solid angle are precomputed, the power is taken by repeated squaring, and the
// output rows are split over two threads.
void BM_BruteForcePrefilterPhong32(benchmark::State& state) {
    const ixImage::Float3Image& probe = *scene().probe;
    const int w = probe.getWidth(), h = probe.getHeight();
    std::vector<Dir> dirs;
    std::vector<float> weighted;  // r, g, b times solid angle
    for (int y = 0; y < h; ++y) {
        const double lambda = ((y + 0.5) / h * 2.0 - 1.0) * kPi * 0.5;
        const double omega = std::cos(lambda) * (2.0 * kPi / w) * (kPi / h);
        for (int x = 0; x < w; ++x) {
            dirs.push_back(pixelDirection(x, y, w, h));
            const FloatPixel3<float>& p = probe.at(x, y);
            weighted.push_back(float(p.red * omega));
            weighted.push_back(float(p.green * omega));
            weighted.push_back(float(p.blue * omega));
        }
    }
    std::vector<FloatPixel3<float>> out(200 * 100);
    const double scale = (kExponent + 1) / (2.0 * kPi);
    auto rows = [&](int first, int last) {
        for (int y = first; y < last; ++y)
            for (int x = 0; x < 200; ++x) {
                const Dir r = pixelDirection(x, y, 200, 100);
                double sr = 0, sg = 0, sb = 0;
                for (size_t i = 0; i < dirs.size(); ++i) {
                    double c = dirs[i].x * r.x + dirs[i].y * r.y + dirs[i].z * r.z;
                    if (c <= 0.0) continue;
                    double f = 1.0;
                    for (int e = kExponent; e > 0; e >>= 1) {
                        if (e & 1) f *= c;
                        c *= c;
                    }
                    sr += f * weighted[3 * i];
                    sg += f * weighted[3 * i + 1];
                    sb += f * weighted[3 * i + 2];
                }
                out[y * 200 + x] =
                    FloatPixel3<float>(float(sr * scale), float(sg * scale), float(sb * scale));
            }
    };
    for (auto _ : state) {
        std::thread helper(rows, 0, 50);
        rows(50, 100);
        helper.join();
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_BruteForcePrefilterPhong32)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
