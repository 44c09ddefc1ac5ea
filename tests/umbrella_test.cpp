// The umbrella header alone is enough to use the library: a projection's solid angles sum to 4 pi.
#include "iximage/iximage.h"

#include <gtest/gtest.h>

TEST(Umbrella, OneIncludeIsEnoughToUseAProjection) {
    ixImage::LatLongMap map(64, 32);
    double total = 0.0;
    for (int i = 0; i < 64 * 32; ++i) {
        ixLinear::VectorFlt dir;
        float omega = 0.0f;
        ASSERT_TRUE(map.coordToDir((i % 64 + 0.5f) / 64, (i / 64 + 0.5f) / 32, dir, omega, true));
        total += omega;
    }
    EXPECT_NEAR(total / (4.0 * 3.14159265358979), 1.0, 1e-3);
}
