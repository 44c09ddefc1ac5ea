// The incident-angle shortcut must give what the full projection gives for the array it stands
// for, bit for bit and entry for entry (the written set included).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "iximage/sh/brdf_coeffs.h"
#include "iximage/sh/detail/profile_brdf_coeffs.h"

namespace {

using namespace ixImage;
using Rgb = FloatPixel3<double>;
using Array = ixUtil::ArrayN<3, Rgb>;

TEST(ProfileBrdfCoeffs, EqualTheFullProjectionOfConstantRows) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(0.0, 3.0);
    double profile[100];
    for (double& v : profile) v = value(random);
    profile[99] = 0.0;  // a lobe that ends before the far pole, as cos-based ones do

    Array samples({100, 100, 200});
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 100; ++j)
            for (int k = 0; k < 200; ++k)
                samples(i, j, k) = Rgb(profile[i], profile[i], profile[i]);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int order : {0, 1, 10, 20}) {
        Array full({21, 21, 21}), shortcut({21, 21, 21});
        for (Array* a : {&full, &shortcut})
            for (int e = 0; e < 21 * 21 * 21; ++e) a->data()[e] = Rgb(nan, nan, nan);
        computeBrdfCoeffs(samples, full, order);
        detail::computeBrdfCoeffsOfProfile(profile, shortcut, order);
        EXPECT_EQ(0, std::memcmp(full.data(), shortcut.data(), sizeof(Rgb) * 21 * 21 * 21))
            << "order " << order;
    }
    // A bad order or a null profile leaves the coefficients alone, as the full projection does.
    Array untouched({21, 21, 21});
    for (int e = 0; e < 21 * 21 * 21; ++e) untouched.data()[e] = Rgb(1.0, 2.0, double(e));
    detail::computeBrdfCoeffsOfProfile(profile, untouched, 21);
    detail::computeBrdfCoeffsOfProfile(nullptr, untouched, 10);
    for (int e = 0; e < 21 * 21 * 21; ++e) ASSERT_EQ(untouched.data()[e].blue, double(e));
}

}  // namespace
