// Tone mapping of high-dynamic-range colours: exposure, display gamma and saturation.
//
// Conventions:
//  - Colours are linear RGB floats (alpha optional); luminance uses the weights
//    Y = 0.2125 R + 0.7154 G + 0.0721 B.
//  - Fill a ToneControls, call ToneMap::calculate once, then apply the map to as many pixels or
//    images as needed. A ToneMap that was never calculated maps every colour to black (its
//    exposure scale is 0).
//  - Alpha is treated exactly like a colour channel: exposed, clamped, gamma-corrected and
//    saturated with the colour's luminance (it does not enter the luminance itself).
//  - Plain values: the caller owns them. apply() is const and touches only the pixels it is
//    given, so one ToneMap may be used from several threads at once.
#pragma once

#include "iximage/interfaces/export.h"
#include "iximage/interfaces/image.h"
#include "iximage/interfaces/pixel_types.h"

namespace ixImage {

// What the user sets. The defaults leave non-negative colours unchanged.
struct ToneControls {
    float gamma = 1.0f;       // display gamma; colours are raised to 1 / gamma
    float exposure = 0.0f;    // exposure in stops; colours are multiplied by 2^exposure
    float saturation = 1.0f;  // exponent on colour / luminance: 0 grey, 1 unchanged, > 1 more vivid
};

// The working factors derived from ToneControls by calculate().
struct IXIMAGE_API ToneMap {
    float invGamma = 1.0f;       // 1 / gamma
    float exposureScale = 0.0f;  // 2^exposure; 0 until calculated, so an unset map gives black
    float saturation = 1.0f;     // copied from the controls

    ToneMap() = default;
    ToneMap(const ToneMap&) = default;
    ToneMap& operator=(const ToneMap& other);
    ToneMap& operator=(ToneMap&& other);

    // invGamma = 1 / gamma and exposureScale = 2^exposure, both in float; saturation copied.
    void calculate(const ToneControls& controls);

    // Tone-maps one colour in place:
    //  1. c *= exposureScale per channel, negative channels become 0;
    //  2. c = pow(c, invGamma) per channel, in double, stored as float;
    //  3. Y = 0.2125 r + 0.7154 g + 0.0721 b in float; if Y > ixLinear::epsilonTolFlt each
    //     channel becomes Y * pow(c / Y, saturation) (the power in double, the rest in float),
    //     otherwise the colour stays as step 2 left it.
    void apply(FloatPixel3<float>& pixel) const;
    // The same with alpha run through every step like a colour channel; Y uses r, g, b only.
    void apply(FloatPixel4<float>& pixel) const;

    // Tone-maps every pixel of a FloatPixel3<float> or FloatPixel4<float> image in place with
    // the pixel overloads above. Images of every other pixel type (integer, half, double and
    // single-channel pixels, SHRM pixels) are left unchanged: they are either already
    // display values or not colours. An image of more than 32K pixels is shared out over the
    // process's thread pool in blocks; the result is the same as pixel by pixel.
    void apply(Image& image) const;
};

}  // namespace ixImage
