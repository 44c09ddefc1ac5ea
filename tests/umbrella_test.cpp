// The umbrella header alone is enough to use the library: a projection from it covers the
// whole sphere of directions.
#include "iximage/iximage.h"

#include <gtest/gtest.h>

TEST(Umbrella, OneIncludeIsEnoughToUseAProjection) {
    const int width = 64, height = 32;
    ixImage::LatLongMap map(width, height);
    double total = 0.0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            ixLinear::VectorFlt dir;
            float omega = 0.0f;
            ASSERT_TRUE(map.coordToDir((x + 0.5f) / width, (y + 0.5f) / height, dir, omega, true));
            total += omega;
        }
    }
    // Midpoint sampling of a coarse grid: within 1e-3 of 4 pi, relative.
    const double fourPi = 4.0 * 3.14159265358979;
    EXPECT_NEAR(total / fourPi, 1.0, 1e-3);
}
