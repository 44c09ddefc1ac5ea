#include "iximage/interfaces/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ixOS {
namespace {

std::string describeErrno(const std::string& action, const std::string& file) {
    return "cannot " + action + " '" + file + "': " + std::strerror(errno);
}

// Temporary names carry the process id and a per-process counter, so concurrent writers of the
// same target (threads or processes) never share a temporary file.
std::string temporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
#if defined(_WIN32)
    const long processId = static_cast<long>(_getpid());
#else
    const long processId = static_cast<long>(getpid());
#endif
    return path + ".tmp." + std::to_string(processId) + "." + std::to_string(counter++);
}

#if defined(_WIN32)

bool writeAll(int fd, const unsigned char* bytes, std::size_t size) {
    while (size > 0) {
        const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
        const int written = _write(fd, bytes, chunk);
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool writeTemporary(const std::string& temporary, const void* data, std::size_t size, bool& created,
                    std::string& problem) {
    const int fd =
        _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        problem = describeErrno("create", temporary);
        return false;
    }
    created = true;
    const bool ok = writeAll(fd, static_cast<const unsigned char*>(data), size) && _commit(fd) == 0;
    if (!ok) problem = describeErrno("write", temporary);
    if (_close(fd) != 0 && ok) {
        problem = describeErrno("close", temporary);
        return false;
    }
    return ok;
}

bool replaceFile(const std::string& temporary, const std::string& path, std::string& problem) {
    if (MoveFileExA(temporary.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    problem = "cannot rename '" + temporary + "' to '" + path + "' (error " +
              std::to_string(static_cast<unsigned long>(GetLastError())) + ")";
    return false;
}

void removeFile(const std::string& file) { _unlink(file.c_str()); }

bool flushFile(const std::string& file, std::string& problem) {
    const int fd = _open(file.c_str(), _O_RDWR | _O_BINARY);
    const bool ok = fd >= 0 && _commit(fd) == 0;
    if (!ok) problem = describeErrno("flush", file);
    if (fd >= 0) _close(fd);
    return ok;
}

void syncFolderOf(const std::string&) {}  // MOVEFILE_WRITE_THROUGH already flushed the rename

#else

bool writeAll(int fd, const unsigned char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool writeTemporary(const std::string& temporary, const void* data, std::size_t size, bool& created,
                    std::string& problem) {
    // 0666 before the umask, as for any file the user creates; O_EXCL refuses to reuse a name.
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        problem = describeErrno("create", temporary);
        return false;
    }
    created = true;
    bool ok = writeAll(fd, static_cast<const unsigned char*>(data), size);
    if (!ok) problem = describeErrno("write", temporary);
    // The data must be on the device before the rename makes it visible under the target name,
    // or a crash could leave a renamed but empty file.
    if (ok && ::fsync(fd) != 0) {
        problem = describeErrno("flush", temporary);
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        problem = describeErrno("close", temporary);
        ok = false;
    }
    return ok;
}

bool replaceFile(const std::string& temporary, const std::string& path, std::string& problem) {
    if (std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    problem = "cannot rename '" + temporary + "' to '" + path + "': " + std::strerror(errno);
    return false;
}

void removeFile(const std::string& file) { ::unlink(file.c_str()); }

// A file that another writer produced is flushed through a descriptor of its own: fsync
// applies to the file, not to the descriptor it was written through.
bool flushFile(const std::string& file, std::string& problem) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    if (!ok) problem = describeErrno("flush", file);
    if (fd >= 0) ::close(fd);
    return ok;
}

// Makes the rename itself durable. Best effort: some file systems refuse fsync on folders, and
// the new file is complete either way.
void syncFolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : (slash == 0 ? "/" : path.substr(0, slash));
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

#endif

}  // namespace

bool writeFileAtomically(const std::string& path, const void* data, std::size_t size,
                         std::string& problem) {
    if (path.empty()) {
        problem = "no file name to write to";
        return false;
    }
    const std::string temporary = temporaryNameFor(path);
    bool created = false;
    if (!writeTemporary(temporary, data, size, created, problem) ||
        !replaceFile(temporary, path, problem)) {
        if (created) removeFile(temporary);
        return false;
    }
    syncFolderOf(path);
    return true;
}

bool writeFileAtomically(const std::string& path, const FileProducer& produce,
                         std::string& problem) {
    if (path.empty()) {
        problem = "no file name to write to";
        return false;
    }
    const std::string temporary = temporaryNameFor(path);
    problem = produce(temporary);
    if (!problem.empty() || !flushFile(temporary, problem) ||
        !replaceFile(temporary, path, problem)) {
        removeFile(temporary);
        return false;
    }
    syncFolderOf(path);
    return true;
}

}  // namespace ixOS
