// Running the built ibl-bake as a process and reading back what it leaves, for the tool tests.
#pragma once

#include <png.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/reference.h"

namespace ixTest {

// An empty scratch folder of this name inside the build folder.
inline std::string freshDir(const std::string& name) {
    const std::string dir = std::string(IBL_BAKE_SCRATCH_DIR) + "/" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string readTextFile(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

struct ToolRun {
    int exitCode = -1;
    std::string stderrText;
};

// Runs the ibl-bake executable with the arguments (each quoted for the shell).
inline ToolRun runTool(const std::vector<std::string>& args, const std::string& scratchDir) {
    const std::string errPath = scratchDir + "/stderr.txt";
    std::string command = "'" IBL_BAKE_EXE "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    const int status = std::system((command + " >/dev/null 2>'" + errPath + "'").c_str());
    ToolRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readTextFile(errPath)};
    std::filesystem::remove(errPath);
    return run;
}

inline ix::Reference<ixImage::Float3Image> constantImage(int width, int height, float value) {
    ix::Reference<ixImage::Float3Image> image(new ixImage::Float3Image);
    image->setSize(width, height);
    for (int i = 0; i < width * height; ++i)
        image->data()[i] = ixImage::FloatPixel3<float>(value, value, value);
    return image;
}

// An 8-bit RGB picture read with libpng, top row first; empty when the file does not decode.
struct Rgb8 {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
    const unsigned char* at(int x, int y) const { return &pixels[(size_t(y) * width + x) * 3]; }
};

inline Rgb8 readPng(const std::string& path) {
    Rgb8 image;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return image;
    png.format = PNG_FORMAT_RGB;
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) return Rgb8();
    image.width = int(png.width);
    image.height = int(png.height);
    return image;
}

// Up to `count` numbers that follow the first `key` after `from` in `json`.
inline std::vector<double> jsonNumbers(const std::string& json, const std::string& from,
                                       const std::string& key, int count) {
    const size_t at = json.find(key, json.find(from));
    std::string tail = at == std::string::npos ? "" : json.substr(at + key.size());
    for (char& c : tail)
        if (c == '[' || c == ']' || c == ',' || c == ':') c = ' ';
    std::istringstream in(tail);
    std::vector<double> numbers;
    for (double v; int(numbers.size()) < count && in >> v;) numbers.push_back(v);
    return numbers;
}

}  // namespace ixTest
