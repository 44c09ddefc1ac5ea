// A private temporary file for fuzzers whose target reads from a path: created once per
// fuzzing process (mkstemp in $TMPDIR or /tmp) and removed when the process exits.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace ixFuzz {

struct ScratchFile {
    std::string path;
    explicit ScratchFile(const char* prefix) {
        const char* dir = std::getenv("TMPDIR");
        std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/" + prefix + "-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int fd = mkstemp(name.data());
        if (fd < 0) std::abort();
        close(fd);
        path = name.data();
    }
    ~ScratchFile() { std::remove(path.c_str()); }
};

}  // namespace ixFuzz
