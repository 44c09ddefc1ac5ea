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

// Restores the default limit (all hardware threads) when a test that changes it ends.
struct ThreadLimitGuard {
    ~ThreadLimitGuard() { ThreadPool::get().setThreadLimit(INT_MAX); }
};

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

TEST(ThreadPool, ThreadLimitBoundsConcurrencyAndIsClamped) {
    ThreadLimitGuard guard;
    const int hardware = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    struct LimitCase {
        int requested, expected;
    };
    const LimitCase cases[] = {{1, 1},  {2, std::min(2, hardware)}, {0, 1},
                               {-7, 1}, {INT_MAX, hardware},        {hardware, hardware}};
    for (const LimitCase& c : cases) {
        ThreadPool::get().setThreadLimit(c.requested);
        EXPECT_EQ(ThreadPool::get().getThreadCount(), c.expected) << "limit " << c.requested;
        struct ConcurrencyAlg : ThreadedAlg {
            std::atomic<int> active{0}, maxActive{0};
            std::mutex mutex;
            std::set<std::thread::id> threads;
            void work(int, int) override {
                const int now = ++active;
                int seen = maxActive.load();
                while (now > seen && !maxActive.compare_exchange_weak(seen, now)) {
                }
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    threads.insert(std::this_thread::get_id());
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                --active;
            }
        };
        ConcurrencyAlg alg;
        ThreadPool::get().run(alg, 64);
        EXPECT_LE(alg.maxActive.load(), c.expected) << "limit " << c.requested;
        EXPECT_LE(static_cast<int>(alg.threads.size()), c.expected) << "limit " << c.requested;
        if (c.expected == 1) {
            EXPECT_EQ(alg.threads.count(std::this_thread::get_id()), 1u)
                << "a one-thread run works on its caller";
        }
    }
}
