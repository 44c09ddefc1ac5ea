#include "output_queue.h"

#include <utility>

namespace iblBake {

OutputQueue::OutputQueue() : writer([this] { writeFiles(); }) {}

OutputQueue::~OutputQueue() {
    {
        std::unique_lock<std::mutex> lock(mutex);
        waitUntilIdle(lock);
        stopping = true;
    }
    changed.notify_all();
    writer.join();
}

void OutputQueue::add(std::string name, std::string path, std::string what, Write write) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        queued.push_back(File{std::move(name), std::move(path), std::move(what), std::move(write),
                              std::string()});
    }
    changed.notify_all();
}

std::string OutputQueue::collect(BakeListener& listener, std::vector<std::string>& outputs) {
    std::vector<File> done;
    {
        std::lock_guard<std::mutex> lock(mutex);
        done.swap(written);
    }
    for (const File& file : done) {
        if (!file.problem.empty()) return "ibl-bake: " + file.path + ": " + file.problem;
        listener.wrote(file.path, file.what);
        outputs.push_back(file.name);
    }
    return std::string();
}

std::string OutputQueue::finish(BakeListener& listener, std::vector<std::string>& outputs) {
    {
        std::unique_lock<std::mutex> lock(mutex);
        waitUntilIdle(lock);
    }
    return collect(listener, outputs);
}

void OutputQueue::waitUntilIdle(std::unique_lock<std::mutex>& lock) {
    changed.wait(lock, [this] { return queued.empty() && !writing; });
}

void OutputQueue::writeFiles() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || !queued.empty(); });
        if (queued.empty()) return;  // stopping, and nothing left
        File file = std::move(queued.front());
        queued.pop_front();
        if (failed) {
            // Behind a failed write: left unwritten, as a bake that stops at the failure would.
            changed.notify_all();
            continue;
        }
        writing = true;
        lock.unlock();
        file.problem = file.write();
        file.write = nullptr;  // what it owned goes now, on this thread
        lock.lock();
        writing = false;
        if (!file.problem.empty()) failed = true;
        written.push_back(std::move(file));
        changed.notify_all();
    }
}

}  // namespace iblBake
