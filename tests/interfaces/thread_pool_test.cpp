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

// Counts the pool's calls per index and flags work outside initialize .. finalize, a finalize
// before every work call returned, an index or count other than promised, and initialize or
// finalize off the caller's thread.
struct RecordingAlg : ixUtil::ThreadedAlgBase {
    void initialize(int n) override {
        misuse = misuse || count != -1 || std::this_thread::get_id() != caller;
        hits = std::make_unique<std::atomic<int>[]>(size_t(std::max(n, 0)));
        count = n;
    }
    void work(int index, int n) override {
        if (count == -1 || finalized || n != count || index < 0 || index >= n) misuse = true;
        if (!misuse) hits[size_t(index)]++, done++;
    }
    void finalize() override {
        misuse = misuse || finalized || done != std::max(count.load(), 0) ||
                 std::this_thread::get_id() != caller;
        finalized = true;
    }
    // Every index ran once, between one initialize and one finalize.
    bool ranOnce() const {
        const auto once = [](const std::atomic<int>& h) { return h == 1; };
        return finalized && !misuse &&
               std::all_of(hits.get(), hits.get() + std::max(count.load(), 0), once);
    }

    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> count{-1}, done{0};
    std::unique_ptr<std::atomic<int>[]> hits;
    std::atomic<bool> finalized{false}, misuse{false};
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

TEST(ThreadPool, ExceptionReachesCallerAfterAllIndicesRanAndFinalize) {
    struct ThrowingAlg : RecordingAlg {
        void work(int index, int count) override {
            RecordingAlg::work(index, count);
            if (index % 10 == 3) throw std::runtime_error(std::to_string(index));
        }
    } alg;
    try {
        ThreadPool::get().run(alg, 100);
        ADD_FAILURE() << "no exception reached the caller";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::stoi(e.what()) % 10, 3) << e.what();  // whichever threw first
    }
    RecordingAlg after;  // the pool is still usable afterwards
    ThreadPool::get().run(after, 10);
    EXPECT_TRUE(alg.ranOnce() && after.ranOnce());
}

// Runs started from several threads at once, each nesting runs three deep from inside work():
// all complete, even when a nested run finds every worker busy.
TEST(ThreadPool, ConcurrentAndNestedRunsComplete) {
    struct Nested : ixUtil::ThreadedAlg {
        Nested(int levels, int count, std::atomic<int>* leaves)
            : levels(levels), count(count), leaves(leaves) {}
        void work(int, int) override {
            Nested inner(levels - 1, count, leaves);
            levels == 0 ? void(++*leaves) : ThreadPool::get().run(inner, count);
        }
        int levels, count;
        std::atomic<int>* leaves;
    };
    std::atomic<int> failures{0};
    std::vector<std::thread> callers;
    for (unsigned t = 0; t < 6; ++t)
        callers.emplace_back([t, &failures] {
            std::mt19937 rng(1234u + t);
            for (int r = 0; r < 40; ++r) {
                const int n = 1 + int(rng() % 8), count = 1 + int(rng() % 8);
                std::atomic<int> leaves{0};
                Nested outer(2, count, &leaves);
                ThreadPool::get().run(outer, n);
                if (leaves != n * count * count) failures++;
            }
        });
    for (std::thread& c : callers) c.join();
    EXPECT_EQ(failures.load(), 0);
}
