#include "iximage/envmap/recognize_remap.h"

#include "iximage/envmap/cross_map.h"
#include "iximage/envmap/latlong_map.h"
#include "iximage/envmap/sphere_map.h"
#include "iximage/image/sample_bilinear.h"
#include "iximage/image/typed_image.h"

namespace ixImage {

EnvironmentMap* newEnvironmentMap(Image& image) {
    const long long W = image.getWidth();
    const long long H = image.getHeight();
    EnvironmentMap* map = nullptr;
    if (W < 1 || H < 1) return nullptr;
    if (W == H) {
        map = new SphereMap(static_cast<int>(W));
        image.setWrap(true, true);
    } else if (W == 2 * H) {
        map = new LatLongMap(static_cast<int>(W), static_cast<int>(H));
        image.setWrap(true, false);
    } else if (W > H) {
        return nullptr;  // includes the horizontal cross, 4 cells by 3
    } else if (W % 3 == 0 && H % 4 == 0 && W / 3 == H / 4) {
        map = new CrossMap(static_cast<int>(W / 3), false);
        image.setWrap(true, true);
    } else {
        return nullptr;
    }
    map->image = &image;
    return map;
}

namespace {

// The zero of each pixel type a remap can write (half zero made from 0.0).
template <class T>
T zeroPixel() {
    return T{};
}
template <>
FloatPixel4<half> zeroPixel<FloatPixel4<half>>() {
    const half zero(0.0f);
    return FloatPixel4<half>(zero, zero, zero, zero);
}

// The projections only hand out coordinates inside [0, 1], up to a rounding hair. The sampler
// reads its first corner unchecked, so anything that could reach past the image (a NaN from a
// direction that was not unit length, say) is pulled back to the nearest edge; in-range values
// pass through untouched.
inline float keepInsideSampler(float c, float halfPixel) {
    if (!(c >= -halfPixel)) return -halfPixel;
    if (!(c <= 1.0f)) return 1.0f;
    return c;
}

template <class T>
void remapPixels(const EnvironmentMap& src, const EnvironmentMap& dst, const TypedImage<T>& S,
                 TypedImage<T>& D) {
    const int w = D.getWidth();
    const int h = D.getHeight();
    const float invW = D.getInverseWidth();
    const float invH = D.getInverseHeight();
    const float halfPixelU = 0.5f * S.getInverseWidth();
    const float halfPixelV = 0.5f * S.getInverseHeight();
    const T zero = zeroPixel<T>();
    T* out = D.data();
    for (int y = 0; y < h; ++y) {
        const float v = (static_cast<float>(y) + 0.5f) * invH;
        for (int x = 0; x < w; ++x, ++out) {
            const float u = (static_cast<float>(x) + 0.5f) * invW;
            ixLinear::VectorFlt dir;
            if (!dst.coordToDir(u, v, dir)) {
                *out = zero;
                continue;
            }
            float su, sv;
            src.dirToCoord(dir, su, sv);
            sampleBilinear(S, keepInsideSampler(su, halfPixelU), keepInsideSampler(sv, halfPixelV),
                           *out);
        }
    }
}

template <class T>
void remapAs(const EnvironmentMap& src, EnvironmentMap& dst) {
    remapPixels(src, dst, static_cast<const TypedImage<T>&>(*src.image),
                static_cast<TypedImage<T>&>(*dst.image));
}

}  // namespace

void remap(const EnvironmentMap& src, EnvironmentMap& dst) {
    if (!src.image || !dst.image) return;
    const Image& S = *src.image;
    const Image& D = *dst.image;
    if (S.getPixelType() != D.getPixelType()) return;
    if (S.getWidth() < 1 || S.getHeight() < 1 || S.pixels() == nullptr) return;
    if (D.getWidth() < 1 || D.getHeight() < 1 || D.pixels() == nullptr) return;

    switch (S.getPixelType()) {
        case kPixelHalf4: return remapAs<FloatPixel4<half>>(src, dst);
        case kPixelFloat: return remapAs<float>(src, dst);
        case kPixelFloat3: return remapAs<FloatPixel3<float>>(src, dst);
        case kPixelFloat4: return remapAs<FloatPixel4<float>>(src, dst);
        default: return;  // 8-bit, integer, double and SHRM pixels: D left as it is
    }
}

}  // namespace ixImage
