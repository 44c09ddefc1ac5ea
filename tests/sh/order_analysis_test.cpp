#include "iximage/sh/order_analysis.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace ixImage;
using Rgb = FloatPixel3<double>;

struct Entry {
    int l, p, q;
    Rgb value;
};

struct OrderCase {
    const char* name;
    std::vector<Entry> entries;
    Rgb norm;
    int expectedBrdfOrder;
    std::string expectedOutput;
};

std::vector<OrderCase> orderCases() {
    return {
        {"ZonalOnlyLatchesAtOne",
         {{0, 0, 0, Rgb(1, 1, 1)}},
         Rgb(1, 1, 1),
         1,
         "BRDF coefficient norm is 1.000000 1.000000 1.000000\n"
         "Percentage accuracy is 100.000000 100.000000 100.000000\n"
         "brdfOrder is 1 1 1\n"
         "Light coefficient norm is 1.000000 1.000000 1.000000\n"
         "lightOrder is 1 1 1\n"},
        {"NeverReachedGivesTen",
         {{0, 0, 0, Rgb(0.5, 1, 0.5)}, {2, 3, 1, Rgb(0.5, 0, 0)}},
         Rgb(1, 2, 4),
         10,
         "BRDF coefficient norm is 0.500000 1.000000 0.250000\n"
         "Percentage accuracy is 50.000000 50.000000 6.250000\n"
         "brdfOrder is 0 0 0\n"
         "Light coefficient norm is 0.250000 1.000000 0.250000\n"
         "lightOrder is 0 0 0\n"},
        {"ChannelsDiffer",
         {{2, 2, 1, Rgb(1, 0, 0)}, {5, 5, 5, Rgb(0, 1, 0)}, {3, 0, 0, Rgb(0, 0, 1)}},
         Rgb(1, 1, 1),
         5,
         "BRDF coefficient norm is 1.000000 1.000000 1.000000\n"
         "Percentage accuracy is 100.000000 100.000000 100.000000\n"
         "brdfOrder is 2 5 1\n"
         "Light coefficient norm is 1.000000 1.000000 1.000000\n"
         "lightOrder is 2 5 3\n"},
        // p = 8 counts for the view bands but lies beyond the red order 1 in the lighting
        // pass; p = 12 is never read.
        {"BandsBeyondTheOrderAreLeftOut",
         {{1, 1, 0, Rgb(0.99, 0.99, 0.99)},
          {0, 8, 0, Rgb(0.1, 0.1, 0.1)},
          {4, 12, 2, Rgb(5, 5, 5)}},
         Rgb(1, 1, 1),
         1,
         "BRDF coefficient norm is 0.990100 0.990100 0.990100\n"
         "Percentage accuracy is 99.010000 99.010000 99.010000\n"
         "brdfOrder is 1 1 1\n"
         "Light coefficient norm is 0.980100 0.980100 0.980100\n"
         "lightOrder is 1 1 1\n"},
    };
}

TEST(ComputeOrder, Rules) {
    for (const OrderCase& c : orderCases()) {
        ixUtil::ArrayN<3, Rgb> brdf({21, 21, 21});
        brdf.clear();
        for (const Entry& e : c.entries) brdf(e.l, e.p, e.q) = e.value;
        SphericalHarmonics<Rgb> light(20);
        int lightOrder = -1, brdfOrder = -1;
        testing::internal::CaptureStdout();
        computeOrder(light, brdf, c.norm, lightOrder, brdfOrder);
        const std::string output = testing::internal::GetCapturedStdout();
        EXPECT_EQ(output, c.expectedOutput) << c.name;
        EXPECT_EQ(brdfOrder, c.expectedBrdfOrder) << c.name;
        EXPECT_EQ(lightOrder, 20) << c.name;
    }
}

}  // namespace
