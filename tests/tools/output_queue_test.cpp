// The bake's writing thread: files in queue order, the listener told on the caller's thread,
// and nothing written behind a failed file.
#include "output_queue.h"

#include <gtest/gtest.h>

#include <atomic>
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

TEST(OutputQueue, WritesInOrderAndStopsAtTheFirstFailure) {
    Recorder listener;
    std::vector<std::string> outputs, order;
    std::atomic<int> calls{0};
    std::string problem;
    {
        iblBake::OutputQueue queue;
        auto file = [&](const std::string& name, bool fails) {
            queue.add(name, "/d/" + name, "a file", [&, name, fails] {
                ++calls;
                order.push_back(name);  // one writing thread: no race on the vector
                return fails ? std::string("disk full") : std::string();
            });
        };
        file("a.png", false);
        file("b.exr", false);
        file("c.png", true);
        file("d.png", false);
        problem = queue.finish(listener, outputs);
        EXPECT_EQ(queue.collect(listener, outputs), "");  // the failure is reported once
    }
    EXPECT_EQ(problem, "ibl-bake: /d/c.png: disk full");
    EXPECT_EQ(calls.load(), 3);
    EXPECT_EQ(order, (std::vector<std::string>{"a.png", "b.exr", "c.png"}));
    EXPECT_EQ(outputs, (std::vector<std::string>{"a.png", "b.exr"}));
    EXPECT_EQ(listener.lines, (std::vector<std::string>{"/d/a.png a file", "/d/b.exr a file"}));
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
