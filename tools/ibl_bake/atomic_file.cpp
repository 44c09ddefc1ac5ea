#include "atomic_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace iblBake {

std::string writeAtomically(
    const std::string& path,
    const std::function<std::string(const std::string& tempPath)>& produce) {
    // Same folder as the destination (so rename never crosses file systems), hidden, and
    // unique per process so that two bakes into one folder do not share a temporary.
    const size_t slash = path.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string tempPath = folder + "." + base + ".tmp" + std::to_string(long(getpid()));

    std::string failure = produce(tempPath);
    if (failure.empty() && std::rename(tempPath.c_str(), path.c_str()) != 0)
        failure = std::string("cannot rename into place: ") + std::strerror(errno);
    if (!failure.empty()) std::remove(tempPath.c_str());
    return failure;
}

}  // namespace iblBake
