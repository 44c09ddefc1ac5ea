// Diagnostic dumps: pictures and coefficient files of the reflection-map work, written into the
// current directory for inspection. Nothing in the library calls them; they are entry points for
// a developer's host program. They live in the global namespace.
//
// Conventions:
//  - Byte pictures are raw PPM ("P6\n<w> <h>\n255\n", then width x height RGB byte triples, rows
//    top to bottom). A value v becomes the byte trunc(min(max(v, 0), 255)) (NaN gives 0).
//  - Reflection maps are 200 x 100 ShrmImage images (bands 0 to 10 per pixel), pixel (x, y)
//    standing for the direction (theta_y, phi_x) with theta_y = y pi / 100, phi_x = x pi / 100.
//    A map of another size is not dumped (nothing is written).
//  - A view direction d is three doubles (x, y, z); its grid position is t_d = theta_d / pi 100,
//    s_d = phi_d / (2 pi) 200 with theta_d = acos(z clamped to [-1, 1]) and phi_d = atan2(y, x)
//    in [0, 2 pi). The dumps weight the map's coefficients (p, q) with the real harmonic
//    Y(p, q) at (t_d, s_d), so a picture shows the map as seen from d.
//  - Files that cannot be opened are skipped: the function returns (or, for the six face files
//    of printshrms, goes on with the next file) without writing and without a report.
//  - Threads: none of these may run concurrently with another dump writing the same file names.
#pragma once

#include "iximage/image/typed_image.h"
#include "iximage/interfaces/checkpoint.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/pixel_types.h"

// "<name>.ppm": the image bottom row first (so the file shows the last row at the top), each
// channel times 255 when scaleTo255 is true, then clamped and truncated to a byte.
IXIMAGE_API void dumpImage(const char* name,
                           const ixImage::TypedImage<ixImage::FloatPixel3<float>>& image,
                           bool scaleTo255);

// "tmpref.ppm", 400 x 100: the map seen from d, each map column shown twice at half weight
// sums (columns k and k + 1 for odd output columns), times scale.
IXIMAGE_API void dumpimageref(const ixImage::ShrmImage& shrm, const double* d, double scale);

// "tmp.ppm", 200 x 100: for every grid normal n facing d, the map read at the mirror direction
// 2 (n.d) n - d (nearest pixel) and seen from d, times scale; normals facing away are black.
IXIMAGE_API void dumpimage(const ixImage::ShrmImage& shrm, const double* d, double scale);

// "tmpktsphere.ppm", 256 x 256: a mirror sphere filling the picture, seen along d, lit by the
// map (bilinear reads) through bands 0..order (clamped to 0..10), times scale.
IXIMAGE_API void dumpktsphere(const ixImage::ShrmImage& shrm, const double* d, int order,
                              double scale);

// "tmp3D.ppm" when threeD != 0, else "tmpfreq.ppm", 256 x 256: a mirror sphere of radius 96.5
// pixels inside a black border, bands 0..10. The array pointers and the second int are not read.
IXIMAGE_API void dumpimagesphere(const double (*samples)[100][100][200],
                                 const double (*light)[21][41], const double (*brdf)[21][21][21],
                                 const ixImage::ShrmImage& shrm, const double* d, int threeD,
                                 int unused, double scale);

// Eleven files "tmp3D%d.ppm" or "tmpfreq%d.ppm" (%d = 0..10): file k is the dumpimagesphere
// picture summed through band k only. When one of them cannot be opened none is written.
IXIMAGE_API void dumpimagesphereall(const double (*samples)[100][100][200],
                                    const double (*light)[21][41], const double (*brdf)[21][21][21],
                                    const ixImage::ShrmImage& shrm, const double* d, int threeD,
                                    int unused, double scale);

// Coefficient files of a map: "<base>.shrm" with bands 0..10 of every pixel, then the six cube
// faces "<base>_nx.shrm", "_px", "_ny", "_py", "_nz", "_pz" (64 x 64 texels, bilinear reads,
// bands 0..order with order clamped to 0..10). Layout of each file:
//  - three text lines, one per channel (red, green, blue): for every coefficient (p, q) in the
//    order p = 0.., q = -p..p, scale * M written with "%lf ", M being the coefficient's largest
//    magnitude over the file's pixels;
//  - for every pixel (row by row), channel and coefficient, u = trunc((v / M + 1) 0.5 65535.999)
//    as two bytes, high byte first; v / M counts as 0 when M = 0, so u = 0x7FFF; -M gives 0 and
//    +M gives 65535.
// The second string is not read.
IXIMAGE_API void printshrms(const char* base, const char* unused, int order,
                            const ixImage::ShrmImage& shrm, double scale);
