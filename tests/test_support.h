// Helpers shared by the tests: locating real probes and generated data.
#pragma once

#include <filesystem>
#include <string>

namespace ixTest {

// Folder of the real light probes, or "" when this checkout has none beside it.
inline std::string probeDir() {
    std::error_code error;
    return std::filesystem::is_directory(IXIMAGE_PROBE_DIR, error) ? IXIMAGE_PROBE_DIR : "";
}

// The build's share folder (where the rotation-matrix file is generated).
inline std::string shareDir() { return IXIMAGE_SHARE_DIR; }

}  // namespace ixTest
