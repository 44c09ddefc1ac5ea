#include "batch.h"

#include <filesystem>
#include <future>
#include <map>

#include "iximage/sh/rotation_matrices.h"

namespace iblBake {

namespace {

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

// The strict check of the rotation-matrix file. A file that cannot be opened is left to bake(),
// which reports it in its own words.
std::string checkRotationFile(const BakeOptions& options) {
    const std::string path = options.rotationMatrixPath.empty() ? defaultRotationMatrixPath()
                                                                : options.rotationMatrixPath;
    std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    if (!file) return std::string();
    std::fclose(file);
    std::string problem;
    if (ixImage::verifyRotationMatrices(path.c_str(), &problem)) return std::string();
    return "ibl-bake: " + path + ": not a usable rotation-matrix file: " + problem;
}

std::string plural(size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

int bakeProbes(const BakeOptions& options, const std::vector<std::string>& probes,
               BakeListener& listener) {
    if (probes.size() <= 1) {
        // One probe: the check of the rotation-matrix file (a parse of 27 MB of text) runs
        // while the probe is read and prepared; the bake waits for it before it writes.
        std::future<std::string> check =
            std::async(std::launch::async, [&options] { return checkRotationFile(options); });
        std::string verdict;
        auto pendingCheck = [&check, &verdict] {
            if (check.valid()) verdict = check.get();
            return verdict;
        };
        BakeOptions single = options;
        if (!probes.empty()) single.inputPath = probes.front();
        const BakeResult result = bake(single, listener, pendingCheck);
        if (result.exitCode != kExitSuccess) {
            listener.problem(oneLine(result.message));
            return result.exitCode;
        }
        listener.note("ibl-bake: wrote " + plural(result.outputs.size(), "file", "files") +
                      " into " + options.outputDir);
        return kExitSuccess;
    }

    const std::string rotationProblem = checkRotationFile(options);
    if (!rotationProblem.empty()) {
        listener.problem(oneLine(rotationProblem));
        return kExitInputError;
    }

    // Each probe's folder is named after its file; two probes of one name would share it.
    std::map<std::string, std::string> byStem;
    for (const std::string& path : probes) {
        const std::string stem = std::filesystem::path(path).stem().string();
        const auto [at, inserted] = byStem.emplace(stem, path);
        if (!inserted) {
            listener.problem("ibl-bake: '" + at->second + "' and '" + path +
                             "' would both be written into " + stem +
                             "/ (rename one, or bake them in separate runs)");
            return kExitUsageError;
        }
    }

    const std::string root = options.outputDir + (options.outputDir.back() == '/' ? "" : "/");
    size_t baked = 0, refused = 0, unwritten = 0, written = 0;
    for (size_t i = 0; i < probes.size(); ++i) {
        listener.note("ibl-bake: probe " + std::to_string(i + 1) + " of " +
                      std::to_string(probes.size()) + ": " + probes[i]);
        BakeOptions one = options;
        one.inputPath = probes[i];
        one.outputDir = root + std::filesystem::path(probes[i]).stem().string();
        const BakeResult result = bake(one, listener);
        written += result.outputs.size();
        if (result.exitCode == kExitSuccess) {
            ++baked;
            continue;
        }
        listener.problem(oneLine(result.message));
        ++(result.exitCode == kExitOutputError ? unwritten : refused);
    }
    std::string summary =
        "ibl-bake: " + std::to_string(baked) + " baked, " + std::to_string(refused) + " refused, ";
    if (unwritten) summary += std::to_string(unwritten) + " not written, ";
    listener.note(summary + plural(written, "file", "files") + " written into " +
                  options.outputDir);
    if (unwritten) return kExitOutputError;
    return refused ? kExitInputError : kExitSuccess;
}

}  // namespace iblBake
