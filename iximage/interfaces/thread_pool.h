// The process-wide thread pool and the threaded-algorithm interface it runs.
//
// A run calls, in order: initialize(count) on the calling thread; work(index, count) once for
// every index in 0..count-1, spread over the pool's worker threads (possibly concurrently);
// finalize() on the calling thread; and returns only when every index has finished. If work()
// throws, the remaining indices still run and the first exception is rethrown to the caller of
// run() after finalize(). Runs may be started from several threads at once.
#pragma once

#include "iximage/interfaces/export.h"

namespace ixUtil {

class IXIMAGE_API ThreadedAlgBase {
public:
    virtual ~ThreadedAlgBase();
    virtual void initialize(int count) = 0;
    virtual void work(int index, int count) = 0;
    virtual void finalize() = 0;
};

// Convenience base: initialize and finalize do nothing unless overridden.
class IXIMAGE_API ThreadedAlg : public ThreadedAlgBase {
public:
    ~ThreadedAlg() override;
    void initialize(int count) override;
    void finalize() override;
};

class IXIMAGE_API ThreadPool {
public:
    // The pool shared by the whole process: one worker per hardware thread, started on first
    // use and joined at process exit.
    static ThreadPool& get();

    virtual ~ThreadPool();

    // Number of worker threads a run spreads its indices over.
    virtual int getThreadCount() const;

    // Runs alg with one index per worker thread (count = getThreadCount()).
    virtual void run(ThreadedAlgBase& alg);

    // Runs alg with an explicit index count (count < 1 runs initialize and finalize only).
    void run(ThreadedAlgBase& alg, int count);

    // Limits how many workers later runs use (1 .. hardware threads; values out of range are
    // clamped). Benchmarks use it to compare one thread against all of them.
    void setThreadLimit(int limit);

    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

private:
    ThreadPool();
    struct Impl;
    Impl* impl;
};

}  // namespace ixUtil
