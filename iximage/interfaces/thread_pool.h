// The process-wide thread pool and the threaded-algorithm interface it runs.
//
// A run calls, in order: initialize(count) on the calling thread; work(index, count) once for
// every index in 0..count-1, spread over the caller and the pool's workers (possibly concurrently);
// finalize() on the calling thread; and returns only when every index has finished. If work()
// throws, the remaining indices still run and the first exception is rethrown to the caller of
// run() after finalize(); an exception from initialize() ends the run before any work.
//
// Scheduling: the caller works on its own run too, taking indices from the run's shared counter
// alongside up to (thread limit - 1) helping workers, so at most getThreadCount() threads run a
// run's work items at once, and a run always progresses even when every worker is busy. Runs may
// therefore be started from several threads at once and from inside work() (nested runs)
// without deadlock. Indices are handed out in increasing order; which thread takes which, and in
// what order they finish, is unspecified. The pool itself is thread-safe; the algorithm object
// must make its own work() safe to call concurrently for different indices.
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
    // use and joined at process exit (runs after that execute on their caller alone).
    static ThreadPool& get();

    virtual ~ThreadPool();

    // Number of threads, the caller included, that a run spreads its indices over: the thread
    // limit, which defaults to the hardware thread count.
    virtual int getThreadCount() const;

    // Runs alg with one index per thread (count = getThreadCount()).
    virtual void run(ThreadedAlgBase& alg);

    // Runs alg with an explicit index count (count < 1 runs initialize and finalize only).
    void run(ThreadedAlgBase& alg, int count);

    // Limits how many threads, the caller included, later runs use (1 .. hardware threads;
    // values out of range are clamped; 1 runs everything on the caller). Process-wide, meant
    // for benchmarks that compare one thread against several.
    void setThreadLimit(int limit);

    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

private:
    ThreadPool();
    struct Impl;
    Impl* impl;
};

}  // namespace ixUtil
