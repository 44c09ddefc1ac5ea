// Helpers shared by the tests: locating real probes and generated data.
#pragma once

#include <sys/stat.h>
#include <string>

namespace ixTest {

// Folder of the real light probes, or "" when this checkout has none beside it.
inline std::string probeDir() {
    struct stat info;
    return stat(IXIMAGE_PROBE_DIR, &info) == 0 && S_ISDIR(info.st_mode) ? IXIMAGE_PROBE_DIR : "";
}

// The build's share folder (where the rotation-matrix file is generated).
inline std::string shareDir() { return IXIMAGE_SHARE_DIR; }

}  // namespace ixTest
