// Diffuse lighting end to end against physics: white furnaces, the exact nine-term irradiance
// of the working image, a brute-force cosine integral over the full probe, and projection
// independence (the same light as a latitude-longitude map and as a cross).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "iximage/image/blur.h"
#include "iximage/image/resize.h"
#include "iximage/lighting/image_based_lighting.h"
#include "lighting_test_util.h"
#include "support/exr_probe.h"

namespace {

using ixImage::Float3Image;
using ixImage::ImageBasedLighting;
using ixImage::Irradiance;
using ixTest::Dir;
using ixTest::kPi;
using ixTest::Rgb;

constexpr int kGridCols = 64;
constexpr int kGridRows = 32;

class DiffusePhysics : public ::testing::Test {
protected:
    void SetUp() override {
        ImageBasedLighting::setRotationMatrixFilename(ixTest::rotationMatrixPath().c_str());
    }
};

Irradiance irradianceOf(ImageBasedLighting& lighting, Float3Image* probe) {
    ixUtil::Error error;
    lighting.setLightProbe(probe, error);
    EXPECT_TRUE(lighting.haveUsableLightProbe()) << error.getMessage();
    Irradiance irr;
    lighting.getIrradiance(irr, nullptr);
    EXPECT_NE(lighting.getLightCoeffs(), nullptr) << "rotation-matrix file not loaded";
    return irr;
}

// The 200 x 100 working image made by hand: probes wider than 400 pixels are pre-filtered with
// the smallest integer diameter above width / 200 (the shrink factor), then shrunk
// bilinearly. The probe must already carry the wrap flags that recognition gives it.
ix::Reference<Float3Image> workingImageOf(Float3Image& probe) {
    ix::Reference<ixImage::Image> source = &probe;
    if (probe.getWidth() > 400) {
        ix::Reference<ixImage::Image> blurred = new Float3Image;
        ixImage::imageBlur(probe, *blurred, probe.getWidth() / 200 + 1, false, false);
        source = blurred;
    }
    ix::Reference<ixImage::Image> resized = ixImage::resize(*source, 200, 100, true);
    return static_cast<Float3Image*>(resized.get());
}

// Solid angle of the pixels of row j of a w x h latitude-longitude image, exactly:
// (2 pi / w) * (sin(top latitude) - sin(bottom latitude)).
double rowSolidAngle(int j, int w, int h) {
    const double bottom = (double(j) / h - 0.5) * kPi, top = (double(j + 1) / h - 0.5) * kPi;
    return (2.0 * kPi / w) * (std::sin(top) - std::sin(bottom));
}

Rgb pixelRadiance(const Float3Image& image, int x, int y) {
    const ixImage::FloatPixel3<float>& p = image.at(x, y);
    return {{p.red, p.green, p.blue}};
}

// The exact irradiance of bands 0 to 2 of a latitude-longitude image, in the environment
// frame: L_k = integral of L Y_k over the pixels (exact pixel areas, centre directions), then
// E(n) / pi = sum_k (A_l / pi) L_k Y_k(n) with A_0 = pi, A_1 = 2 pi / 3, A_2 = pi / 4.
class NineTermIrradiance {
public:
    explicit NineTermIrradiance(const Float3Image& image) {
        const int w = image.getWidth(), h = image.getHeight();
        for (int y = 0; y < h; ++y) {
            const double omega = rowSolidAngle(y, w, h);
            for (int x = 0; x < w; ++x) {
                const Dir d = ixTest::latLongDirection((x + 0.5) / w, (y + 0.5) / h);
                double Y[9];
                basis(d, Y);
                const Rgb L = pixelRadiance(image, x, y);
                for (int k = 0; k < 9; ++k)
                    for (int c = 0; c < 3; ++c) coefficient[k][c] += L.c[c] * Y[k] * omega;
            }
        }
    }

    double evaluate(const Dir& n, int c) const {
        static const double kLobe[9] = {1, 2.0 / 3, 2.0 / 3, 2.0 / 3, 0.25, 0.25, 0.25, 0.25, 0.25};
        double Y[9];
        basis(n, Y);
        double sum = 0.0;
        for (int k = 0; k < 9; ++k) sum += kLobe[k] * coefficient[k][c] * Y[k];
        return sum;
    }

private:
    static void basis(const Dir& d, double (&Y)[9]) {
        const double x = d.x, y = d.y, z = d.z;
        Y[0] = 0.5 / std::sqrt(kPi);
        Y[1] = std::sqrt(3.0 / (4.0 * kPi)) * y;
        Y[2] = std::sqrt(3.0 / (4.0 * kPi)) * z;
        Y[3] = std::sqrt(3.0 / (4.0 * kPi)) * x;
        Y[4] = 0.5 * std::sqrt(15.0 / kPi) * x * y;
        Y[5] = 0.5 * std::sqrt(15.0 / kPi) * y * z;
        Y[6] = 0.25 * std::sqrt(5.0 / kPi) * (3.0 * z * z - 1.0);
        Y[7] = 0.5 * std::sqrt(15.0 / kPi) * x * z;
        Y[8] = 0.25 * std::sqrt(15.0 / kPi) * (x * x - y * y);
    }

    double coefficient[9][3] = {};
};

// (1 / pi) * sum over every pixel of the probe of L * omega * max(0, n . d), over the
// full-resolution probe. Along a row of latitude lambda the cosine is
//   n . d = nz sin(lambda) - cos(lambda) (nx sin(mu) + ny cos(mu)),
// so the pixels facing away from n form one circular run of columns around the azimuth of
// (nx, ny), found in closed form. With per-row prefix sums of L, L sin(mu) and L cos(mu), each
// row costs O(1) per normal: the sum over the row minus the sum over that run. This is the
// per-pixel sum regrouped (only pixels within rounding of the horizon may be classified
// differently, and they contribute about zero); the NaivePerPixelSum test checks it against
// the plain loop.
class BruteForceIrradiance {
public:
    explicit BruteForceIrradiance(const Float3Image& probe)
        : width(probe.getWidth()), height(probe.getHeight()) {
        prefix.assign(static_cast<size_t>(width + 1) * height, Moments{});
        for (int y = 0; y < height; ++y) {
            const double omega = rowSolidAngle(y, width, height);
            Moments* row = &prefix[static_cast<size_t>(y) * (width + 1)];
            for (int x = 0; x < width; ++x) {
                const double mu = longitude(x);
                const double sinMu = std::sin(mu), cosMu = std::cos(mu);
                const Rgb L = pixelRadiance(probe, x, y);
                for (int c = 0; c < 3; ++c) {
                    const double w = L.c[c] * omega;
                    row[x + 1].L[c] = row[x].L[c] + w;
                    row[x + 1].Lsin[c] = row[x].Lsin[c] + w * sinMu;
                    row[x + 1].Lcos[c] = row[x].Lcos[c] + w * cosMu;
                }
            }
            const double latitude = ((y + 0.5) / height - 0.5) * kPi;
            rowSin.push_back(std::sin(latitude));
            rowCos.push_back(std::cos(latitude));
        }
    }

    // Rows outermost, so that each row's sums stay in cache across the normals.
    std::vector<Rgb> evaluate(const std::vector<Dir>& normals) const {
        std::vector<Rgb> sums(normals.size(), Rgb{{0.0, 0.0, 0.0}});
        for (int y = 0; y < height; ++y) {
            const double sinLat = rowSin[y], cosLat = rowCos[y];
            for (size_t k = 0; k < normals.size(); ++k) {
                const Dir& n = normals[k];
                const double offset = n.z * sinLat;
                const double amplitude = cosLat * std::sqrt(n.x * n.x + n.y * n.y);
                Rgb row;
                if (amplitude == 0.0 || offset >= amplitude) {
                    if (offset <= 0.0) continue;  // the row faces away or lies on the horizon
                    row = runSum(y, 0, width, n, sinLat, cosLat);
                } else if (offset <= -amplitude) {
                    continue;
                } else {
                    // Facing away: cos(mu - azimuth) >= offset / amplitude, where
                    // nx sin(mu) + ny cos(mu) = R cos(mu - azimuth): a run of half-width alpha
                    // around the azimuth, converted to column positions.
                    const double alpha = std::acos(offset / amplitude);
                    const double centre = column(std::atan2(n.x, n.y));
                    const double halfWidth = alpha / (2.0 * kPi) * width;
                    const int first = int(std::ceil(centre - halfWidth));
                    const int count = int(std::floor(centre + halfWidth)) - first + 1;
                    row = runSum(y, 0, width, n, sinLat, cosLat);
                    const Rgb away = runSum(y, first, count, n, sinLat, cosLat);
                    for (int c = 0; c < 3; ++c) row.c[c] -= away.c[c];
                }
                for (int c = 0; c < 3; ++c) sums[k].c[c] += row.c[c];
            }
        }
        for (Rgb& sum : sums)
            for (int c = 0; c < 3; ++c) sum.c[c] /= kPi;
        return sums;
    }

    Rgb evaluate(const Dir& n) const { return evaluate(std::vector<Dir>{n})[0]; }

private:
    struct Moments {
        double L[3], Lsin[3], Lcos[3];  // running sums of L omega, L omega sin(mu), ... cos(mu)
    };

    // Longitude of column x's centre, (2u - 1) pi, and the inverse as a real column position.
    double longitude(int x) const { return (2.0 * (x + 0.5) / width - 1.0) * kPi; }
    double column(double mu) const { return (mu / kPi + 1.0) * 0.5 * width - 0.5; }

    // Sum over columns [x0, x1) of row y of L omega (n . d).
    Rgb columnSum(int y, int x0, int x1, const Dir& n, double sinLat, double cosLat) const {
        const Moments& a = prefix[static_cast<size_t>(y) * (width + 1) + x0];
        const Moments& b = prefix[static_cast<size_t>(y) * (width + 1) + x1];
        Rgb out;
        for (int c = 0; c < 3; ++c)
            out.c[c] = n.z * sinLat * (b.L[c] - a.L[c]) -
                       cosLat * (n.x * (b.Lsin[c] - a.Lsin[c]) + n.y * (b.Lcos[c] - a.Lcos[c]));
        return out;
    }

    // The same over count columns starting at first, wrapping around the seam.
    Rgb runSum(int y, int first, int count, const Dir& n, double sinLat, double cosLat) const {
        Rgb out{{0.0, 0.0, 0.0}};
        if (count <= 0) return out;
        const int start = ((first % width) + width) % width;
        const int end = start + std::min(count, width);
        const Rgb a = columnSum(y, start, std::min(end, width), n, sinLat, cosLat);
        const Rgb b = end > width ? columnSum(y, 0, end - width, n, sinLat, cosLat) : out;
        for (int c = 0; c < 3; ++c) out.c[c] = a.c[c] + b.c[c];
        return out;
    }

    int width, height;
    std::vector<Moments> prefix;         // per row, width + 1 running sums starting at zero
    std::vector<double> rowSin, rowCos;  // sine and cosine of each row's latitude
};

// The plain loop that BruteForceIrradiance regroups.
Rgb naivePerPixelSum(const Float3Image& probe, const Dir& n) {
    const int w = probe.getWidth(), h = probe.getHeight();
    Rgb sum{{0.0, 0.0, 0.0}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double cosine =
                ixTest::dot(n, ixTest::latLongDirection((x + 0.5) / w, (y + 0.5) / h));
            const Rgb L = pixelRadiance(probe, x, y);
            if (cosine > 0.0)
                for (int c = 0; c < 3; ++c) sum.c[c] += cosine * L.c[c] * rowSolidAngle(y, w, h);
        }
    for (int c = 0; c < 3; ++c) sum.c[c] /= kPi;
    return sum;
}

// The reference itself: a white probe gives 1 (the cosine integrates to pi over a hemisphere),
// and a rough probe gives the plain per-pixel sum, for normals at the poles and in between.
TEST(BruteForceReference, WhiteProbeGivesOne) {
    auto probe = ixTest::makeLatLongProbe(256, 128, ixTest::whiteRadiance);
    const BruteForceIrradiance truth(*probe);
    for (const Dir& n : ixTest::normalGrid(16, 8))
        ASSERT_NEAR(truth.evaluate(n).c[1], 1.0, 1e-4) << n.x << " " << n.y << " " << n.z;
    EXPECT_NEAR(truth.evaluate({0, 0, 1}).c[0], 1.0, 1e-4);
    EXPECT_NEAR(truth.evaluate({0, 0, -1}).c[2], 1.0, 1e-4);
}

TEST(BruteForceReference, NaivePerPixelSum) {
    // Radiance that changes from pixel to pixel, so a misplaced run boundary shows.
    auto probe = ixTest::makeLatLongProbe(96, 48, [](const Dir& d) {
        const double r = 1.0 + 0.9 * std::sin(37.0 * d.x + 11.0 * d.y * d.z);
        return Rgb{{r, 2.0 - r, 1.0 + d.z}};
    });
    const BruteForceIrradiance truth(*probe);
    std::vector<Dir> normals = ixTest::normalGrid(12, 7);
    normals.push_back({0, 0, 1});
    normals.push_back({0, 0, -1});
    normals.push_back({1, 0, 0});
    for (const Dir& n : normals) {
        const Rgb fast = truth.evaluate(n), plain = naivePerPixelSum(*probe, n);
        for (int c = 0; c < 3; ++c)
            ASSERT_NEAR(fast.c[c], plain.c[c], 1e-9 * (1.0 + std::fabs(plain.c[c])))
                << "channel " << c << ", normal " << n.x << " " << n.y << " " << n.z;
    }
}

// ---- White furnace: a probe of radiance 1 gives irradiance 1 for every normal ----

struct FurnaceCase {
    const char* name;
    int size;  // lat-long width, or cross face edge
    bool cross;
    double tolerance;
};

TEST_F(DiffusePhysics, WhiteProbeGivesIrradianceOne) {
    // The cross loses a little light where the bilinear reads of the remapping reach into the
    // empty cells beside some face edges.
    const FurnaceCase cases[] = {
        {"lat-long 400 x 200", 400, false, 1e-3},
        {"lat-long 800 x 400", 800, false, 1e-3},
        {"cross of 128-pixel faces", 128, true, 1e-2},
    };
    for (const FurnaceCase& c : cases) {
        auto probe = c.cross ? ixTest::makeCrossProbe(c.size, ixTest::whiteRadiance)
                             : ixTest::makeLatLongProbe(c.size, c.size / 2, ixTest::whiteRadiance);
        ImageBasedLighting lighting;
        const Irradiance irr = irradianceOf(lighting, probe.get());
        double worst = 0.0;
        for (const Dir& n : ixTest::normalGrid(kGridCols, kGridRows))
            for (int ch = 0; ch < 3; ++ch) {
                const double e = ixTest::evaluateIrradiance(irr, ch, n);
                worst = std::max(worst, std::fabs(e - 1.0));
                ASSERT_NEAR(e, 1.0, c.tolerance) << c.name << ", channel " << ch << ", normal "
                                                 << n.x << " " << n.y << " " << n.z;
            }
        std::printf("[ figure   ] white furnace, %s: max |E - 1| = %.3g\n", c.name, worst);
    }
}

// ---- The same light as a latitude-longitude map and as a cross ----

TEST_F(DiffusePhysics, LatLongAndCrossProbesAgree) {
    auto latLong = ixTest::makeLatLongProbe(400, 200, ixTest::skyRadiance);
    auto cross = ixTest::makeCrossProbe(128, ixTest::skyRadiance);
    ImageBasedLighting a, b;
    const Irradiance fromLatLong = irradianceOf(a, latLong.get());
    const Irradiance fromCross = irradianceOf(b, cross.get());
    double worst = 0.0;
    for (const Dir& n : ixTest::normalGrid(kGridCols, kGridRows))
        for (int ch = 0; ch < 3; ++ch) {
            const double e = ixTest::evaluateIrradiance(fromCross, ch, n);
            const double reference = ixTest::evaluateIrradiance(fromLatLong, ch, n);
            worst = std::max(worst, std::fabs(e - reference) / reference);
            ASSERT_NEAR(e, reference, 0.02 * reference)
                << "channel " << ch << ", normal " << n.x << " " << n.y << " " << n.z;
        }
    std::printf("[ figure   ] lat-long vs cross: max relative difference %.3g\n", worst);
}

// ---- Against the exact nine-term irradiance of the working image ----

// Relative RMS over the normal grid of the object's irradiance against the nine-term series.
double nineTermRms(Float3Image& probe) {
    ImageBasedLighting lighting;
    const Irradiance irr = irradianceOf(lighting, &probe);
    const NineTermIrradiance exact(*workingImageOf(probe));
    ixTest::RelativeRms rms;
    for (const Dir& n : ixTest::normalGrid(kGridCols, kGridRows))
        for (int ch = 0; ch < 3; ++ch)
            rms.add(ixTest::evaluateIrradiance(irr, ch, n), exact.evaluate(n, ch));
    return rms.get();
}

TEST_F(DiffusePhysics, SyntheticProbesMatchTheExactNineTermIrradiance) {
    const int widths[] = {400, 1024};
    for (int width : widths) {
        auto probe = ixTest::makeLatLongProbe(width, width / 2, ixTest::skyRadiance);
        const double rms = nineTermRms(*probe);
        std::printf("[ figure   ] synthetic %d x %d: relative RMS vs exact nine-term %.3g\n", width,
                    width / 2, rms);
        EXPECT_LE(rms, 0.005) << "width " << width;
    }
}

// ---- Real probes ----

class RealProbe : public DiffusePhysics, public ::testing::WithParamInterface<const char*> {
protected:
    // Null (after GTEST_SKIP) when this checkout has no probes folder.
    ix::Reference<Float3Image> load() {
        const std::string dir = ixTest::probeDir();
        if (dir.empty()) return nullptr;
        auto probe = ixTest::loadProbeExr(dir + "/" + GetParam());
        EXPECT_TRUE(probe) << "cannot read " << GetParam();
        return probe;
    }
};

TEST_P(RealProbe, MatchesTheExactNineTermIrradiance) {
    auto probe = load();
    if (!probe) GTEST_SKIP() << "no probes folder";
    const double rms = nineTermRms(*probe);
    std::printf("[ figure   ] %s: relative RMS vs exact nine-term %.3g\n", GetParam(), rms);
    EXPECT_LE(rms, 0.005);
}

// The nine-term representation itself has an error of a few per cent against the true
// cosine-weighted integral; require the whole pipeline to stay within 10 %.
TEST_P(RealProbe, IsCloseToTheBruteForceCosineIntegral) {
    auto probe = load();
    if (!probe) GTEST_SKIP() << "no probes folder";
    ImageBasedLighting lighting;
    const Irradiance irr = irradianceOf(lighting, probe.get());
    const std::vector<Dir> normals = ixTest::normalGrid(kGridCols, kGridRows);
    const std::vector<Rgb> truth = BruteForceIrradiance(*probe).evaluate(normals);
    ixTest::RelativeRms rms;
    for (size_t k = 0; k < normals.size(); ++k)
        for (int ch = 0; ch < 3; ++ch)
            rms.add(ixTest::evaluateIrradiance(irr, ch, normals[k]), truth[k].c[ch]);
    std::printf("[ figure   ] %s: relative RMS vs brute-force integral %.3g\n", GetParam(),
                rms.get());
    EXPECT_LE(rms.get(), 0.10);
}

INSTANTIATE_TEST_SUITE_P(Probes, RealProbe,
                         ::testing::Values("courtyard.exr", "studio.exr", "sunset.exr"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
