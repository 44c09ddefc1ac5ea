// Internal header of the library (not installed, not part of the public API): runs a callable
// once per index on the process-wide thread pool.
//
// parallelFor(count, body) calls body(index) for every index in 0..count-1, spread over the
// calling thread and the pool's workers, and returns when all have finished (an exception from
// body is rethrown by the pool after the rest ran). body must be safe to call concurrently for
// different indices.
#pragma once

#include "iximage/interfaces/thread_pool.h"

namespace ixUtil {

template <class Body>
void parallelFor(int count, const Body& body) {
    class Alg : public ThreadedAlg {
    public:
        explicit Alg(const Body& body) : body(body) {}
        void work(int index, int /*count*/) override { body(index); }

    private:
        const Body& body;
    };
    Alg alg(body);
    ThreadPool::get().run(alg, count);
}

}  // namespace ixUtil
