#include "allocation_watch.h"

#include <cstdlib>
#include <new>

static bool watching = false;
static std::size_t largestSeen = 0;

void allocationWatch::start() { largestSeen = 0, watching = true; }
void allocationWatch::stop() { watching = false; }
std::size_t allocationWatch::largest() { return largestSeen; }

void* operator new(std::size_t size) {
    if (watching && size > largestSeen) largestSeen = size;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
