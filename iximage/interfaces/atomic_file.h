// Replacing a file so that readers see either the old or the new contents, never a part.
//
// The new contents go to a temporary file in the target's folder (a unique name per process
// and call, so concurrent writers never share one), are flushed to the device, and the file is
// renamed over the target; rename within one folder is atomic. On failure the target is left as
// it was, the temporary file is removed and `problem` says what went wrong.
// Thread safety: distinct calls are independent, also for the same target.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "iximage/interfaces/export.h"

namespace ixOS {

// Writes size bytes as the new contents of path.
IXIMAGE_API bool writeFileAtomically(const std::string& path, const void* data, std::size_t size,
                                     std::string& problem);

// For writers that need a file name of their own (image codecs): `produce` writes the whole
// file at the temporary path it is given and returns "" or the reason it failed.
using FileProducer = std::function<std::string(const std::string& temporaryPath)>;
IXIMAGE_API bool writeFileAtomically(const std::string& path, const FileProducer& produce,
                                     std::string& problem);

}  // namespace ixOS
