// Specular image-based lighting: the cold build of one specular map (its stages and its peak
// memory), the build with the reflectance coefficients already known, the threaded
// reflection-map stage on one and on two threads, and a competent brute-force prefilter of the
// same map, which the pipeline replaces.
//
// The probe is a synthetic 1024 x 512 latitude-longitude sky (smooth lobes plus a fine
// pattern): the work of every stage is independent of the radiance values.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "iximage/interfaces/thread_pool.h"
#include "iximage/lighting/brdf_coeff_cache.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/lighting/phong_reflectance.h"
#include "iximage/sh/brdf_coeffs.h"
#include "iximage/sh/detail/reflection_worker.h"
#include "iximage/sh/detail/rotation_matrix_block.h"
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

// getSpecularMap with light coefficients present, the lighting object's cache emptied before
// each call. Cold (state.range(1) = 1): the process-wide reflectance coefficients are cleared
// too, so the reflectance is sampled and projected every time. Warm (0): they are kept, as for
// a second probe lit with the same reflectance.
void specularMapPhong32(benchmark::State& state, bool cold) {
    ixImage::ImageBasedLighting& lighting = scene().lighting;
    ixImage::PhongReflectance rf(kExponent);
    ixUtil::ThreadPool::get().setThreadLimit(static_cast<int>(state.range(0)));

    double brdf = 0, order = 0, rotation = 0, evaluation = 0;
    long peakKb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        lighting.markAllSpecularMapsUnused();
        lighting.deleteUnusedSpecularMaps();
        if (cold) ixImage::clearBrdfCoeffCache();
        StageClock clock;
        // Reset the high-water mark so VmHWM shows the peak of this build alone.
        { std::ofstream("/proc/self/clear_refs") << "5"; }
        const long before = statusKb("VmRSS:");
        state.ResumeTiming();

        benchmark::DoNotOptimize(lighting.getSpecularMap(rf, &clock));

        state.PauseTiming();
        peakKb = std::max(peakKb, statusKb("VmHWM:") - before);
        brdf += clock.secondsBetween(0.1, 0.4);
        order += clock.secondsBetween(0.4, 0.5);
        rotation += clock.secondsBetween(0.5, 0.75);
        evaluation += clock.secondsBetween(0.9, 1.0);
        state.ResumeTiming();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["sample_project_ms"] = 1e3 * brdf / n;
    state.counters["order_convolution_ms"] = 1e3 * order / n;
    state.counters["reflection_map_ms"] = 1e3 * rotation / n;
    state.counters["evaluate_ms"] = 1e3 * evaluation / n;
    state.counters["peak_extra_MB"] = peakKb / 1024.0;
    ixUtil::ThreadPool::get().setThreadLimit(std::max(1u, std::thread::hardware_concurrency()));
}

void BM_ColdSpecularMapPhong32(benchmark::State& state) { specularMapPhong32(state, true); }
BENCHMARK(BM_ColdSpecularMapPhong32)->Arg(2)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CachedCoeffsSpecularMapPhong32(benchmark::State& state) {
    specularMapPhong32(state, false);
}
BENCHMARK(BM_CachedCoeffsSpecularMapPhong32)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

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

// The ground truth a user would otherwise compute, done competently: every one of the
// 200 x 100 output pixels integrates the 1024 x 512 probe against
// (n + 1) / (2 pi) max(0, w.R)^n, visiting only the probe pixels the lobe can see, four at a
// time in vector registers, with the output rows shared by all hardware threads.
//
// With w = (-sin mu cos lambda, -cos mu cos lambda, sin lambda) for probe pixels and R the same
// for the output pixel, w.R = cos lambda cos lambda_R cos(mu - mu_R) + sin lambda sin lambda_R,
// so in each probe row the lobe sees one interval of columns, |mu - mu_R| < acos(-tan lambda
// tan lambda_R) (none, or the whole row, when the bound leaves [-1, 1]). Rows are stored twice
// over so that an interval wrapping past the seam is contiguous; lanes just outside it have
// w.R <= 0 and are clamped to 0. The power is taken by five squarings (n = 32).
typedef double Lanes4 __attribute__((vector_size(4 * sizeof(double))));

struct BruteForceProbe {
    int w = 0, h = 0;
    std::vector<double> cosLat, sinLat;  // per probe row
    std::vector<double> sinLon, cosLon;  // per column, the row stored twice (2w entries)
    std::vector<double> r, g, b;         // radiance times solid angle, [y][2w]
};

BruteForceProbe bruteForceProbe(const ixImage::Float3Image& probe) {
    BruteForceProbe p;
    p.w = probe.getWidth();
    p.h = probe.getHeight();
    const size_t span = 2 * static_cast<size_t>(p.w);
    for (int y = 0; y < p.h; ++y) {
        const double lambda = ((y + 0.5) / p.h * 2.0 - 1.0) * kPi * 0.5;
        p.cosLat.push_back(std::cos(lambda));
        p.sinLat.push_back(std::sin(lambda));
    }
    for (size_t x = 0; x < span; ++x) {
        const double mu = ((static_cast<double>(x % p.w) + 0.5) / p.w * 2.0 - 1.0) * kPi;
        p.sinLon.push_back(std::sin(mu));
        p.cosLon.push_back(std::cos(mu));
    }
    for (int y = 0; y < p.h; ++y) {
        const double omega = p.cosLat[y] * (2.0 * kPi / p.w) * (kPi / p.h);
        for (size_t x = 0; x < span; ++x) {
            const FloatPixel3<float>& px = probe.at(static_cast<int>(x % p.w), y);
            p.r.push_back(px.red * omega);
            p.g.push_back(px.green * omega);
            p.b.push_back(px.blue * omega);
        }
    }
    return p;
}

// The integral for one output direction R = (lambdaR, muR).
[[gnu::always_inline]] inline Rgb bruteForcePixelBody(const BruteForceProbe& p, double lambdaR,
                                                      double muR) {
    const double cosR = std::cos(lambdaR), sinR = std::sin(lambdaR);
    const Dir R{-std::sin(muR) * cosR, -std::cos(muR) * cosR, sinR};
    Lanes4 sr = {}, sg = {}, sb = {};
    for (int y = 0; y < p.h; ++y) {
        const double bound = -(p.sinLat[y] / p.cosLat[y]) * (sinR / cosR);
        if (bound >= 1.0) continue;  // the whole row lies behind the lobe
        int first = 0, count = p.w;
        if (bound > -1.0) {
            const double half = std::acos(bound);
            const double x0 = (muR - half + kPi) / (2.0 * kPi) * p.w - 0.5;
            first = static_cast<int>(std::floor(x0)) - 1;
            count = static_cast<int>(std::ceil(2.0 * half / (2.0 * kPi) * p.w)) + 3;
            first = ((first % p.w) + p.w) % p.w;
        }
        // Whole vectors: the start is rounded down and the end padded; the extra lanes are
        // clamped away. An interval that would then span the row takes the row once instead.
        int last = p.w;
        if (count + 8 < p.w) {
            first &= ~3;
            last = first + count + 8;
        } else {
            first = 0;
        }
        const double cl = p.cosLat[y], sl = p.sinLat[y] * R.z;
        const size_t row = static_cast<size_t>(y) * 2 * p.w;
        for (int x = first; x + 4 <= last; x += 4) {
            Lanes4 sinLon, cosLon, r, g, b;
            std::memcpy(&sinLon, &p.sinLon[x], sizeof sinLon);
            std::memcpy(&cosLon, &p.cosLon[x], sizeof cosLon);
            Lanes4 c = cl * (-(sinLon * R.x) - cosLon * R.y) + sl;
            c = c > 0.0 ? c : 0.0;
            c = c * c;  // ^2
            c = c * c;  // ^4
            c = c * c;  // ^8
            c = c * c;  // ^16
            c = c * c;  // ^32
            std::memcpy(&r, &p.r[row + x], sizeof r);
            std::memcpy(&g, &p.g[row + x], sizeof g);
            std::memcpy(&b, &p.b[row + x], sizeof b);
            sr += c * r;
            sg += c * g;
            sb += c * b;
        }
    }
    return Rgb(sr[0] + sr[1] + sr[2] + sr[3], sg[0] + sg[1] + sg[2] + sg[3],
               sb[0] + sb[1] + sb[2] + sb[3]);
}

[[gnu::target("avx2")]] Rgb bruteForcePixelAvx2(const BruteForceProbe& p, double lambdaR,
                                                double muR) {
    return bruteForcePixelBody(p, lambdaR, muR);
}
Rgb bruteForcePixelPortable(const BruteForceProbe& p, double lambdaR, double muR) {
    return bruteForcePixelBody(p, lambdaR, muR);
}

void BM_BruteForcePrefilterPhong32(benchmark::State& state) {
    static_assert(kExponent == 32, "the brute force takes the power by five squarings");
    const BruteForceProbe probe = bruteForceProbe(*scene().probe);
    const bool avx2 = __builtin_cpu_supports("avx2");
    std::vector<FloatPixel3<float>> out(200 * 100);
    const double scale = (kExponent + 1) / (2.0 * kPi);
    for (auto _ : state) {
        std::atomic<int> nextRow{0};
        auto rows = [&] {
            for (int y = nextRow++; y < 100; y = nextRow++)
                for (int x = 0; x < 200; ++x) {
                    const double lambda = ((y + 0.5) / 100 * 2.0 - 1.0) * kPi * 0.5;
                    const double mu = ((x + 0.5) / 200 * 2.0 - 1.0) * kPi;
                    const Rgb s = avx2 ? bruteForcePixelAvx2(probe, lambda, mu)
                                       : bruteForcePixelPortable(probe, lambda, mu);
                    out[y * 200 + x] = FloatPixel3<float>(
                        float(s.red * scale), float(s.green * scale), float(s.blue * scale));
                }
        };
        std::vector<std::thread> helpers;
        for (unsigned t = 1; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
            helpers.emplace_back(rows);
        rows();
        for (std::thread& t : helpers) t.join();
        benchmark::DoNotOptimize(out.data());
    }
    // How far the pipeline's map lies from this ground truth (relative, over all pixels and
    // channels): the two must agree for the speed ratio to mean anything.
    ixImage::PhongReflectance rf(kExponent);
    ixImage::EnvironmentMap* map = scene().lighting.getSpecularMap(rf, nullptr);
    const auto* image = map ? dynamic_cast<const ixImage::Float3Image*>(map->getImage()) : nullptr;
    if (!image) return state.SkipWithError("no specular map");
    double worst = 0.0;
    for (int i = 0; i < 200 * 100; ++i) {
        const FloatPixel3<float>& a = image->data()[i];
        const FloatPixel3<float>& b = out[i];
        worst = std::max({worst, std::abs(double(a.red) - b.red) / b.red,
                          std::abs(double(a.green) - b.green) / b.green,
                          std::abs(double(a.blue) - b.blue) / b.blue});
    }
    state.counters["max_rel_diff_to_pipeline"] = worst;
}
BENCHMARK(BM_BruteForcePrefilterPhong32)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
