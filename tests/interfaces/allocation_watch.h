#pragma once

#include <cstddef>

// Records the largest single allocation made through the global operator new while watching
// is on. The replacement operators live in allocation_watch.cpp, a translation unit of their
// own, so the optimiser never inlines them into callers and pairs a malloc with a delete.
namespace allocationWatch {

void start();
void stop();
std::size_t largest();

}  // namespace allocationWatch
