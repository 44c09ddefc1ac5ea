#include "rotation_matrix_file.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <stdexcept>

#include "array_images.h"
#include "iximage/lighting/image_based_lighting.h"
#include "iximage/sh/detail/rotation_matrix_block.h"
#include "iximage/sh/rotation_matrices.h"

namespace ixPython {

namespace {

std::mutex setupMutex;
std::string chosenFile;  // guarded by setupMutex; empty until named or first resolved

// The folder holding this module's shared object.
std::filesystem::path moduleFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<const void*>(&moduleFolder), &info) || !info.dli_fname) return {};
    std::error_code error;
    const std::filesystem::path file = std::filesystem::canonical(info.dli_fname, error);
    return error ? std::filesystem::path() : file.parent_path();
}

std::string defaultFile() {
    namespace fs = std::filesystem;
    const fs::path folder = moduleFolder();
    std::error_code error;
    const bool inBuildTree =
        !folder.empty() && fs::equivalent(folder, IXIMAGE_BUILD_TREE_PYTHON_DIR, error);
    if (!inBuildTree && !folder.empty()) {
        const fs::path installed =
            (folder / IXIMAGE_INSTALLED_ROTATION_FILE_FROM_MODULE).lexically_normal();
        if (fs::exists(installed, error)) return installed.string();
    }
    return IXIMAGE_BUILD_TREE_ROTATION_FILE;
}

}  // namespace

void setRotationMatrixFile(const std::string& path) {
    const std::lock_guard<std::mutex> lock(setupMutex);
    if (ixImage::getRotationMatrices() && path != chosenFile)
        throw std::runtime_error("the rotation matrices are already loaded from " + chosenFile +
                                 "; name the file before the first lighting computation");
    chosenFile = path;
}

std::string rotationMatrixFile() {
    const std::lock_guard<std::mutex> lock(setupMutex);
    if (chosenFile.empty()) chosenFile = defaultFile();
    return chosenFile;
}

void ensureRotationMatrices() {
    const std::lock_guard<std::mutex> lock(setupMutex);
    if (ixImage::getRotationMatrices()) return;
    if (chosenFile.empty()) chosenFile = defaultFile();
    ixImage::ImageBasedLighting::setRotationMatrixFilename(ixOS::Filename(chosenFile));
    if (!ixImage::initializeReflectance(chosenFile.c_str(), nullptr))
        throw OsError(chosenFile +
                      ": cannot read the rotation-matrix file (name it with "
                      "iximage.set_rotation_matrix_file)");
}

}  // namespace ixPython
