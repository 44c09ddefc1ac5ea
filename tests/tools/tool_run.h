// Running the built ibl-bake as a process and reading what it leaves behind, for the tool tests.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ixTest {

// An empty scratch folder of this name inside the build folder.
inline std::string freshDir(const std::string& name) {
    const std::string dir = std::string(IBL_BAKE_SCRATCH_DIR) + "/" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string readTextFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
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

// The `count` numbers that follow the first `key` after `from` in `json` (brackets, commas and
// white space skipped); fewer when the text ends first.
inline std::vector<double> jsonNumbers(const std::string& json, const std::string& from,
                                       const std::string& key, int count) {
    std::vector<double> numbers;
    size_t at = json.find(from);
    if (at != std::string::npos) at = json.find(key, at);
    if (at == std::string::npos) return numbers;
    at += key.size();
    while (int(numbers.size()) < count && at < json.size()) {
        if (std::string("[],: \n").find(json[at]) != std::string::npos) {
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

}  // namespace ixTest
