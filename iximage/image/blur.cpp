// Separable blur by four nested box filters.
//
// Along one line the filter is the sum of four centred boxes of radii R1 >= R2 >= R3 >= R4,
// divided by the number n of samples summed. In the interior a sample at distance j from x
// weighs (number of radii >= |j|) / N with N = 2 (R1 + R2 + R3 + R4) + 4: a stepped
// approximation of a bell. Both passes run a running sum, so the cost per sample does not
// depend on the diameter.
#include "iximage/image/blur.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ixImage {
namespace {

// Beyond this diameter r * 176 + 128 would no longer fit an int. Image lines are far shorter,
// so every box already covers the whole line long before.
constexpr int kMaxDiameter = 1 << 24;

struct BlurRadii {
    int r1, r2, r3, r4;
};

// r = d / 2 + 1/2, in float. R2, R3 and R4 are r scaled by 176/256, 122/256 and 65/256 in
// 8-bit fixed point and rounded half up (the + 128 before the shift).
BlurRadii blurRadii(int diameter) {
    const int d = std::clamp(diameter, 0, kMaxDiameter);
    const float r = static_cast<float>(d) * 0.5f + 0.5f;
    return {static_cast<int>(r), static_cast<int>(r * 176.0f + 128.0f) >> 8,
            static_cast<int>(r * 122.0f + 128.0f) >> 8, static_cast<int>(r * 65.0f + 128.0f) >> 8};
}

// ---- Kernels: the running-sum type and the normalisation of each pixel type ----
//
// scale(sum, k) turns a sum into a pixel with the factor k (1 / n, or 1/8 for the wrapped
// mean). The integer kernels truncate toward zero, so they lose up to one level per pass.

struct MaskKernel {
    using Pixel = unsigned char;
    using Sum = std::uint32_t;
    static void add(Sum& s, Pixel p) { s += p; }
    static void subtract(Sum& s, Pixel p) { s -= p; }
    static Pixel scale(Sum s, float k) {
        return static_cast<Pixel>(static_cast<int>(static_cast<float>(s) * k));
    }
};

struct Byte4Kernel {
    using Pixel = Byte4;
    using Sum = Int4;
    static void add(Sum& s, const Pixel& p) {
        s.red += p.red;
        s.green += p.green;
        s.blue += p.blue;
        s.alpha += p.alpha;
    }
    static void subtract(Sum& s, const Pixel& p) {
        s.red -= p.red;
        s.green -= p.green;
        s.blue -= p.blue;
        s.alpha -= p.alpha;
    }
    static int truncatedProduct(int channel, float k) {
        return static_cast<int>(static_cast<float>(channel) * k);
    }
    static Pixel scale(const Sum& s, float k) {
        return Byte4(Int4(truncatedProduct(s.red, k), truncatedProduct(s.green, k),
                          truncatedProduct(s.blue, k), truncatedProduct(s.alpha, k)));
    }
};

// The running sum itself is held in halves and updated with half's own operators, so every
// step rounds to half; only the final product is formed in float.
struct Half4Kernel {
    using Pixel = FloatPixel4<half>;
    using Sum = FloatPixel4<half>;
    static void add(Sum& s, const Pixel& p) {
        s.red += p.red;
        s.green += p.green;
        s.blue += p.blue;
        s.alpha += p.alpha;
    }
    static void subtract(Sum& s, const Pixel& p) {
        s.red -= p.red;
        s.green -= p.green;
        s.blue -= p.blue;
        s.alpha -= p.alpha;
    }
    static Pixel scale(const Sum& s, float k) {
        return Pixel(half(float(s.red) * k), half(float(s.green) * k), half(float(s.blue) * k),
                     half(float(s.alpha) * k));
    }
};

struct FloatKernel {
    using Pixel = float;
    using Sum = float;
    static void add(Sum& s, Pixel p) { s += p; }
    static void subtract(Sum& s, Pixel p) { s -= p; }
    static Pixel scale(Sum s, float k) { return s * k; }
};

struct Float3Kernel {
    using Pixel = FloatPixel3<float>;
    using Sum = FloatPixel3<float>;
    static void add(Sum& s, const Pixel& p) {
        s.red += p.red;
        s.green += p.green;
        s.blue += p.blue;
    }
    static void subtract(Sum& s, const Pixel& p) {
        s.red -= p.red;
        s.green -= p.green;
        s.blue -= p.blue;
    }
    static Pixel scale(const Sum& s, float k) { return Pixel(s.red * k, s.green * k, s.blue * k); }
};

// ---- One pass over a bundle of parallel lines ----
//
// A bundle holds `lanes` lines of `length` positions; position p of lane j is element
// p * step + j. The row pass filters one row at a time (one lane, step 1). The column pass
// filters all columns at once, one image row per position (width lanes, step width), so it
// walks memory row by row instead of striding down columns; each lane keeps its own running
// sum and the operations per lane are the same as for a single column.
template <class Kernel, bool kSingleLane>
class LineBundle {
public:
    using Pixel = typename Kernel::Pixel;
    using Sum = typename Kernel::Sum;

    LineBundle(const Pixel* in, Pixel* out, int length, int lanes, std::ptrdiff_t step, Sum* sums)
        : in(in), out(out), length(length), laneCount(lanes), step(step), sums(sums) {}

    int getLength() const { return length; }

    void clearSums() { std::fill(sums, sums + lanes(), Sum{}); }
    // One step near the ends of the line, in a single sweep over the lanes: per lane the
    // entering samples (positions in order) are added, the value at p is written with factor
    // k (unless p < 0, before the line starts), and the leaving samples are subtracted.
    void borderStep(const int* entering, int enteringCount, int p, float k, const int* leaving,
                    int leavingCount) {
        const Pixel* enteringLines[4];
        const Pixel* leavingLines[4];
        for (int t = 0; t < enteringCount; ++t) enteringLines[t] = in + entering[t] * step;
        for (int t = 0; t < leavingCount; ++t) leavingLines[t] = in + leaving[t] * step;
        Pixel* line = p >= 0 ? out + p * step : nullptr;
        for (int j = 0; j < lanes(); ++j) {
            Sum s = sums[j];
            for (int t = 0; t < enteringCount; ++t) Kernel::add(s, enteringLines[t][j]);
            if (line) line[j] = Kernel::scale(s, k);
            for (int t = 0; t < leavingCount; ++t) Kernel::subtract(s, leavingLines[t][j]);
            sums[j] = s;
        }
    }
    // One interior step in a single sweep over the lanes: per lane the four entering samples
    // are added in order, the value at p is written with factor k, and the four leaving
    // samples are subtracted in order.
    void interiorStep(const int (&entering)[4], int p, float k, const int (&leaving)[4]) {
        const Pixel* e0 = in + entering[0] * step;
        const Pixel* e1 = in + entering[1] * step;
        const Pixel* e2 = in + entering[2] * step;
        const Pixel* e3 = in + entering[3] * step;
        const Pixel* l0 = in + leaving[0] * step;
        const Pixel* l1 = in + leaving[1] * step;
        const Pixel* l2 = in + leaving[2] * step;
        const Pixel* l3 = in + leaving[3] * step;
        Pixel* line = out + p * step;
        for (int j = 0; j < lanes(); ++j) {
            Sum s = sums[j];
            Kernel::add(s, e0[j]);
            Kernel::add(s, e1[j]);
            Kernel::add(s, e2[j]);
            Kernel::add(s, e3[j]);
            line[j] = Kernel::scale(s, k);
            Kernel::subtract(s, l0[j]);
            Kernel::subtract(s, l1[j]);
            Kernel::subtract(s, l2[j]);
            Kernel::subtract(s, l3[j]);
            sums[j] = s;
        }
    }
    // Mean of eight positions, summed in the given order and scaled by 1/8.
    void writeMeanOfEight(int p, const int (&positions)[8]) {
        const Pixel* lines[8];
        for (int t = 0; t < 8; ++t) lines[t] = in + positions[t] * step;
        Pixel* line = out + p * step;
        for (int j = 0; j < lanes(); ++j) {
            Sum s{};
            for (const Pixel* source : lines) Kernel::add(s, source[j]);
            line[j] = Kernel::scale(s, 0.125f);
        }
    }

private:
    int lanes() const { return kSingleLane ? 1 : laneCount; }

    const Pixel* in;
    Pixel* out;
    int length;
    int laneCount;
    std::ptrdiff_t step;
    Sum* sums;
};

// Clipped pass: the four boxes count only positions inside the line, and the sum is divided
// by the number n of samples it holds. At position x the samples at x + R4, x + R3, x + R2,
// x + R1 enter (in that order), the value is written, then x - R1, x - R2, x - R3, x - R4
// leave. The sum starts empty at x = -R1, the first position whose largest box reaches the
// line.
template <class Bundle>
void clippedPass(Bundle& bundle, const BlurRadii& radii) {
    const int L = bundle.getLength();
    const int R1 = radii.r1, R2 = radii.r2, R3 = radii.r3, R4 = radii.r4;
    const int entering[4] = {R4, R3, R2, R1};
    const int leaving[4] = {R1, R2, R3, R4};

    int n = 0;
    int nOfInverse = -1;
    float inverse = 1.0f;
    auto inverseOf = [&](int count) {
        if (count != nOfInverse) {
            nOfInverse = count;
            inverse = count > 1 ? 1.0f / static_cast<float>(count) : 1.0f;
        }
        return inverse;
    };
    // A step with bounds tests: only positions inside the line enter or leave. Returns
    // whether anything entered.
    auto stepInside = [&](int x) {
        int enteringAt[4], leavingAt[4];
        int enteringCount = 0, leavingCount = 0;
        for (int R : entering)
            if (x + R >= 0 && x + R < L) enteringAt[enteringCount++] = x + R;
        for (int R : leaving)
            if (x - R >= 0) leavingAt[leavingCount++] = x - R;
        n += enteringCount;
        const float k = x >= 0 ? inverseOf(n) : 1.0f;
        bundle.borderStep(enteringAt, enteringCount, x, k, leavingAt, leavingCount);
        n -= leavingCount;
        return enteringCount > 0;
    };

    bundle.clearSums();
    // Lead-in: before x = 0 nothing can leave and nothing is written. Box k enters samples
    // at x in [-Rk, L - 1 - Rk]; steps where no box enters anything are skipped by jumping
    // to the next box's first entry, so a radius far beyond L costs no more than 4 L steps
    // while the additions keep their order.
    for (int x = -R1; x < 0;) {
        if (stepInside(x)) {
            ++x;
            continue;
        }
        int nextEntry = 0;
        for (int R : entering)
            if (-R > x) nextEntry = std::min(nextEntry, -R);
        x = nextEntry;
    }

    // Interior: the largest box [x - R1, x + R1] lies inside the line, so all eight samples
    // exist and the value is written with n + 4 samples in the sum, n being the count
    // between steps.
    const int interiorBegin = std::min(R1, L);
    const int interiorEnd = std::max(interiorBegin, L - R1);
    for (int x = 0; x < interiorBegin; ++x) stepInside(x);
    for (int x = interiorBegin; x < interiorEnd; ++x) {
        const int enteringAt[4] = {x + R4, x + R3, x + R2, x + R1};
        const int leavingAt[4] = {x - R1, x - R2, x - R3, x - R4};
        bundle.interiorStep(enteringAt, x, inverseOf(n + 4), leavingAt);
    }
    for (int x = interiorEnd; x < L; ++x) stepInside(x);
}

// Wrapped pass: the mean of the eight samples at x + R4, x + R3, x + R2, x + R1, x - R1,
// x - R2, x - R3, x - R4, each taken modulo L. The radii are first reduced modulo L, which
// leaves every position unchanged and keeps x +- R within one period of the line.
template <class Bundle>
void wrappedPass(Bundle& bundle, const BlurRadii& radii) {
    const int L = bundle.getLength();
    const int r1 = radii.r1 % L, r2 = radii.r2 % L, r3 = radii.r3 % L, r4 = radii.r4 % L;
    auto wrap = [L](int p) { return p < 0 ? p + L : (p >= L ? p - L : p); };
    for (int x = 0; x < L; ++x) {
        const int positions[8] = {wrap(x + r4), wrap(x + r3), wrap(x + r2), wrap(x + r1),
                                  wrap(x - r1), wrap(x - r2), wrap(x - r3), wrap(x - r4)};
        bundle.writeMeanOfEight(x, positions);
    }
}

template <class Bundle>
void filterLines(Bundle& bundle, const BlurRadii& radii, bool wrap) {
    if (wrap)
        wrappedPass(bundle, radii);
    else
        clippedPass(bundle, radii);
}

// Row pass from src into an intermediate image of the same type, then column pass from the
// intermediate into dst. The intermediate holds pixels, not sums, so the integer kernels
// truncate after the row pass as well.
template <class Kernel>
void blurImage(const Image& src, Image& dst, const BlurRadii& radii, bool wrapX, bool wrapY) {
    using Pixel = typename Kernel::Pixel;
    using Sum = typename Kernel::Sum;
    const int W = src.getWidth();
    const int H = src.getHeight();
    const Pixel* source = static_cast<const TypedImage<Pixel>&>(src).data();
    Pixel* target = static_cast<TypedImage<Pixel>&>(dst).data();
    if (W < 1 || H < 1 || !source || !target) return;

    const std::ptrdiff_t rowStride = W;
    std::unique_ptr<Pixel[]> intermediate(new Pixel[static_cast<std::size_t>(W) * H]);

    Sum rowSum{};
    for (int y = 0; y < H; ++y) {
        LineBundle<Kernel, true> row(source + y * rowStride, intermediate.get() + y * rowStride, W,
                                     1, 1, &rowSum);
        filterLines(row, radii, wrapX);
    }

    std::vector<Sum> columnSums(static_cast<std::size_t>(W));
    LineBundle<Kernel, false> columns(intermediate.get(), target, H, W, rowStride,
                                      columnSums.data());
    filterLines(columns, radii, wrapY);
}

}  // namespace

void imageBlur(const Image& src, Image& dst, int diameter, bool wrapX, bool wrapY) {
    if (src.getPixelType() != dst.getPixelType()) return;
    // Blurring an image into itself keeps its size, so its buffer (owned or not) stays put.
    if (&src != &dst) dst.setSize(src.getWidth(), src.getHeight());

    const BlurRadii radii = blurRadii(diameter);
    switch (src.getPixelType()) {
        case kPixelUnsignedChar: return blurImage<MaskKernel>(src, dst, radii, wrapX, wrapY);
        case kPixelByte4: return blurImage<Byte4Kernel>(src, dst, radii, wrapX, wrapY);
        case kPixelHalf4: return blurImage<Half4Kernel>(src, dst, radii, wrapX, wrapY);
        case kPixelFloat: return blurImage<FloatKernel>(src, dst, radii, wrapX, wrapY);
        case kPixelFloat3: return blurImage<Float3Kernel>(src, dst, radii, wrapX, wrapY);
        default: return;  // no kernel: dst stays as setSize left it
    }
}

int suggestFilterDiamater(const Image& image, int width, int height) {
    const int W = image.getWidth();
    const int H = image.getHeight();
    if (width > W || height > H) return 0;
    // Shrinking to nothing samples nothing, so there is nothing to protect from aliasing.
    if (width < 1 || height < 1) return 0;
    // One more than the shrink factor, so the blur spans at least one target pixel.
    const float shrink = std::max(static_cast<float>(W) / static_cast<float>(width),
                                  static_cast<float>(H) / static_cast<float>(height));
    return static_cast<int>(std::min(shrink + 1.0f, static_cast<float>(kMaxDiameter)));
}

}  // namespace ixImage
