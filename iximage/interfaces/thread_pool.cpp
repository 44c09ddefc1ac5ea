#include "iximage/interfaces/thread_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace ixUtil {

ThreadedAlgBase::~ThreadedAlgBase() = default;

ThreadedAlg::~ThreadedAlg() = default;
void ThreadedAlg::initialize(int) {}
void ThreadedAlg::finalize() {}

namespace {

// One call of run(): the indices still to hand out, how many have finished, and the first
// exception a work item threw. Shared between the caller and the workers that help it; the
// shared_ptr keeps it alive for a worker that is still signalling completion after the caller
// has returned.
struct Job {
    Job(ThreadedAlgBase& a, int n, int helpers) : alg(a), count(n), maxHelpers(helpers) {}

    ThreadedAlgBase& alg;
    const int count;
    // Workers allowed to join the caller on this job (the thread limit minus the caller).
    const int maxHelpers;
    // Guarded by the pool's mutex.
    int helpers = 0;

    std::atomic<int> next{0};
    std::atomic<int> finished{0};

    std::mutex doneMutex;
    std::condition_variable doneSignal;
    std::exception_ptr firstError;

    bool hasUnclaimedIndices() const { return next.load(std::memory_order_relaxed) < count; }

    // Claims and runs indices until none is left. Every thread that works on the job, the
    // caller included, runs this same loop, so a job always progresses on its caller's thread
    // even when every worker is busy elsewhere (this is what makes nested runs safe).
    void drain() {
        for (;;) {
            const int index = next.fetch_add(1, std::memory_order_relaxed);
            if (index >= count) return;
            try {
                alg.work(index, count);
            } catch (...) {
                std::lock_guard<std::mutex> lock(doneMutex);
                if (!firstError) firstError = std::current_exception();
            }
            if (finished.fetch_add(1, std::memory_order_acq_rel) + 1 == count) {
                std::lock_guard<std::mutex> lock(doneMutex);
                doneSignal.notify_all();
            }
        }
    }

    void waitUntilFinished() {
        std::unique_lock<std::mutex> lock(doneMutex);
        doneSignal.wait(lock, [this] { return finished.load(std::memory_order_acquire) == count; });
    }
};

int hardwareThreadCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min(n, 1024u));
}

}  // namespace

struct ThreadPool::Impl {
    std::mutex mutex;
    std::condition_variable workAvailable;
    // Jobs that may still have unclaimed indices, oldest first.
    std::deque<std::shared_ptr<Job>> jobs;
    std::vector<std::thread> workers;
    bool stopping = false;
    std::atomic<int> threadLimit{1};

    Impl() {
        const int n = hardwareThreadCount();
        threadLimit.store(n);
        workers.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            try {
                workers.emplace_back([this] { workerLoop(); });
            } catch (const std::system_error&) {
                break;  // the system refused another thread: run with the ones we have
            }
        }
    }

    ~Impl() { shutdown(); }

    // Stops the workers after the index each is running and joins them. Later runs execute on
    // their caller's thread alone.
    void shutdown() {
        std::vector<std::thread> joining;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping) return;
            stopping = true;
            joining.swap(workers);  // run() reads workers under the mutex
        }
        workAvailable.notify_all();
        for (std::thread& t : joining)
            if (t.joinable()) t.join();
    }

    // The oldest job that still has indices to hand out and room for another helper; jobs
    // with nothing left to claim are dropped from the queue on the way. Called under mutex.
    std::shared_ptr<Job> takeJobLocked() {
        while (!jobs.empty() && !jobs.front()->hasUnclaimedIndices()) jobs.pop_front();
        for (const std::shared_ptr<Job>& job : jobs) {
            if (job->helpers < job->maxHelpers && job->hasUnclaimedIndices()) {
                ++job->helpers;
                return job;
            }
        }
        return nullptr;
    }

    void workerLoop() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            std::shared_ptr<Job> job;
            workAvailable.wait(lock,
                               [&] { return stopping || (job = takeJobLocked()) != nullptr; });
            if (stopping) return;
            lock.unlock();
            job->drain();
            lock.lock();
            --job->helpers;
        }
    }

    void run(ThreadedAlgBase& alg, int count) {
        alg.initialize(count);
        if (count > 0) {
            const int limit = threadLimit.load(std::memory_order_relaxed);
            const int helpers = std::min(limit, count) - 1;
            auto job = std::make_shared<Job>(alg, count, std::max(helpers, 0));
            bool queued = false;
            if (helpers > 0) {
                std::lock_guard<std::mutex> lock(mutex);
                if (!stopping && !workers.empty()) {
                    jobs.push_back(job);
                    queued = true;
                }
            }
            if (queued) {
                if (helpers == 1)
                    workAvailable.notify_one();
                else
                    workAvailable.notify_all();
            }
            job->drain();
            job->waitUntilFinished();
            if (queued) {
                std::lock_guard<std::mutex> lock(mutex);
                jobs.erase(std::remove(jobs.begin(), jobs.end(), job), jobs.end());
            }
            alg.finalize();
            if (job->firstError) std::rethrow_exception(job->firstError);
            return;
        }
        alg.finalize();
    }
};

// The pool object is never destroyed, so a run started while the process exits (from another
// static destructor, say) still finds a valid pool; its workers are joined by a static
// destructor registered right after the pool starts, and later runs execute on the caller.
ThreadPool& ThreadPool::get() {
    static ThreadPool* const pool = new ThreadPool();
    struct WorkerJoiner {
        ~WorkerJoiner() { pool->impl->shutdown(); }
    };
    static const WorkerJoiner joiner;
    return *pool;
}

ThreadPool::ThreadPool() : impl(new Impl()) {}

ThreadPool::~ThreadPool() { delete impl; }

int ThreadPool::getThreadCount() const { return impl->threadLimit.load(); }

void ThreadPool::run(ThreadedAlgBase& alg) { impl->run(alg, getThreadCount()); }

void ThreadPool::run(ThreadedAlgBase& alg, int count) { impl->run(alg, count); }

void ThreadPool::setThreadLimit(int limit) {
    impl->threadLimit.store(std::clamp(limit, 1, hardwareThreadCount()));
}

}  // namespace ixUtil
