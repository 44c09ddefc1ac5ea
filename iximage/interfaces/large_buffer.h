// Storage for big pixel and coefficient arrays.
//
// An SHRM build touches about 100 MB of fresh memory (samples, product, the 58 MB
// SH reflection map). On systems where every first touch of a 4 KiB page costs a fault, that
// alone can dominate the build, so buffers of several MiB are aligned to 2 MiB and, on Linux,
// marked for transparent huge pages (one fault per 2 MiB). Smaller buffers come from the
// ordinary allocator, aligned to 64 bytes.
//
// The memory is not initialised. Failure throws std::bad_alloc, like operator new.
#pragma once

#include <cstddef>

#include "iximage/interfaces/export.h"

namespace ixUtil {

IXIMAGE_API void* allocateBuffer(std::size_t bytes);
// Memory of `bytes` that reads as all zero bytes, aligned to 16 bytes (huge-page advice as
// above for big buffers). Fresh pages from the system are already zero and are not written
// again, so their first touch can happen later, where the work is. Released by freeBuffer.
IXIMAGE_API void* allocateZeroedBuffer(std::size_t bytes);
// Releases memory from allocateBuffer or allocateZeroedBuffer (null is ignored).
IXIMAGE_API void freeBuffer(void* buffer) noexcept;

}  // namespace ixUtil
