// Costs of the base-library stand-ins that the image operations lean on: rectangle packing for
// atlases and the overhead of a thread-pool run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "iximage/interfaces/rect_pack.h"
#include "iximage/interfaces/thread_pool.h"

namespace {

std::vector<ixUtil::IntRange2d> randomTiles(int count) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> side(1, 64);
    std::vector<ixUtil::IntRange2d> tiles;
    for (int i = 0; i < count; ++i) tiles.emplace_back(0, 0, side(rng), side(rng));
    return tiles;
}

void packBenchmark(benchmark::State& state, bool tight) {
    const std::vector<ixUtil::IntRange2d> tiles = randomTiles(static_cast<int>(state.range(0)));
    double fill = 0.0;
    for (auto _ : state) {
        std::vector<ixUtil::IntRange2d> work = tiles;
        const ixUtil::IntRange2d range = ixUtil::pack(work, tight);
        benchmark::DoNotOptimize(work.data());
        double used = 0.0;
        for (const ixUtil::IntRange2d& t : work) used += double(t.width) * t.height;
        fill = used / (double(range.width) * range.height);
    }
    state.counters["fill"] = fill;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_PackTight(benchmark::State& state) { packBenchmark(state, true); }
void BM_PackShelves(benchmark::State& state) { packBenchmark(state, false); }
BENCHMARK(BM_PackTight)->Arg(16)->Arg(100)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PackShelves)->Arg(16)->Arg(100)->Arg(500)->Unit(benchmark::kMicrosecond);

// A run whose items do next to nothing: what a run costs on top of its work.
struct EmptyAlg : ixUtil::ThreadedAlg {
    std::atomic<int> done{0};
    void work(int, int) override { done.fetch_add(1, std::memory_order_relaxed); }
};

void BM_ThreadPoolRunOverhead(benchmark::State& state) {
    ixUtil::ThreadPool::get().setThreadLimit(static_cast<int>(state.range(0)));
    const int count = static_cast<int>(state.range(1));
    for (auto _ : state) {
        EmptyAlg alg;
        ixUtil::ThreadPool::get().run(alg, count);
        benchmark::DoNotOptimize(alg.done.load());
    }
    ixUtil::ThreadPool::get().setThreadLimit(std::max(1u, std::thread::hardware_concurrency()));
}
BENCHMARK(BM_ThreadPoolRunOverhead)
    ->ArgNames({"threads", "count"})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({1, 64})
    ->Args({2, 64})
    ->Unit(benchmark::kMicrosecond);

// Items of about 50 microseconds each: how close two threads come to halving the time.
struct BusyAlg : ixUtil::ThreadedAlg {
    std::vector<double> results;
    void initialize(int count) override { results.assign(static_cast<size_t>(count), 0.0); }
    void work(int index, int) override {
        double s = 0.0;
        for (int i = 1; i < 20000; ++i) s += std::sqrt(double(i + index));
        results[static_cast<size_t>(index)] = s;
    }
};

void BM_ThreadPoolBusyItems(benchmark::State& state) {
    ixUtil::ThreadPool::get().setThreadLimit(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        BusyAlg alg;
        ixUtil::ThreadPool::get().run(alg, 64);
        benchmark::DoNotOptimize(alg.results.data());
    }
    ixUtil::ThreadPool::get().setThreadLimit(std::max(1u, std::thread::hardware_concurrency()));
}
BENCHMARK(BM_ThreadPoolBusyItems)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
