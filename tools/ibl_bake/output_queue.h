// Writes a bake's files on a thread of their own while the bake goes on computing.
//
// Encoding and compressing a preview or an OpenEXR map takes about as long as building a map,
// so a bake queues each file here and carries on. Files are written one at a time, in the order
// they were queued; after a write fails, the files queued behind it are not written, so the
// files on disk are the ones writing in line would have left. The bake's listener hears of each
// file on the bake's own thread (collect, finish), in order; nothing here calls it from the
// writing thread. Destroying the queue waits for the files already queued.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
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

    // Tells the listener of the files written since the last call and appends their names to
    // outputs. Returns "ibl-bake: <path>: <problem>" once a write has failed, else "".
    std::string collect(BakeListener& listener, std::vector<std::string>& outputs);

    // Waits for every queued file, then collects.
    std::string finish(BakeListener& listener, std::vector<std::string>& outputs);

private:
    struct File {
        std::string name, path, what;
        Write write;
        std::string problem;
    };
    void writeFiles();
    void waitUntilIdle(std::unique_lock<std::mutex>& lock);

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<File> queued;
    std::vector<File> written;  // done (or failed), not yet collected
    bool writing = false;       // the thread is writing a file
    bool failed = false;        // a write failed: later files are dropped
    bool stopping = false;
    std::thread writer;
};

}  // namespace iblBake
