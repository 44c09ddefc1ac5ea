// Internal header of the library (not installed, not part of the public API): the threaded
// worker that rotates a light-times-reflectance product into the SH reflection map, used by
// computeReflectionCoeffs (iximage/sh/reflection_map.h describes the map and its threads).
#pragma once

#include <memory>
#include <vector>

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/pixel_types.h"
#include "iximage/interfaces/thread_pool.h"
#include "iximage/sh/reflection_map.h"

namespace ixImage {

namespace detail {
struct ShrmRowsInput;
}

// The threaded stage: rotates the product into the frame of every viewing direction. Work index
// t of n takes rows [t * base + min(t, rem), (t + 1) * base + min(t + 1, rem)) with
// base = H / n and rem = H mod n, so bands differ by at most one row and indices beyond the row
// count get none. Every field is set by the launcher and only read during the run.
// initialize() packs the product entries the rows read into one shared array (on the calling
// thread, once per run); finalize() releases it. work() called outside a run packs for itself.
class IXIMAGE_API CreateSHRM : public ixUtil::ThreadedAlg {
public:
    CreateSHRM(const ReflectionProduct* product, ShrmImage* image, int lightOrder,
               const double* rotationMatrices);
    ~CreateSHRM() override;

    void initialize(int count) override;
    void work(int index, int count) override;
    void finalize() override;

private:
    const ReflectionProduct* product;
    ShrmImage* image;
    int lightOrder;
    const double* rotationMatrices;
    std::vector<FloatPixel3<double>> packed;
    std::unique_ptr<detail::ShrmRowsInput> input;

    std::unique_ptr<detail::ShrmRowsInput> prepare(
        std::vector<FloatPixel3<double>>& packedOut) const;
};

}  // namespace ixImage
