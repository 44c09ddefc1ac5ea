#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "iximage/interfaces/thread_pool.h"

using ixUtil::ThreadPool;

namespace {

// Counts the pool's calls per index and flags any work outside initialize .. finalize, any
// finalize before every work call returned, any index or count other than promised, and
// initialize or finalize on a thread other than the caller's.
struct RecordingAlg : ixUtil::ThreadedAlgBase {
    void initialize(int n) override {
        misuse = misuse || initialized || std::this_thread::get_id() != caller;
        initialized = true;
        count = n;
        hits = std::make_unique<std::atomic<int>[]>(size_t(std::max(n, 0)));
    }
    void work(int index, int n) override {
        if (!initialized || finalized || n != count || index < 0 || index >= n) misuse = true;
        if (!misuse) hits[size_t(index)]++, done++;
    }
    void finalize() override {
        misuse = misuse || finalized || done != std::max(count, 0) ||
                 std::this_thread::get_id() != caller;
        finalized = true;
    }
    // Every index ran exactly once between one initialize and one finalize.
    bool ranOnce() const {
        for (int i = 0; i < count; ++i)
            if (hits[size_t(i)] != 1) return false;
        return initialized && finalized && !misuse;
    }

    std::thread::id caller = std::this_thread::get_id();
    int count = -1;
    std::unique_ptr<std::atomic<int>[]> hits;
    std::atomic<int> done{0};
    std::atomic<bool> initialized{false}, finalized{false}, misuse{false};
};

struct SumAlg : ixUtil::ThreadedAlg {
    void work(int index, int) override { sum += index + 1; }
    std::atomic<long long> sum{0};
};

}  // namespace

// A count below 1 runs initialize and finalize only; no count means one index per thread.
TEST(ThreadPool, EveryIndexOnceBetweenInitializeAndFinalize) {
    for (int count : {-5, 0, 1, 2, 3, 17, 1000, INT_MIN}) {
        RecordingAlg alg;
        count == INT_MIN ? ThreadPool::get().run(alg) : ThreadPool::get().run(alg, count);
        const int expected = count == INT_MIN ? ThreadPool::get().getThreadCount() : count;
        EXPECT_TRUE(alg.ranOnce() && alg.count == expected && (count != INT_MIN || expected >= 1))
            << "count " << count;
    }
}

TEST(ThreadPool, ManySmallRunsFromSeveralThreadsAtOnce) {
    std::atomic<int> failures{0};
    std::vector<std::thread> callers;
    for (unsigned t = 0; t < 6; ++t)
        callers.emplace_back([t, &failures] {
            std::mt19937 rng(1234u + t);
            for (int r = 0; r < 150; ++r) {
                const int count = std::uniform_int_distribution<int>(1, 40)(rng);
                SumAlg alg;
                ThreadPool::get().run(alg, count);
                if (alg.sum != (long long)count * (count + 1) / 2) failures++;
            }
        });
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
    EXPECT_TRUE(alg.ranOnce());
    SumAlg after;  // the pool is still usable afterwards
    ThreadPool::get().run(after, 10);
    EXPECT_EQ(after.sum.load(), 55);
}

// Three levels: 6 outer items, each running 5 middle items, each running 20 inner items.
TEST(ThreadPool, NestedRunsFromInsideWorkComplete) {
    struct Level : ixUtil::ThreadedAlg {
        std::atomic<long long>* total;
        std::vector<int> counts;  // of the levels below this one
        void work(int, int) override {
            if (counts.empty()) return void((*total)++);
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
