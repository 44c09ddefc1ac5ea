// A file the strict check has read is handed to the loader instead of being parsed again: the
// loaded block must be the parse's, and a file changed in between must be parsed anew.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "iximage/sh/detail/rotation_matrix_block.h"
#include "iximage/sh/rotation_matrices.h"
#include "sh/prefilter_reference.h"
#include "test_support.h"

namespace {

using namespace ixImage;

std::vector<double> loadedBlock(const std::string& path, bool verifyFirst,
                                std::vector<double>* progressSeen) {
    finalizeReflectance();
    if (verifyFirst) {
        std::string problem;
        EXPECT_TRUE(verifyRotationMatrices(path.c_str(), &problem)) << problem;
    }
    ixTest::RecordingProgress progress;
    EXPECT_TRUE(initializeReflectance(path.c_str(), &progress));
    if (progressSeen) *progressSeen = progress.seen;
    const double* block = getRotationMatrices();
    return block ? std::vector<double>(block, block + kRotationMatrixCount) : std::vector<double>();
}

TEST(RotationHandover, CheckedFileLoadsTheSameBlockAndAChangedFileIsParsedAgain) {
    const std::string generated = ixTest::shareDir() + "/sh_rotation_matrices.txt";
    std::vector<double> parsedProgress, handedProgress;
    const std::vector<double> parsed = loadedBlock(generated, false, &parsedProgress);
    const std::vector<double> handed = loadedBlock(generated, true, &handedProgress);
    ASSERT_EQ(parsed.size(), size_t(kRotationMatrixCount));
    ASSERT_EQ(handed.size(), parsed.size());
    EXPECT_EQ(0, std::memcmp(parsed.data(), handed.data(), parsed.size() * sizeof(double)));
    EXPECT_EQ(parsedProgress, handedProgress);

    // Checked, then replaced by another file under the same name: the loader reads the new one.
    const std::string copy = testing::TempDir() + "sh_handover.txt";
    {
        std::ifstream in(generated, std::ios::binary);
        std::ofstream(copy, std::ios::binary) << in.rdbuf();
    }
    finalizeReflectance();
    std::string problem;
    ASSERT_TRUE(verifyRotationMatrices(copy.c_str(), &problem)) << problem;
    std::ofstream(copy, std::ios::binary | std::ios::trunc) << "0 0 0.75\n";
    ASSERT_TRUE(initializeReflectance(copy.c_str(), nullptr));
    EXPECT_EQ(getRotationMatrices()[rotationMatrixIndex(0, 0, 0, 0)], 0.75);
    EXPECT_EQ(getRotationMatrices()[rotationMatrixIndex(1, 0, 0, 0)], 0.0);
    finalizeReflectance();
}

}  // namespace
