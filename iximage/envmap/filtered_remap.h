// Energy-preserving resampling between environment-map projections.
//
// remapFiltered fills dst's image so that each destination pixel holds the solid-angle-weighted
// mean of src's radiance over that pixel's footprint on the sphere. Power (radiance times solid
// angle) is therefore kept where it was: a source smaller than a destination pixel, such as a
// sun one probe pixel wide, lands in the destination pixel that covers it with all its energy,
// instead of being hit, missed or split by chance as remap's point sampling does.
//
// Conventions:
//  - Frame and (u, v) as for every EnvironmentMap (environment_map.h). Solid angles are the
//    exact ones of each pixel: (2 pi / w) (sin(top latitude) - sin(bottom latitude)) for a
//    latitude-longitude pixel, the exact area of the cube-face rectangle for a cross pixel, the
//    projection's own omega for a sphere-map pixel.
//  - Invariants: the solid-angle-weighted mean radiance of the source is preserved (to rounding
//    between latitude-longitude grids, to about 1e-4 relative from a cross into one); a
//    constant source gives a constant destination; pixels outside a projection (empty cross cells,
//    sphere-map corners) neither give nor receive light, and outside pixels of the destination are
//    set to zero.
//  - Method, by projection pair:
//      latitude-longitude -> latitude-longitude: exact area overlap, separable in u and in
//        latitude (the latitude weight is the exact integral of cos(latitude));
//      any other source -> latitude-longitude: each source pixel's footprint, the quad of its
//        four corners in the equal-area plane (longitude, sin(latitude)), is clipped against
//        the destination cells and shared by area (neighbouring quads share corners, so they
//        tile the sphere); pixels at a pole use the box their corners span. A cross much finer
//        than the destination is first averaged down face by face (solid-angle weighted, so
//        exactly) until a pixel covers about a quarter of a destination pixel;
//      latitude-longitude -> sphere or cross: the same footprint clipping read the other way
//        round: each destination pixel's quad (a cross face by face) is clipped against the
//        source cells and the pixel takes the area-weighted mean of what it covers (a much
//        finer source is first reduced exactly). The destination footprints tile the sphere,
//        so a source smaller than a destination pixel keeps its power too;
//      any other source -> sphere or cross: each source pixel is split into n x n sub-samples
//        (n from the ratio of pixel sizes, so a destination pixel receives a few samples even
//        where it is the finer one), each carrying its share of the pixel's solid angle into
//        the destination pixel it falls in; a destination pixel that no sample reached takes
//        the source pixel under its centre.
//  - Pixel types: float, FloatPixel3<float> and FloatPixel4<float> (alpha averaged like a
//    colour). Nothing is written when the source is of another type, when either map lacks an
//    image or pixels, or when the destination's pixel type differs from the source's. The
//    destination keeps its size; accumulation is in double.
//  - Ownership and threads: as remap. Reads src, writes only dst's pixels; no locking.
#pragma once

#include "iximage/envmap/environment_map.h"
#include "iximage/interfaces/export.h"

namespace ixImage {

IXIMAGE_API void remapFiltered(const EnvironmentMap& src, EnvironmentMap& dst);

}  // namespace ixImage
