// Records the largest single allocation made through the global operator new while watching.
// The replacement operators live in a translation unit of their own, so the optimiser never
// inlines them into callers and pairs a malloc with a delete.
#pragma once

#include <cstddef>

namespace allocationWatch {
void start();  // also forgets the largest allocation seen so far
void stop();
std::size_t largest();
}  // namespace allocationWatch
