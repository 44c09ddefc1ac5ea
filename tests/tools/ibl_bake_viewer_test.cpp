// viewer.html in a real browser: headless chromium with software WebGL opens the page of a
// bake of the built-in sky straight from the file system, and its screenshot must show the
// balls of balls.png (the CPU render of the same camera) in the same places with the same
// colours. Skipped, saying why, where no chromium is installed.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kTile = 160;  // the tool's tile size, fixed in the page by "#tile=160"

struct Rgb {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
    const unsigned char* at(int x, int y) const { return &pixels[(size_t(y) * width + x) * 3]; }
};

Rgb readPng(const std::string& path) {
    Rgb image;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return image;
    png.format = PNG_FORMAT_RGB;
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) return Rgb();
    image.width = int(png.width);
    image.height = int(png.height);
    return image;
}

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string findChromium() {
    for (const char* name : {"chromium", "chromium-browser"})
        if (run(std::string("command -v ") + name + " >/dev/null 2>&1") == 0) return name;
    return std::string();
}

TEST(ViewerPage, BrowserShowsTheCpuBalls) {
    const std::string chromium = findChromium();
    if (chromium.empty())
        GTEST_SKIP() << "no chromium on PATH (scripts/install-deps.sh installs it): the viewer "
                        "page is not checked in a browser here";
    const std::string dir = std::string(IBL_BAKE_SCRATCH_DIR) + "/viewer";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    ASSERT_EQ(run("'" IBL_BAKE_EXE "' -q --out '" + dir + "' >/dev/null 2>&1"), 0);
    const Rgb cpu = readPng(dir + "/balls.png");
    ASSERT_EQ(cpu.height, kTile);
    const int balls = cpu.width / kTile;
    ASSERT_EQ(balls, 4) << "matte, Phong 8, Phong 32, Lambert";

    // Software WebGL, no network, no profile of the machine's user, one frame rendered
    // in virtual time before the screenshot.
    const std::string shot = dir + "/screenshot.png";
    const std::string command =
        "timeout 120 " + chromium +
        " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
        " --disable-background-networking --disable-component-update --disable-sync"
        " --use-angle=swiftshader --enable-unsafe-swiftshader --force-device-scale-factor=1"
        " --hide-scrollbars --force-color-profile=srgb --virtual-time-budget=10000"
        " --user-data-dir='" +
        dir + "/profile' --window-size=" + std::to_string(balls * kTile) + ",300 --screenshot='" +
        shot + "' 'file://" + dir + "/viewer.html#tile=160'" + " >'" + dir + "/chromium.log' 2>&1";
    ASSERT_EQ(run(command), 0) << command;
    const Rgb page = readPng(shot);
    ASSERT_GE(page.width, cpu.width);
    ASSERT_GE(page.height, kTile);

    for (int ball = 0; ball < balls; ++ball) {
        // Mean colour of the ball's disc (radius about 64.5 px) and count of pixels that
        // differ clearly: a ball drawn one pixel off already makes ~0.7 % of them.
        double cpuSum[3] = {}, pageSum[3] = {};
        int disc = 0, different = 0;
        for (int y = 0; y < kTile; ++y)
            for (int x = ball * kTile; x < (ball + 1) * kTile; ++x) {
                const unsigned char* a = cpu.at(x, y);
                const unsigned char* b = page.at(x, y);
                int worst = 0;
                for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a[c] - b[c]));
                different += worst > 16;
                if (std::hypot(x % kTile + 0.5 - kTile / 2, y + 0.5 - kTile / 2) > 62) continue;
                ++disc;
                for (int c = 0; c < 3; ++c) {
                    cpuSum[c] += a[c];
                    pageSum[c] += b[c];
                }
            }
        EXPECT_LT(different, kTile * kTile / 400)
            << different << " pixels of ball " << ball << " differ by more than 16 levels";
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(pageSum[c] / disc, cpuSum[c] / disc, 0.02 * cpuSum[c] / disc + 1.0)
                << "ball " << ball << " channel " << c;
    }
}

}  // namespace
