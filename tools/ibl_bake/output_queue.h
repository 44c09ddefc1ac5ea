// Writes a bake's files on a thread of their own while the bake goes on computing.
//
// Encoding and compressing a preview or an OpenEXR map takes about as long as building a map,
// so a bake queues each file here and carries on. Files are started in the order they were
// queued; the bake's thread joins in once it has nothing else to do (finish), so at the end two
// files may be written at once. Once a write has failed, no further file is started; files the
// other thread started while the failing one was being written still finish, so a failed bake
// may leave a few more (complete) files than writing in line would. The bake's listener hears
// of each file on the bake's own thread (collect, finish), in queue order, up to the failed one;
// nothing here calls it from the writing thread. Destroying the queue waits for the files
// already queued.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bake.h"

namespace iblBake {

class OutputQueue {
public:
    // Writes one file; returns "" or what went wrong.
    using Write = std::function<std::string()>;

    OutputQueue();
    ~OutputQueue();
    OutputQueue(const OutputQueue&) = delete;
    OutputQueue& operator=(const OutputQueue&) = delete;

    // Queues a file: name as listed among the outputs, its path, and what it is (for the
    // listener). write must own everything it reads.
    void add(std::string name, std::string path, std::string what, Write write);

    // Tells the listener of the files written since the last call, in queue order, and appends
    // their names to outputs. Returns "ibl-bake: <path>: <problem>" once, when the next file in
    // order failed; after that it reports nothing more.
    std::string collect(BakeListener& listener, std::vector<std::string>& outputs);

    // Writes queued files on the calling thread too until none is left, waits for the writing
    // thread, then collects.
    std::string finish(BakeListener& listener, std::vector<std::string>& outputs);

private:
    struct File {
        std::size_t order = 0;
        std::string name, path, what;
        Write write;
        std::string problem;
    };
    // Takes the next queued file and writes it with the lock released; false if none is queued.
    bool writeNext(std::unique_lock<std::mutex>& lock);
    void writeFiles();

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<File> queued;
    std::map<std::size_t, File> written;  // done (or failed), by queue order, not yet collected
    std::size_t added = 0;                // files queued so far
    std::size_t reported = 0;             // queue order of the next file to report
    int writing = 0;                      // files being written now
    bool failed = false;                  // a write failed: no further file is started
    bool failureReported = false;
    bool stopping = false;
    std::thread writer;
};

}  // namespace iblBake
