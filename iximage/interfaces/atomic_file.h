// Library-internal: replacing a file so that readers see either the old or the new contents.
#pragma once

#include <cstddef>
#include <string>

namespace ixOS {

// Writes size bytes to a new temporary file in the target's folder, flushes it to the device
// and renames it over path. On failure the target is left as it was, the temporary file is
// removed and problem says what went wrong.
bool writeFileAtomically(const std::string& path, const void* data, std::size_t size,
                         std::string& problem);

}  // namespace ixOS
