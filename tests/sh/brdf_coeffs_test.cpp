#include "iximage/sh/brdf_coeffs.h"
#include "iximage/sh/order_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sh_reference.h"

namespace {

using namespace ixImage;
using shTest::kPi;
using shTest::kStep;
using Rgb = FloatPixel3<double>;
using Samples = ixUtil::ArrayN<3, Rgb>;

constexpr double kSentinel = 99.0;
double P(int l, int m, int i) { return shTest::referenceLegendreAtGrid(l, m, i); }

// A separable reflectance term Pbar(l0,q0)(theta_i) Pbar(p0,q0)(theta_j) cos(q0 phi_k).
struct Term {
    int l0, p0, q0;
    double at(int i, int j, int k) const {
        return P(l0, q0, i) * P(p0, q0, j) * std::cos(q0 * k * kStep);
    }
    // Its projection factor by factor: B[l][p][q] = c_q w A_q (pi/100)^2 G_l H_p with
    // A_q = sum_k cos(q phi_k) cos(q0 phi_k), G_l = sum_i Pbar(l,q) Pbar(l0,q0) sin theta_i,
    // H_p likewise, w = sqrt(pi) 2 pi / 200 and c_q the lookups' 1.4142136 squared for q > 0,
    // the exact sqrt 2 for q = 0.
    double projected(int l, int p, int q) const {
        double A = 0.0, G = 0.0, H = 0.0;
        for (int k = 0; k < 200; ++k) A += std::cos(q * k * kStep) * std::cos(q0 * k * kStep);
        for (int i = 0; i < 100; ++i) {
            G += P(l, q, i) * P(l0, q0, i) * std::sin(i * kStep);
            H += P(p, q, i) * P(p0, q0, i) * std::sin(i * kStep);
        }
        const double c = q > 0 ? 1.4142136 * 1.4142136 : std::sqrt(2.0);
        return c * std::sqrt(kPi) * 2 * kPi / 200 * A * kStep * kStep * G * H;
    }
};

void fill(Samples& array, double value) {
    for (int e = 0; e < array.getCount(); ++e) array.data()[e] = Rgb(value, value, value);
}

// red = first term, green = second, blue = their sum (the projection is linear). Entries with
// q <= order, q <= p <= order, l >= q are written, the rest keep the sentinel. Tolerance:
// rounding of 2 x 10^4-term sums.
TEST(BrdfCoeffs, SeparableTermsProjectInClosedForm) {
    Samples samples({100, 100, 200}), coeffs({21, 21, 21});
    const struct {
        Term a, b;
        int order;
    } cases[] = {{{3, 2, 1}, {6, 7, 4}, 10}, {{0, 0, 0}, {4, 2, 0}, 0}};
    for (const auto& c : cases) {
        for (int i = 0; i < 100; ++i)
            for (int j = 0; j < 100; ++j)
                for (int k = 0; k < 200; ++k) {
                    const double va = c.a.at(i, j, k), vb = c.b.at(i, j, k);
                    samples(i, j, k) = Rgb(va, vb, va + vb);
                }
        fill(coeffs, kSentinel);
        computeBrdfCoeffs(samples, coeffs, c.order);
        for (int l = 0; l <= 20; ++l)
            for (int p = 0; p <= 20; ++p)
                for (int q = 0; q <= 20; ++q) {
                    const Rgb& got = coeffs(l, p, q);
                    if (q > c.order || p < q || p > c.order || l < q) {
                        ASSERT_EQ(got.red, kSentinel) << l << "," << p << "," << q;
                        continue;
                    }
                    const double ea = c.a.projected(l, p, q), eb = c.b.projected(l, p, q);
                    const double tolA = 1e-13 + 1e-10 * std::abs(ea);
                    const double tolB = 1e-13 + 1e-10 * std::abs(eb);
                    ASSERT_NEAR(got.red, ea, tolA) << l << "," << p << "," << q;
                    ASSERT_NEAR(got.green, eb, tolB) << l << "," << p << "," << q;
                    ASSERT_NEAR(got.blue, ea + eb, tolA + tolB) << l << "," << p << "," << q;
                }
    }
    // The physics: at its own indices a term projects to about c_q w 100 / (2 pi)^2.
    const double peak =
        1.4142136 * 1.4142136 * std::sqrt(kPi) * 2 * kPi / 200 * 100 / (4 * kPi * kPi);
    EXPECT_NEAR((Term{3, 2, 1}.projected(3, 2, 1)), peak, 1e-2 * peak);

    // Orders outside 0..20 write nothing.
    fill(coeffs, kSentinel);
    computeBrdfCoeffs(samples, coeffs, -1);
    computeBrdfCoeffs(samples, coeffs, 21);
    for (int e = 0; e < coeffs.getCount(); ++e) ASSERT_EQ(coeffs.data()[e].green, kSentinel);
}

// The view band p at which each channel's BRDF energy first exceeds 97 % of its norm, printed
// per channel (0 means not reached, so a channel already there at p = 0 reads 1); the order
// returned is the largest, 10 when no channel gets there. The light order stays 20.
TEST(ComputeOrder, Rules) {
    struct Entry {
        int l, p, q;
        Rgb value;
    };
    const struct {
        std::vector<Entry> entries;
        Rgb norm;
        int brdfOrder;
        const char* perChannel;
    } cases[] = {
        {{{0, 0, 0, Rgb(1, 1, 1)}}, Rgb(1, 1, 1), 1, "1 1 1"},
        {{{0, 0, 0, Rgb(0.5, 1, 0.5)}, {2, 3, 1, Rgb(0.5, 0, 0)}}, Rgb(1, 2, 4), 10, "0 0 0"},
        {{{2, 2, 1, Rgb(1, 0, 0)}, {5, 5, 5, Rgb(0, 1, 0)}, {3, 0, 0, Rgb(0, 0, 1)}},
         Rgb(1, 1, 1),
         5,
         "2 5 1"},
        // p = 12 is beyond the view bands read.
        {{{1, 1, 0, Rgb(0.99, 0.99, 0.99)}, {4, 12, 2, Rgb(5, 5, 5)}}, Rgb(1, 1, 1), 1, "1 1 1"},
    };
    for (const auto& c : cases) {
        ixUtil::ArrayN<3, Rgb> brdf({21, 21, 21});
        brdf.clear();
        for (const Entry& e : c.entries) brdf(e.l, e.p, e.q) = e.value;
        int lightOrder = -1, brdfOrder = -1;
        testing::internal::CaptureStdout();
        computeOrder(SphericalHarmonics<Rgb>(20), brdf, c.norm, lightOrder, brdfOrder);
        const std::string output = testing::internal::GetCapturedStdout();
        EXPECT_NE(output.find(std::string("brdfOrder is ") + c.perChannel + "\n"),
                  std::string::npos)
            << output;
        EXPECT_EQ(brdfOrder, c.brdfOrder) << output;
        EXPECT_EQ(lightOrder, 20) << output;
    }
}

}  // namespace
