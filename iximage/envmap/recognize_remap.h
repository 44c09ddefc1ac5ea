// Recognising the projection of an image, and resampling one projection into another.
//
// newEnvironmentMap decides the projection from the image's shape alone, by exact integer tests
// (W x H pixels, in this order):
//   W < 1 or H < 1                          -> null
//   W == H                                  -> SphereMap(W),            wrap (true, true)
//   W == 2H                                 -> LatLongMap(W, H),        wrap (true, false)
//   W > H otherwise                         -> null (a horizontal cross is not recognised)
//   W % 3 == 0, H % 4 == 0, W / 3 == H / 4  -> vertical CrossMap(W / 3), wrap (true, true)
//   otherwise                               -> null
// On success the image's wrap flags are set as listed and the map holds one reference to the
// image. On failure the image is left exactly as it was.
//
// Ownership: the returned map has a count of 0; keep it in an ix::Reference<EnvironmentMap>.
// Thread safety: neither function locks; remap writes only the destination's pixels and must
// not run while another thread uses them.
#pragma once

#include "iximage/envmap/environment_map.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/image.h"

namespace ixImage {

// A new map of the projection that the image's shape says, holding the image; null when the
// shape is not one of a sphere, lat-long or vertical-cross map.
IXIMAGE_API EnvironmentMap* newEnvironmentMap(Image& image);

// Overwrites every pixel of dst's image with src's image seen through the two projections: for
// each destination pixel centre, dst.coordToDir, then src.dirToCoord, then a bilinear sample of
// src's image. Destination pixels outside dst's projection (sphere-map corners, empty cross
// cells) become zero. The destination keeps its size and pixel type; nothing is allocated.
//
// Source pixel types: FloatPixel4<half>, float, FloatPixel3<float>, FloatPixel4<float>. Nothing
// is written when the source has another type, when either map lacks an image or has no
// pixels, or when the destination's pixel type differs from the source's.
IXIMAGE_API void remap(const EnvironmentMap& src, EnvironmentMap& dst);

}  // namespace ixImage
