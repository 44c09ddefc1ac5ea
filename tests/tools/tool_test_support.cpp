#include "tool_test_support.h"

#include <ImathBox.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace bakeTest {

FloatPlanes readExrFile(const std::string& path) {
    FloatPlanes planes;
    try {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        const int width = window.max.x - window.min.x + 1;
        const int height = window.max.y - window.min.y + 1;
        std::vector<float> rgb(size_t(width) * size_t(height) * 3);
        Imf::FrameBuffer frame;
        const char* names[3] = {"R", "G", "B"};
        for (int c = 0; c < 3; ++c) {
            char* base = reinterpret_cast<char*>(rgb.data() + c) -
                         (ptrdiff_t(window.min.x) + ptrdiff_t(window.min.y) * width) *
                             ptrdiff_t(3 * sizeof(float));
            frame.insert(names[c], Imf::Slice(Imf::FLOAT, base, 3 * sizeof(float),
                                              3 * sizeof(float) * size_t(width)));
        }
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        planes.width = width;
        planes.height = height;
        planes.rgb = std::move(rgb);
    } catch (const std::exception&) {
    }
    return planes;
}

PngInfo readPngFile(const std::string& path) {
    PngInfo info;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return info;
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return info;
    info.width = int(image.width);
    info.height = int(image.height);
    info.rgb = std::move(rgb);
    return info;
}

ToolRun runTool(const std::vector<std::string>& args, const std::string& scratchDir) {
    const std::string errPath = scratchDir + "/stderr.txt";
    std::string command = "'" IBL_BAKE_EXE "'";
    for (const std::string& arg : args) command += " '" + arg + "'";
    command += " >/dev/null 2>'" + errPath + "'";
    ToolRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.stderrText = readTextFile(errPath);
    std::remove(errPath.c_str());
    return run;
}

std::string readTextFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void writeBinaryFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), std::streamsize(bytes.size()));
}

std::vector<double> jsonNumbers(const std::string& json, const std::string& from,
                                const std::string& key, int count) {
    std::vector<double> numbers;
    size_t at = json.find(from);
    if (at == std::string::npos) return numbers;
    at = json.find(key, at);
    if (at == std::string::npos) return numbers;
    at += key.size();
    while (int(numbers.size()) < count && at < json.size()) {
        const char c = json[at];
        if (c == '[' || c == ']' || c == ',' || c == ':' || c == ' ' || c == '\n') {
            ++at;
            continue;
        }
        char* end = nullptr;
        const double value = std::strtod(json.c_str() + at, &end);
        if (end == json.c_str() + at) break;
        numbers.push_back(value);
        at = size_t(end - json.c_str());
    }
    return numbers;
}

std::string freshDir(const std::string& name) {
    const std::string dir = std::string(IBL_BAKE_SCRATCH_DIR) + "/" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace bakeTest
