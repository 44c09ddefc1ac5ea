#include "iximage/interfaces/large_buffer.h"

#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace ixUtil {

namespace {

constexpr std::size_t kCacheLine = 64;
constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Below this the page faults are cheap next to the work done on the buffer.
constexpr std::size_t kHugeThreshold = std::size_t(4) << 20;

std::size_t roundUp(std::size_t bytes, std::size_t multiple) {
    return (bytes + multiple - 1) / multiple * multiple;
}

}  // namespace

void* allocateBuffer(std::size_t bytes) {
    if (bytes == 0) bytes = 1;
    const std::size_t alignment = bytes >= kHugeThreshold ? kHugePage : kCacheLine;
    if (bytes > static_cast<std::size_t>(-1) - alignment) throw std::bad_alloc();
    const std::size_t size = roundUp(bytes, alignment);
    void* buffer = nullptr;
    if (posix_memalign(&buffer, alignment, size) != 0 || !buffer) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Advice only: where huge pages are unavailable the buffer simply keeps small pages.
    if (alignment == kHugePage) madvise(buffer, size, MADV_HUGEPAGE);
#endif
    return buffer;
}

void* allocateZeroedBuffer(std::size_t bytes) {
    if (bytes == 0) bytes = 1;
    // calloc knows whether its block is fresh from the system (then it skips the clearing).
    void* buffer = std::calloc(1, bytes);
    if (!buffer) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes >= kHugeThreshold) {
        // The advice covers the whole huge pages inside the block.
        const std::size_t start = roundUp(reinterpret_cast<std::size_t>(buffer), kHugePage);
        const std::size_t end =
            (reinterpret_cast<std::size_t>(buffer) + bytes) / kHugePage * kHugePage;
        if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
#endif
    return buffer;
}

void freeBuffer(void* buffer) noexcept { std::free(buffer); }

}  // namespace ixUtil
