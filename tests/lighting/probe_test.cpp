// Real light probes against brute-force integrals: specular and view-dependent maps of every
// model, and the diffuse and Phong 16 bakes at every probe size and projection. The reference
// integrates the probe at a quarter of its resolution (4 x 4 box averages of the 1024 x 512
// file, pixels of about 1.4 degrees), which keeps it fast; it blurs the sharpest lobe (Phong
// 64) a little, hence its looser bound.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "exr_probe.h"
#include "iximage/lighting/blinn_phong_reflectance.h"
#include "iximage/lighting/ggx_reflectance.h"
#include "iximage/lighting/lambert_reflectance.h"
#include "iximage/lighting/measured_reflectance.h"
#include "iximage/lighting/phong_reflectance.h"
#include "lighting_test_util.h"

namespace {

using ixImage::Float3Image;
using ixImage::FloatPixel3;
using Rgb = FloatPixel3<double>;
using ixTest::Dir;
using Reference = std::function<Rgb(const ixTest::WeightedSamples&, const Dir& n, const Dir& v)>;

class RealProbe : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (ixTest::probeDir().empty()) GTEST_SKIP() << "no light probes in this checkout";
        probe = ixTest::loadProbeExr(ixTest::probeDir() + "/" + GetParam() + ".exr");
        ASSERT_TRUE(probe && probe->getWidth() == 1024) << GetParam();
        ASSERT_TRUE(ixTest::useProbe(lighting, probe.get()));
    }
    ix::Reference<Float3Image> probe;
    ixImage::ImageBasedLighting lighting;
};

Reference phongReference(int n) {
    return [n](const ixTest::WeightedSamples& s, const Dir& axis, const Dir&) {
        return ixTest::phongPrefilter(s, axis, n);
    };
}

// GGX (alpha, f0), grey or tinted like the measured table, or Blinn-Phong n when alpha is 0.
Reference twoDirection(double alpha, double f0, bool tinted = false) {
    return [=](const ixTest::WeightedSamples& s, const Dir& n, const Dir& v) {
        return ixTest::brdfPrefilter(s, n, v, [&](const double* wi, const double* wo) {
            const double f =
                alpha > 0 ? ixTest::ggxCos(alpha, f0, wi, wo) : ixTest::blinnPhongCos(f0, wi, wo);
            const double* t = ixTest::kTableTint;
            return tinted ? Rgb(f * t[0], f * t[1], f * t[2]) : Rgb(f, f, f);
        });
    };
}

// Relative RMS over a regular subset of pixels: every fifth for the Phong lobes; every tenth,
// against the probe at an eighth of its resolution, for the two-direction models, whose
// reference costs more and whose lobes are all wider than 10 degrees. The Lambert map is the
// n = 1 prefilter; the measured table is GGX(0.4, 0.1) in the file format, tinted per channel.
// (Phong 16 is checked with the bakes below.)
TEST_P(RealProbe, SpecularMapsMatchBruteForcePrefiltering) {
    const ixTest::WeightedSamples reduced(*ixTest::boxDownsample(*probe, 4));
    const ixTest::WeightedSamples coarse(*ixTest::boxDownsample(*probe, 8));
    const ixImage::PhongReflectance phong4(4), phong64(64);
    const ixImage::LambertReflectance lambert;
    const ixImage::GgxReflectance ggx3(0.3), ggx6(0.6, 0.04);
    const ixImage::BlinnPhongReflectance blinn16(16), blinn64(64);
    const ixImage::MeasuredReflectance measured(ixTest::ggxTable(0.4, 0.1));
    const struct {
        const char* name;
        const ixImage::ReflectanceFunction* rf;
        Reference reference;
        int stride;
        double limit;
    } cases[] = {{"Phong 4", &phong4, phongReference(4), 5, 0.03},
                 {"Phong 64", &phong64, phongReference(64), 5, 0.05},
                 {"Lambert", &lambert, phongReference(1), 5, 0.03},
                 {"GGX 0.3", &ggx3, twoDirection(0.3, 1.0), 10, 0.03},
                 {"GGX 0.6 f0 0.04", &ggx6, twoDirection(0.6, 0.04), 10, 0.03},
                 {"Blinn-Phong 16", &blinn16, twoDirection(0, 16), 10, 0.03},
                 {"Blinn-Phong 64", &blinn64, twoDirection(0, 64), 10, 0.03},
                 {"measured", &measured, twoDirection(0.4, 0.1, true), 10, 0.03}};
    for (const auto& c : cases) {
        const Float3Image* image = ixTest::specularImage(lighting, *c.rf);
        ASSERT_NE(image, nullptr) << c.name;
        ixTest::RelativeRms rms;
        for (int y = c.stride / 2; y < 100; y += c.stride)
            for (int x = c.stride / 2; x < 200; x += c.stride) {
                const Dir n = ixTest::pixelDirection(x, y, 200, 100);
                ixTest::addRgb(rms, image->at(x, y),
                               c.reference(c.stride > 5 ? coarse : reduced, n, n));
            }
        std::printf("%s %s: relative RMS %.4f\n", GetParam(), c.name, rms.value());
        EXPECT_LT(rms.value(), c.limit) << GetParam() << ", " << c.name;
    }
}

Dir randomDirection(std::mt19937& random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double z = 2 * unit(random) - 1, a = 2 * ixTest::kPi * unit(random);
    return {std::sqrt(1 - z * z) * std::cos(a), std::sqrt(1 - z * z) * std::sin(a), z};
}

ixLinear::VectorFlt vec(const Dir& d) {
    return ixLinear::VectorFlt(float(d.x), float(d.y), float(d.z));
}

// The view-dependent map at 200 random (normal, view) pairs, the view uniform over the cap up
// to 60 degrees from the normal, against the brute-force integral; and at view = normal
// against the specular map (at pixel centres, where no interpolation blurs either).
TEST_P(RealProbe, ViewDependentMapsMatchBruteForce) {
    const ixTest::WeightedSamples reduced(*ixTest::boxDownsample(*probe, 4));
    const ixImage::PhongReflectance phong16(16);
    const ixImage::GgxReflectance ggx5(0.5);
    const struct {
        const ixImage::ReflectanceFunction* rf;
        Reference reference;
    } cases[] = {{&phong16, phongReference(16)}, {&ggx5, twoDirection(0.5, 1.0)}};
    for (const auto& c : cases) {
        const ixImage::ViewDependentMap* map = lighting.getViewDependentMap(*c.rf, nullptr);
        ASSERT_NE(map, nullptr) << c.rf->getKey();
        std::mt19937 random(7);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        ixTest::RelativeRms rms;
        for (int i = 0; i < 200; ++i) {
            const Dir n = randomDirection(random), r = randomDirection(random);
            const double cosV = 1 - 0.5 * unit(random), sinV = std::sqrt(1 - cosV * cosV);
            const double rn = ixTest::dot(r, n), tl = std::sqrt(1 - rn * rn);
            const Dir v{n.x * cosV + sinV * (r.x - rn * n.x) / tl,
                        n.y * cosV + sinV * (r.y - rn * n.y) / tl,
                        n.z * cosV + sinV * (r.z - rn * n.z) / tl};
            ixTest::addRgb(rms, map->evaluate(vec(n), vec(v)), c.reference(reduced, n, v));
        }
        std::printf("%s key %x view-dependent: relative RMS %.4f\n", GetParam(), c.rf->getKey(),
                    rms.value());
        EXPECT_LT(rms.value(), 0.04) << GetParam() << " key " << c.rf->getKey();
        const Float3Image* image = ixTest::specularImage(lighting, *c.rf);
        ixTest::RelativeRms same;
        for (int i = 0; i < 200 * 100; i += 47) {
            const ixLinear::VectorFlt n = vec(ixTest::pixelDirection(i % 200, i / 200, 200, 100));
            const FloatPixel3<float> p = image->data()[i];
            ixTest::addRgb(same, map->evaluate(n, n), Rgb(p.red, p.green, p.blue));
        }
        EXPECT_LT(same.value(), 0.005) << GetParam() << " key " << c.rf->getKey();
    }
}

// Each pixel repeated factor x factor times: the same light on a finer grid (for a cross, too:
// a face pixel's solid angle is the sum of those of its sub-pixels).
ix::Reference<Float3Image> repeatPixels(const Float3Image& in, int factor) {
    ix::Reference<Float3Image> out(new Float3Image);
    out->setSize(in.getWidth() * factor, in.getHeight() * factor);
    for (int y = 0; y < out->getHeight(); ++y)
        for (int x = 0; x < out->getWidth(); ++x) out->at(x, y) = in.at(x / factor, y / factor);
    return out;
}

// A vertical cross of 128-pixel faces holding the original's power: every original pixel is
// split into 4 x 4 sub-samples, each carrying a sixteenth of the pixel's exact solid angle into
// the cross pixel its direction falls in, and each cross pixel is divided by its own exact
// solid angle, the closed form atan(s t / sqrt(1 + s^2 + t^2)) over the cube-face rectangle.
ix::Reference<Float3Image> crossOf(const Float3Image& in) {
    constexpr int kFace = 128, kSub = 4;
    const int w = in.getWidth(), h = in.getHeight(), W = 3 * kFace, H = 4 * kFace;
    const ixImage::CrossMap cross(kFace, false);
    std::vector<Rgb> sum(size_t(W) * H);
    for (int j = 0; j < h * kSub; ++j) {
        const double lat[2] = {(double(j / kSub) / h - 0.5) * ixTest::kPi,
                               (double(j / kSub + 1) / h - 0.5) * ixTest::kPi};
        const double share = (2 * ixTest::kPi / w) * (std::sin(lat[1]) - std::sin(lat[0])) / 16;
        for (int i = 0; i < w * kSub; ++i) {
            float u, v;
            cross.dirToCoord(vec(ixTest::pixelDirection(i, j, w * kSub, h * kSub)), u, v);
            const FloatPixel3<float>& p = in.at(i / kSub, j / kSub);
            Rgb& cell = sum[size_t(std::min(H - 1, int(v * H))) * W + std::min(W - 1, int(u * W))];
            cell = cell + Rgb(share * p.red, share * p.green, share * p.blue);
        }
    }
    auto F = [](double s, double t) { return std::atan2(s * t, std::sqrt(1 + s * s + t * t)); };
    ix::Reference<Float3Image> out(new Float3Image);
    out->setSize(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int face;
            float fu, fv;
            const bool inside = cross.crossToCube((x + 0.5f) / W, (y + 0.5f) / H, face, fu, fv);
            const double s0 = 2.0 * std::floor(fu * kFace) / kFace - 1,
                         t0 = 2.0 * std::floor(fv * kFace) / kFace - 1, d = 2.0 / kFace;
            const double omega = F(s0 + d, t0 + d) - F(s0, t0 + d) - F(s0 + d, t0) + F(s0, t0);
            const Rgb& e = sum[size_t(y) * W + x];
            out->at(x, y) = inside
                                ? FloatPixel3<float>(float(e.red / omega), float(e.green / omega),
                                                     float(e.blue / omega))
                                : FloatPixel3<float>();
        }
    return out;
}

// Brute-force Phong 16 seen from every fifth pixel of the 200 x 100 map (40 x 20 directions)
// and irradiance on a 32 x 16 grid of normals, and a bake's relative RMS errors against them.
struct Truth {
    std::vector<Rgb> phong16, irradiance;
    explicit Truth(const ixTest::WeightedSamples& samples) {
        for (const Dir& d : ixTest::normalGrid(40, 20))
            phong16.push_back(ixTest::phongPrefilter(samples, d, 16));
        for (const Dir& n : ixTest::normalGrid(32, 16))
            irradiance.push_back(ixTest::phongPrefilter(samples, n, 1));
    }
};

struct Bake {
    double phong16, irradiance;
    ixImage::Irradiance irr;
};

Bake bake(Float3Image& probe, ixImage::WorkingProbeFilter filter, const Truth& truth) {
    ixImage::ImageBasedLighting lighting;
    ixTest::useProbe(lighting, &probe);
    lighting.setWorkingProbeFilter(filter);
    Bake result{1.0, 1.0, {}};
    lighting.getIrradiance(result.irr, nullptr);
    const Float3Image* image = ixTest::specularImage(lighting, ixImage::PhongReflectance(16));
    if (!image) return result;
    ixTest::RelativeRms phong, diffuse;
    for (size_t k = 0; k < truth.phong16.size(); ++k)  // cell k of 40 x 20: pixel 5k + 2
        ixTest::addRgb(phong, image->at(int(k % 40) * 5 + 2, int(k / 40) * 5 + 2),
                       truth.phong16[k]);
    size_t k = 0;
    for (const Dir& n : ixTest::normalGrid(32, 16))
        ixTest::addRgb(diffuse, ixImage::evaluateIrradiance(result.irr, n.x, n.y, n.z),
                       truth.irradiance[k++]);
    result.phong16 = phong.value(), result.irradiance = diffuse.value();
    return result;
}

// The default 1024 x 512 bake: irradiance equal to the exact nine-term series of the working
// image, which is itself a few per cent off the true cosine integral (the pipeline must stay
// within 10 %), and Phong 16 within 3 %. Then the probe is rebuilt as a latitude-longitude map
// of 256 to 4096 pixels (box-averaged or each pixel repeated) and as crosses of 128-pixel faces
// (power kept) and 512-pixel faces (repeated), baked through the energy-preserving working
// probe: each must stay within one percentage point of the default bake.
TEST_P(RealProbe, EverySizeAndProjectionBakesLike1024) {
    const Truth truth(ixTest::WeightedSamples(*ixTest::boxDownsample(*probe, 4)));
    const Bake base = bake(*probe, ixImage::WorkingProbeFilter::kBlurResize, truth);
    std::printf("%s: 1024 x 512 blur and resize: Phong 16 %.2f %%, irradiance %.2f %%\n",
                GetParam(), 100 * base.phong16, 100 * base.irradiance);
    EXPECT_LE(ixTest::nineTermRms(*probe, base.irr), 0.005) << GetParam();
    EXPECT_LE(base.irradiance, 0.10) << GetParam();
    EXPECT_LE(base.phong16, 0.03) << GetParam();

    const ix::Reference<Float3Image> cross128 = crossOf(*probe);
    const bool large = std::string(GetParam()) == "sunset";  // one probe for 2048 and 4096
    const struct {
        const char* name;
        ix::Reference<Float3Image> probe;
    } variants[] = {{"lat-long 256 (box)", ixTest::boxDownsample(*probe, 4)},
                    {"lat-long 512 (box)", ixTest::boxDownsample(*probe, 2)},
                    {"lat-long 1024", probe},
                    {"lat-long 2048 (repeated)", large ? repeatPixels(*probe, 2) : nullptr},
                    {"lat-long 4096 (repeated)", large ? repeatPixels(*probe, 4) : nullptr},
                    {"cross 128", cross128},
                    {"cross 512 (repeated)", repeatPixels(*cross128, 4)}};
    for (const auto& variant : variants) {
        if (!variant.probe) continue;
        const Bake e = bake(*variant.probe, ixImage::WorkingProbeFilter::kEnergyPreserving, truth);
        std::printf("%s: %s energy preserving: Phong 16 %.2f %%, irradiance %.2f %%\n", GetParam(),
                    variant.name, 100 * e.phong16, 100 * e.irradiance);
        EXPECT_LE(e.phong16, base.phong16 + 0.01) << GetParam() << ", " << variant.name;
        EXPECT_LE(e.irradiance, base.irradiance + 0.01) << GetParam() << ", " << variant.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Probes, RealProbe, ::testing::Values("courtyard", "studio", "sunset"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

}  // namespace
