// Atomic replacement of a file: produce it under a temporary name in the same folder, then
// rename it over the destination (rename within one file system is atomic on POSIX).
#pragma once

#include <functional>
#include <string>

namespace iblBake {

// `produce` writes the file at the temporary path it is given and returns "" or the reason it
// failed. On failure the temporary file is removed and the destination is left untouched.
std::string writeAtomically(const std::string& path,
                            const std::function<std::string(const std::string& tempPath)>& produce);

}  // namespace iblBake
