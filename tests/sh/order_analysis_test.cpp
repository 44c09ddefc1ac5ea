#include "iximage/sh/order_analysis.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace ixImage;
using Rgb = FloatPixel3<double>;

// Per channel: the BRDF energy, its share of the given norm and the view band that reaches 97 %
// of it (the largest over channels is the order, 10 when none does), then the same over the
// light bands within each channel's view bands.
TEST(ComputeOrder, Rules) {
    struct Entry {
        int l, p, q;
        Rgb value;
    };
    const struct {
        std::vector<Entry> entries;
        Rgb norm;
        int brdfOrder;
        const char *accuracy, *orders;
    } cases[] = {
        {{{0, 0, 0, Rgb(1, 1, 1)}},
         Rgb(1, 1, 1),
         1,
         "100.000000 100.000000 100.000000",
         "brdfOrder is 1 1 1\nLight coefficient norm is 1.000000 1.000000 1.000000\n"
         "lightOrder is 1 1 1\n"},
        {{{0, 0, 0, Rgb(0.5, 1, 0.5)}, {2, 3, 1, Rgb(0.5, 0, 0)}},
         Rgb(1, 2, 4),
         10,
         "50.000000 50.000000 6.250000",
         "brdfOrder is 0 0 0\nLight coefficient norm is 0.250000 1.000000 0.250000\n"
         "lightOrder is 0 0 0\n"},
        {{{2, 2, 1, Rgb(1, 0, 0)}, {5, 5, 5, Rgb(0, 1, 0)}, {3, 0, 0, Rgb(0, 0, 1)}},
         Rgb(1, 1, 1),
         5,
         "100.000000 100.000000 100.000000",
         "brdfOrder is 2 5 1\nLight coefficient norm is 1.000000 1.000000 1.000000\n"
         "lightOrder is 2 5 3\n"},
        // p = 8 counts for the view bands but lies beyond the red order 1 in the lighting
        // pass; p = 12 is never read.
        {{{1, 1, 0, Rgb(0.99, 0.99, 0.99)},
          {0, 8, 0, Rgb(0.1, 0.1, 0.1)},
          {4, 12, 2, Rgb(5, 5, 5)}},
         Rgb(1, 1, 1),
         1,
         "99.010000 99.010000 99.010000",
         "brdfOrder is 1 1 1\nLight coefficient norm is 0.980100 0.980100 0.980100\n"
         "lightOrder is 1 1 1\n"},
    };
    for (const auto& c : cases) {
        ixUtil::ArrayN<3, Rgb> brdf({21, 21, 21});
        brdf.clear();
        for (const Entry& e : c.entries) brdf(e.l, e.p, e.q) = e.value;
        SphericalHarmonics<Rgb> light(20);
        int lightOrder = -1, brdfOrder = -1;
        testing::internal::CaptureStdout();
        computeOrder(light, brdf, c.norm, lightOrder, brdfOrder);
        const std::string output = testing::internal::GetCapturedStdout();
        const std::string accuracy = std::string("Percentage accuracy is ") + c.accuracy + "\n";
        EXPECT_NE(output.find(accuracy + c.orders), std::string::npos) << output;
        EXPECT_EQ(brdfOrder, c.brdfOrder) << output;
        EXPECT_EQ(lightOrder, 20) << output;
    }
}

}  // namespace
