// Bilinear sampling of an image at a normalised position (u, v) in [0, 1]^2.
//
// X = (1 - eps) * u * W and Y = (1 - eps) * v * H (eps = ixLinear::epsilonTolFlt keeps u = 1
// inside the image). There is no half-pixel recentring: pixel i is reached exactly at X = i, and
// a position inside pixel i blends pixel i with pixel i + 1. The right and lower neighbours go
// through Image::frame, so they wrap or clamp as the image's wrap flags say; the first corner is
// used as computed, so callers keep u and v inside [0, 1].
//
//   result = (1 - fy) * ((1 - fx) * P00 + fx * P10) + fy * ((1 - fx) * P01 + fx * P11)
//
// The arithmetic follows each pixel type: float per component; half with every weight and
// every partial result rounded to half; Byte4 in integers, truncating each product (the
// result is an Int4, converted by the caller with Byte4's constructor).
//
// Supported: float, FloatPixel3<float>, FloatPixel4<float>, FloatPixel4<half>, Byte4. The
// image must hold pixels; it is only read, so any number of threads may sample it at once.
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/linear.h"

namespace ixImage {
namespace detail {

struct BilinearTaps {
    int x0, y0, x1, y1;
    float fx, fy;
};

inline BilinearTaps bilinearTaps(const Image& image, float u, float v) {
    const float oneMinusEps = 1.0f - ixLinear::epsilonTolFlt;
    const float X = oneMinusEps * u * static_cast<float>(image.getWidth());
    const float Y = oneMinusEps * v * static_cast<float>(image.getHeight());
    BilinearTaps t;
    t.x0 = static_cast<int>(X);
    t.y0 = static_cast<int>(Y);
    t.fx = X - static_cast<float>(t.x0);
    t.fy = Y - static_cast<float>(t.y0);
    t.x1 = t.x0 + 1;
    t.y1 = t.y0 + 1;
    image.frame(t.x1, t.y1);
    return t;
}

inline float lerp2(float p00, float p10, float p01, float p11, float fx, float fy) {
    return (1.0f - fy) * ((1.0f - fx) * p00 + fx * p10) + fy * ((1.0f - fx) * p01 + fx * p11);
}

inline half halfBlend(half p00, half p10, half p01, half p11, half wx0, half wx1, half wy0,
                      half wy1) {
    p00 *= wx0;
    p01 *= wx0;
    p10 *= wx1;
    p11 *= wx1;
    const half row0 = half(float(p00) + float(p10));
    const half row1 = half(float(p01) + float(p11));
    const half a = half(float(row0) * float(wy0));
    const half b = half(float(row1) * float(wy1));
    return half(float(a) + float(b));
}

inline int byteBlend(int p00, int p10, int p01, int p11, float fx, float fy) {
    const int r0 = static_cast<int>(static_cast<float>(p00) * (1.0f - fx)) +
                   static_cast<int>(static_cast<float>(p10) * fx);
    const int r1 = static_cast<int>(static_cast<float>(p01) * (1.0f - fx)) +
                   static_cast<int>(static_cast<float>(p11) * fx);
    return static_cast<int>(static_cast<float>(r0) * (1.0f - fy)) +
           static_cast<int>(static_cast<float>(r1) * fy);
}

}  // namespace detail

inline void sampleBilinear(const TypedImage<float>& image, float u, float v, float& out) {
    const detail::BilinearTaps t = detail::bilinearTaps(image, u, v);
    out = detail::lerp2(image.at(t.x0, t.y0), image.at(t.x1, t.y0), image.at(t.x0, t.y1),
                        image.at(t.x1, t.y1), t.fx, t.fy);
}

inline void sampleBilinear(const TypedImage<FloatPixel3<float>>& image, float u, float v,
                           FloatPixel3<float>& out) {
    const detail::BilinearTaps t = detail::bilinearTaps(image, u, v);
    const FloatPixel3<float>& p00 = image.at(t.x0, t.y0);
    const FloatPixel3<float>& p10 = image.at(t.x1, t.y0);
    const FloatPixel3<float>& p01 = image.at(t.x0, t.y1);
    const FloatPixel3<float>& p11 = image.at(t.x1, t.y1);
    out.red = detail::lerp2(p00.red, p10.red, p01.red, p11.red, t.fx, t.fy);
    out.green = detail::lerp2(p00.green, p10.green, p01.green, p11.green, t.fx, t.fy);
    out.blue = detail::lerp2(p00.blue, p10.blue, p01.blue, p11.blue, t.fx, t.fy);
}

inline void sampleBilinear(const TypedImage<FloatPixel4<float>>& image, float u, float v,
                           FloatPixel4<float>& out) {
    const detail::BilinearTaps t = detail::bilinearTaps(image, u, v);
    const FloatPixel4<float>& p00 = image.at(t.x0, t.y0);
    const FloatPixel4<float>& p10 = image.at(t.x1, t.y0);
    const FloatPixel4<float>& p01 = image.at(t.x0, t.y1);
    const FloatPixel4<float>& p11 = image.at(t.x1, t.y1);
    out.red = detail::lerp2(p00.red, p10.red, p01.red, p11.red, t.fx, t.fy);
    out.green = detail::lerp2(p00.green, p10.green, p01.green, p11.green, t.fx, t.fy);
    out.blue = detail::lerp2(p00.blue, p10.blue, p01.blue, p11.blue, t.fx, t.fy);
    out.alpha = detail::lerp2(p00.alpha, p10.alpha, p01.alpha, p11.alpha, t.fx, t.fy);
}

inline void sampleBilinear(const TypedImage<FloatPixel4<half>>& image, float u, float v,
                           FloatPixel4<half>& out) {
    const detail::BilinearTaps t = detail::bilinearTaps(image, u, v);
    const half wx0(1.0f - t.fx), wx1(t.fx), wy0(1.0f - t.fy), wy1(t.fy);
    const FloatPixel4<half>& p00 = image.at(t.x0, t.y0);
    const FloatPixel4<half>& p10 = image.at(t.x1, t.y0);
    const FloatPixel4<half>& p01 = image.at(t.x0, t.y1);
    const FloatPixel4<half>& p11 = image.at(t.x1, t.y1);
    out.red = detail::halfBlend(p00.red, p10.red, p01.red, p11.red, wx0, wx1, wy0, wy1);
    out.green = detail::halfBlend(p00.green, p10.green, p01.green, p11.green, wx0, wx1, wy0, wy1);
    out.blue = detail::halfBlend(p00.blue, p10.blue, p01.blue, p11.blue, wx0, wx1, wy0, wy1);
    out.alpha = detail::halfBlend(p00.alpha, p10.alpha, p01.alpha, p11.alpha, wx0, wx1, wy0, wy1);
}

inline void sampleBilinear(const TypedImage<Byte4>& image, float u, float v, Int4& out) {
    const detail::BilinearTaps t = detail::bilinearTaps(image, u, v);
    const Byte4& p00 = image.at(t.x0, t.y0);
    const Byte4& p10 = image.at(t.x1, t.y0);
    const Byte4& p01 = image.at(t.x0, t.y1);
    const Byte4& p11 = image.at(t.x1, t.y1);
    out.red = detail::byteBlend(p00.red, p10.red, p01.red, p11.red, t.fx, t.fy);
    out.green = detail::byteBlend(p00.green, p10.green, p01.green, p11.green, t.fx, t.fy);
    out.blue = detail::byteBlend(p00.blue, p10.blue, p01.blue, p11.blue, t.fx, t.fy);
    out.alpha = detail::byteBlend(p00.alpha, p10.alpha, p01.alpha, p11.alpha, t.fx, t.fy);
}

}  // namespace ixImage
