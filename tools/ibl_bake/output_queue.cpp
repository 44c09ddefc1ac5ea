#include "output_queue.h"

#include <utility>

namespace iblBake {

OutputQueue::OutputQueue() : writer([this] { writeFiles(); }) {}

OutputQueue::~OutputQueue() {
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return queued.empty() && writing == 0; });
        stopping = true;
    }
    changed.notify_all();
    writer.join();
}

void OutputQueue::add(std::string name, std::string path, std::string what, Write write) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        File file;
        file.order = added++;
        file.name = std::move(name);
        file.path = std::move(path);
        file.what = std::move(what);
        file.write = std::move(write);
        queued.push_back(std::move(file));
    }
    changed.notify_all();
}

std::string OutputQueue::collect(BakeListener& listener, std::vector<std::string>& outputs) {
    std::vector<File> done;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (failureReported) return std::string();
        for (auto next = written.find(reported); next != written.end();
             next = written.find(reported)) {
            done.push_back(std::move(next->second));
            written.erase(next);
            ++reported;
            if (!done.back().problem.empty()) {
                failureReported = true;
                break;
            }
        }
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
        while (writeNext(lock)) {
        }
        changed.wait(lock, [this] { return queued.empty() && writing == 0; });
    }
    return collect(listener, outputs);
}

bool OutputQueue::writeNext(std::unique_lock<std::mutex>& lock) {
    if (queued.empty()) return false;
    File file = std::move(queued.front());
    queued.pop_front();
    if (failed) {
        // Behind a failed write: left unwritten, as a bake that stops at the failure would.
        changed.notify_all();
        return true;
    }
    ++writing;
    lock.unlock();
    file.problem = file.write();
    file.write = nullptr;  // what it owned goes now, on this thread
    lock.lock();
    --writing;
    if (!file.problem.empty()) failed = true;
    written.emplace(file.order, std::move(file));
    changed.notify_all();
    return true;
}

void OutputQueue::writeFiles() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || !queued.empty(); });
        if (!writeNext(lock)) return;  // stopping, and nothing left
    }
}

}  // namespace iblBake
