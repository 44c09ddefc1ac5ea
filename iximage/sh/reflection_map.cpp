#include "iximage/sh/reflection_map.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "iximage/interfaces/checkpoint.h"
#include "iximage/interfaces/constants.h"
#include "iximage/sh/detail/reflection_worker.h"
#include "iximage/sh/detail/rotation_matrix_block.h"
#include "iximage/sh/detail/sh_tables.h"
#include "iximage/sh/detail/shrm_rows.h"
#include "iximage/sh/rotation_matrices.h"

namespace ixImage {

namespace {

constexpr int kMaxLightBand = 20;
constexpr int kViewBands = 10;    // view bands p = 0..10, the order of an SHRM pixel
constexpr int kOrderOffset = 20;  // orders m, q = -20..20 sit at index m + 20
constexpr int kOrders = 2 * kOrderOffset + 1;
constexpr int kMapWidth = kShGridWidth;    // azimuth grid: phi_x = x * 2 pi / 200
constexpr int kMapHeight = kShGridHeight;  // polar grid: theta_y = y * pi / 100

using Rgb = FloatPixel3<double>;

// Row work is handed out one chunk of rows at a time (run with one index per chunk), so the
// pool's shared counter balances the threads to within a chunk even when one core is busy
// with something else; every row costs the same.
constexpr int kWorkItems = (kMapHeight + detail::kShrmRowChunk - 1) / detail::kShrmRowChunk;

// A row of the map: every pixel of the row shares the polar angle theta_y, so the sum over
// the lighting bands and orders is done once per (p, q) and the azimuth phi_x enters only
// through cos(mu phi_x) and sin(mu phi_x). With D^l the real SH rotation by theta_y about +Y
// (rotation_matrices.h), the frame of pixel (x, y) is Rz(phi_x) Ry(theta_y), and its
// coefficient is
//   c_pq(theta_y, phi_x) = sum_mu A_mu cos(mu phi_x) + S_mu sin(mu phi_x),
//   A_|m| = sum_l sum_m Z[l][m][p][q] D^l_{m,q},
//   S_|m| = sum_l sum_m -sign(m) Z[l][m][p][q] D^l_{-m,q}   (sign(0) = +1),
// the real-harmonic form of exp(i m phi) D^l(theta). detail::addShrmRows evaluates it.
//
// Work index t of n takes the rows of the contract's band split and runs them through the
// kernel in chunks of kShrmRowChunk rows.
void addRowBand(const detail::ShrmRowsInput& input, ShrmImage& image, int index, int count) {
    const int rows = image.getHeight();
    const int base = rows / count;
    const int rem = rows % count;
    const int first = index * base + std::min(index, rem);
    const int last = (index + 1) * base + std::min(index + 1, rem);
    for (int y = first; y < last; y += detail::kShrmRowChunk)
        detail::addShrmRows(input, image.data(), y, std::min(detail::kShrmRowChunk, last - y));
}

bool isShrmGrid(const ShrmImage& image) {
    // The azimuth tables and the rotation matrices only cover a 200-column, 100-row grid.
    return image.getWidth() == kMapWidth && image.getHeight() <= kMapHeight && image.data();
}

// The threaded stage of computeReflectionCoeffs, fed with a product packed straight from the
// light and reflectance coefficients (the full 17.8 MB product array is never needed).
class PackedShrmRows : public ixUtil::ThreadedAlg {
public:
    PackedShrmRows(std::vector<Rgb> packed, ShrmImage& image, int L, const double* matrices)
        : packed(std::move(packed)), image(image) {
        input.reset(new detail::ShrmRowsInput);
        input->packed = this->packed.data();
        input->rotationMatrices = matrices;
        input->lightOrder = L;
        detail::setupShrmInput(*input);
    }
    void work(int index, int count) override { addRowBand(*input, image, index, count); }

private:
    std::vector<Rgb> packed;
    ShrmImage& image;
    std::unique_ptr<detail::ShrmRowsInput> input;
};

}  // namespace

CreateSHRM::CreateSHRM(const ReflectionProduct* product, ShrmImage* image, int lightOrder,
                       const double* rotationMatrices)
    : product(product), image(image), lightOrder(lightOrder), rotationMatrices(rotationMatrices) {}

CreateSHRM::~CreateSHRM() = default;

// Packs the product for rows of image and sets up the kernel's input; null when there is
// nothing to rotate.
std::unique_ptr<detail::ShrmRowsInput> CreateSHRM::prepare(std::vector<Rgb>& packedOut) const {
    const int L = std::min(lightOrder, kMaxLightBand);
    if (!product || !image || !rotationMatrices || L < 0 || !isShrmGrid(*image)) return nullptr;
    packedOut = detail::packShrmProduct(L, [this](int l, int m, int p, int q) {
        return (*product)(l, m + kOrderOffset, p, q + kOrderOffset);
    });
    std::unique_ptr<detail::ShrmRowsInput> prepared(new detail::ShrmRowsInput);
    prepared->packed = packedOut.data();
    prepared->rotationMatrices = rotationMatrices;
    prepared->lightOrder = L;
    detail::setupShrmInput(*prepared);
    return prepared;
}

void CreateSHRM::initialize(int /*count*/) {
    // Packed once per run, on the calling thread, and shared read-only by every work index.
    input = prepare(packed);
}

void CreateSHRM::work(int index, int count) {
    if (count < 1 || index < 0 || index >= count) return;
    if (input) return addRowBand(*input, *image, index, count);
    // Called directly, without a run's initialize(): this call packs for itself.
    std::vector<Rgb> ownPacked;
    const std::unique_ptr<detail::ShrmRowsInput> own = prepare(ownPacked);
    if (own) addRowBand(*own, *image, index, count);
}

void CreateSHRM::finalize() {
    input.reset();
    packed = std::vector<Rgb>();
}

void computeReflectionCoeffs(const SphericalHarmonics<FloatPixel3<double>>& light,
                             const ixUtil::ArrayN<3, FloatPixel3<double>>& brdf, int lightOrder,
                             int /*brdfOrder*/, ShrmImage& shrm, ixUtil::Progress* progress) {
    const double* matrices = getRotationMatrices();
    if (!matrices) return;

    // Bands the inputs actually hold: the light's own order and the reflectance's first
    // dimension bound l; the view bands need p, q <= 10 in the reflectance array.
    const int L = std::min({lightOrder, kMaxLightBand, light.getOrder(), brdf.getDim(0) - 1});
    if (brdf.getDim(1) <= kViewBands || brdf.getDim(2) <= kViewBands) return;

    checkpoint(nullptr);

    // Convolution: Z[l][m][p][+-q] = f a_lm B[l][p][q]. B is orthonormal in the azimuth
    // difference phi_i - phi_o; splitting its normalised cos(q (phi_i - phi_o)) / sqrt(pi)
    // into products of normalised functions of phi_i and of phi_o (the azimuthal parts of
    // the light's and the view's real harmonics) leaves the factor f = sqrt(pi), and
    // sqrt(2 pi) for q = 0, whose normalised constant is 1 / sqrt(2 pi). The entries are
    // written straight into the order in which the rows read them (detail::packShrmProduct)
    // instead of a full product array: each holds the same f * a * B as the array would.
    const double pi = kPi;
    const double f = std::sqrt(pi);
    const double f0 = f * std::sqrt(2.0);
    std::vector<Rgb> packed;
    if (L >= 0)
        packed = detail::packShrmProduct(L, [&](int l, int m, int p, int q) {
            const Rgb& a = light.at(l, m);
            const Rgb& b = brdf(l, p, std::abs(q));
            const double fq = q == 0 ? f0 : f;
            return Rgb(fq * a.red * b.red, fq * a.green * b.green, fq * a.blue * b.blue);
        });
    checkpoint("convolution");
    if (progress) progress->set(0.5);

    shrm.setSize(kMapWidth, kMapHeight);
    if (L >= 0) {
        PackedShrmRows alg(std::move(packed), shrm, L, matrices);
        ixUtil::ThreadPool::get().run(alg, kWorkItems);
    }

    if (progress) progress->set(0.75);
    checkpoint("create shrm");
    // The map is already in its final, unwarped form; this stage only reports.
    if (progress) progress->set(0.9);
    checkpoint("warped shrm");
}

}  // namespace ixImage
