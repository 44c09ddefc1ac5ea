#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "iximage/interfaces/thread_pool.h"

using ixUtil::ThreadedAlg;
using ixUtil::ThreadedAlgBase;
using ixUtil::ThreadPool;

namespace {

// Counts the pool's calls and flags any work outside initialize .. finalize, any finalize
// before every work call returned, and any index or count other than promised.
class RecordingAlg : public ThreadedAlgBase {
public:
    void initialize(int count) override {
        initializeCalls++;
        initializeCount = count;
        initializeThread = std::this_thread::get_id();
        hits = std::make_unique<std::atomic<int>[]>(static_cast<size_t>(std::max(count, 0)));
        for (int i = 0; i < count; ++i) hits[static_cast<size_t>(i)] = 0;
        if (finalizeCalls != 0) misuse = true;
    }
    void work(int index, int count) override {
        if (initializeCalls != 1 || finalizeCalls != 0 || count != initializeCount || index < 0 ||
            index >= count) {
            misuse = true;
            return;
        }
        hits[static_cast<size_t>(index)]++;
        worksDone++;
    }
    void finalize() override {
        finalizeCalls++;
        finalizeThread = std::this_thread::get_id();
        if (worksDone != std::max(initializeCount, 0)) misuse = true;
    }

    int initializeCalls = 0, initializeCount = -1;
    std::atomic<int> finalizeCalls{0}, worksDone{0};
    std::thread::id initializeThread, finalizeThread;
    std::unique_ptr<std::atomic<int>[]> hits;
    std::atomic<bool> misuse{false};
};

class SumAlg : public ThreadedAlg {
public:
    void work(int index, int) override { sum += index + 1; }
    std::atomic<long long> sum{0};
};

}  // namespace

TEST(ThreadPool, EveryIndexOnceBetweenInitializeAndFinalize) {
    // A count below 1 runs initialize and finalize only; no count means one index per thread.
    for (int count : {-5, 0, 1, 2, 3, 17, 1000, INT_MIN}) {
        RecordingAlg alg;
        if (count == INT_MIN) {
            ThreadPool::get().run(alg);
            EXPECT_EQ(alg.initializeCount, ThreadPool::get().getThreadCount());
            EXPECT_GE(alg.initializeCount, 1);
        } else {
            ThreadPool::get().run(alg, count);
            EXPECT_EQ(alg.initializeCount, count);
        }
        EXPECT_EQ(alg.initializeCalls, 1) << "count " << count;
        EXPECT_EQ(alg.finalizeCalls.load(), 1) << "count " << count;
        EXPECT_EQ(alg.initializeThread, std::this_thread::get_id()) << "count " << count;
        EXPECT_EQ(alg.finalizeThread, std::this_thread::get_id()) << "count " << count;
        EXPECT_FALSE(alg.misuse) << "count " << count;
        for (int i = 0; i < alg.initializeCount; ++i)
            ASSERT_EQ(alg.hits[static_cast<size_t>(i)].load(), 1)
                << "index " << i << " of " << count;
    }
}

TEST(ThreadPool, ManySmallRunsFromSeveralThreadsAtOnce) {
    std::atomic<int> failures{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 6; ++t) {
        callers.emplace_back([t, &failures] {
            std::mt19937 rng(1234u + static_cast<unsigned>(t));
            for (int r = 0; r < 150; ++r) {
                const int count = std::uniform_int_distribution<int>(1, 40)(rng);
                SumAlg alg;
                ThreadPool::get().run(alg, count);
                if (alg.sum.load() != (long long)count * (count + 1) / 2) failures++;
            }
        });
    }
    for (std::thread& c : callers) c.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST(ThreadPool, ExceptionReachesCallerAfterAllIndicesRanAndFinalize) {
    struct ThrowingAlg : RecordingAlg {
        void work(int index, int count) override {
            RecordingAlg::work(index, count);
            if (index % 10 == 3) throw std::runtime_error("index " + std::to_string(index));
        }
    };
    ThrowingAlg alg;
    try {
        ThreadPool::get().run(alg, 100);
        ADD_FAILURE() << "no exception reached the caller";
    } catch (const std::runtime_error& e) {
        // Which throwing index comes first depends on scheduling; it must be one of them.
        EXPECT_EQ(std::stoi(std::string(e.what()).substr(6)) % 10, 3) << e.what();
    }
    EXPECT_EQ(alg.finalizeCalls.load(), 1);
    EXPECT_FALSE(alg.misuse);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(alg.hits[static_cast<size_t>(i)].load(), 1) << i;
    SumAlg after;  // the pool is still usable afterwards
    ThreadPool::get().run(after, 10);
    EXPECT_EQ(after.sum.load(), 55);
}

TEST(ThreadPool, NestedRunsFromInsideWorkComplete) {
    // Three levels: 6 outer items, each running 5 middle items, each running 20 inner items.
    struct Level : ThreadedAlg {
        std::atomic<long long>* total;
        std::vector<int> counts;  // of the levels below this one
        void work(int, int) override {
            if (counts.empty()) {
                (*total)++;
                return;
            }
            Level inner;
            inner.total = total;
            inner.counts.assign(counts.begin() + 1, counts.end());
            ThreadPool::get().run(inner, counts[0]);
        }
    };
    std::atomic<long long> total{0};
    Level outer;
    outer.total = &total;
    outer.counts = {5, 20};
    ThreadPool::get().run(outer, 6);
    EXPECT_EQ(total.load(), 6 * 5 * 20);
}
