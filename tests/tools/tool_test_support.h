// Helpers shared by the ibl-bake tests: independent readers for the files the tool writes
// (straight through OpenEXR and libpng, not through the tool's own loaders), running the
// tool, and picking numbers out of its JSON.
#pragma once

#include <string>
#include <vector>

namespace bakeTest {

struct FloatPlanes {
    int width = 0;
    int height = 0;
    std::vector<float> rgb;  // width x height x 3, the file's first row first
};
// Empty (width 0) when the file cannot be read.
FloatPlanes readExrFile(const std::string& path);

struct PngInfo {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;  // 8-bit RGB, top row first
};
PngInfo readPngFile(const std::string& path);

struct ToolRun {
    int exitCode = -1;
    std::string stderrText;
};
// Runs the ibl-bake executable with the arguments (each quoted for the shell).
ToolRun runTool(const std::vector<std::string>& args, const std::string& scratchDir);

std::string readTextFile(const std::string& path);
void writeBinaryFile(const std::string& path, const std::string& bytes);

// The `count` numbers that follow the first occurrence of `key` after `from` in `json`
// (brackets, commas and white space are skipped); fewer when the text ends first.
std::vector<double> jsonNumbers(const std::string& json, const std::string& from,
                                const std::string& key, int count);

// A fresh, empty folder in this build's scratch folder.
std::string freshDir(const std::string& name);

}  // namespace bakeTest
