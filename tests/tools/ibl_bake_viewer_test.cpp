// viewer.html in a real browser: headless chromium with software WebGL opens the page of a
// bake of the built-in sky from the file system; its screenshot must show the balls of
// balls.png (the CPU render of the same camera) in the same places with the same colours.
// Skipped, saying why, where no chromium is installed.
#include <gtest/gtest.h>

#include <cmath>

#include "tool_run.h"

namespace {

constexpr int kTile = 160;  // the tool's tile size, fixed in the page by "#tile=160"

TEST(ViewerPage, BrowserShowsTheCpuBalls) {
    auto run = [](const std::string& command) {
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string chromium;
    for (const char* name : {"chromium-browser", "chromium"})
        if (run(std::string("command -v ") + name + " >/dev/null 2>&1") == 0) chromium = name;
    if (chromium.empty())
        GTEST_SKIP() << "no chromium on PATH (scripts/install-deps.sh installs it): the viewer "
                        "page is not checked in a browser here";
    const std::string dir = ixTest::freshDir("viewer");
    ASSERT_EQ(ixTest::runTool({"-q", "--out", dir}, dir).exitCode, 0);
    const ixTest::Rgb8 cpu = ixTest::readPng(dir + "/balls.png");
    const int balls = cpu.width / kTile;
    ASSERT_TRUE(cpu.height == kTile && balls == 4) << "matte, Phong 8, Phong 32, Lambert";
    // Software WebGL, no network, no profile of the machine's user, one frame rendered in
    // virtual time before the screenshot.
    const std::string shot = dir + "/screenshot.png";
    ASSERT_EQ(run("timeout 120 " + chromium +
                  " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                  " --disable-background-networking --disable-component-update --disable-sync"
                  " --use-angle=swiftshader --enable-unsafe-swiftshader"
                  " --force-device-scale-factor=1 --hide-scrollbars --force-color-profile=srgb"
                  " --virtual-time-budget=10000 --user-data-dir='" +
                  dir + "/profile' --window-size=" + std::to_string(balls * kTile) +
                  ",300 --screenshot='" + shot + "' 'file://" + dir + "/viewer.html#tile=160' >'" +
                  dir + "/chromium.log' 2>&1"),
              0);
    const ixTest::Rgb8 page = ixTest::readPng(shot);
    ASSERT_TRUE(page.width >= cpu.width && page.height >= kTile);

    for (int ball = 0; ball < balls; ++ball) {
        // Mean colour of the ball's disc (radius about 64.5 px) and count of pixels that
        // differ clearly: a ball drawn one pixel off already makes ~0.7 % of them.
        double cpuSum[3] = {}, pageSum[3] = {};
        int disc = 0, different = 0;
        for (int y = 0; y < kTile; ++y)
            for (int x = ball * kTile; x < (ball + 1) * kTile; ++x) {
                const unsigned char *a = cpu.at(x, y), *b = page.at(x, y);
                int worst = 0;
                for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a[c] - b[c]));
                different += worst > 16;
                if (std::hypot(x % kTile + 0.5 - kTile / 2, y + 0.5 - kTile / 2) > 62) continue;
                ++disc;
                for (int c = 0; c < 3; ++c) cpuSum[c] += a[c], pageSum[c] += b[c];
            }
        EXPECT_LT(different, kTile * kTile / 400)
            << different << " pixels of ball " << ball << " differ by more than 16 levels";
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(pageSum[c] / disc, cpuSum[c] / disc, 0.02 * cpuSum[c] / disc + 1.0)
                << "ball " << ball << " channel " << c;
    }
}

}  // namespace
