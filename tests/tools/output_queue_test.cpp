// The bake's writing thread: files in queue order, the listener told on the caller's thread,
// and nothing written behind a failed file.
#include "output_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

struct Recorder : iblBake::BakeListener {
    void wrote(const std::string& path, const std::string& what) override {
        EXPECT_EQ(std::this_thread::get_id(), owner);
        lines.push_back(path + " " + what);
    }
    std::thread::id owner = std::this_thread::get_id();
    std::vector<std::string> lines;
};

// finish() writes on the caller's thread too, so two files may be written at once; the
// listener still hears of them in queue order, up to the failed one, and once the failure is
// known no further file is started.
TEST(OutputQueue, ReportsInOrderUpToAFailureAndThenWritesNothing) {
    for (int round = 0; round < 20; ++round) {
        Recorder listener;
        std::vector<std::string> outputs;
        std::atomic<bool> lateFileRan{false};
        std::string problem;
        {
            iblBake::OutputQueue queue;
            auto file = [&](const std::string& name, bool fails) {
                queue.add(name, "/d/" + name, "a file", [fails] {
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                    return fails ? std::string("disk full") : std::string();
                });
            };
            for (const char* name : {"a.png", "b.exr", "c.png"}) file(name, false);
            file("d.png", true);
            for (const char* name : {"e.png", "f.png"}) file(name, false);
            problem = queue.finish(listener, outputs);
            EXPECT_EQ(queue.collect(listener, outputs), "");  // the failure is reported once
            queue.add("h.png", "/d/h.png", "late", [&lateFileRan] {
                lateFileRan = true;
                return std::string();
            });
            EXPECT_EQ(queue.finish(listener, outputs), "");
        }
        EXPECT_EQ(problem, "ibl-bake: /d/d.png: disk full");
        EXPECT_FALSE(lateFileRan);
        EXPECT_EQ(outputs, (std::vector<std::string>{"a.png", "b.exr", "c.png"}));
        EXPECT_EQ(listener.lines, (std::vector<std::string>{"/d/a.png a file", "/d/b.exr a file",
                                                            "/d/c.png a file"}));
    }
}

TEST(OutputQueue, DestructionWaitsForQueuedFiles) {
    std::atomic<int> written{0};
    {
        iblBake::OutputQueue queue;
        for (int i = 0; i < 5; ++i)
            queue.add("f", "/d/f", "x", [&written] {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                ++written;
                return std::string();
            });
    }
    EXPECT_EQ(written.load(), 5);
}

}  // namespace
