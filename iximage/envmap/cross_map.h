// Cube map laid out as a cross of square cells.
//
// Layout. The vertical cross is 3 cells along u and 4 along v; the horizontal variant is 4
// along u and 3 along v and puts every cell at the transposed position, keeping each face's
// content oriented as in the vertical cross. Cells are (column along u, row along v), row 0
// being the side of the first pixel row:
//
//   face  axis  vertical  horizontal
//   0     -X    (2, 2)    (2, 2)
//   1     +X    (0, 2)    (2, 0)
//   2     -Z    (1, 1)    (1, 1)
//   3     +Z    (1, 3)    (3, 1)
//   4     -Y    (1, 2)    (2, 1)        (the centre of the projection)
//   5     +Y    (1, 0)    (0, 1)        (stored turned by 180 degrees)
//
// The other six cells are empty: coordinates there are invalid. Face-local fractions (fu, fv)
// run from 0 to 1 across a face in the face's own orientation (face 5 already turned back). With
// s = 2 fu - 1 and t = 2 fv - 1 the face directions, before normalisation, are
//   0: (-1, s, t)   1: (1, -s, t)   2: (-s, -t, -1)   3: (-s, t, 1)   4: (-s, -1, t)   5: (s, 1, t)
// so neighbouring cells of the vertical cross meet continuously along every shared edge.
//
// Solid angle of a pixel: the map reports omegaFactor / (1 + s^2 + t^2), that is omegaFactor
// times cos^2 of the pixel's angle from the face axis, with
// omegaFactor = (2 pi / w) * (2 pi / h) / 12 for a face of w x h pixels. This is a smooth
// approximation of the exact (2 / w) * (2 / h) / (1 + s^2 + t^2)^(3/2): the factor makes the six
// faces sum to pi^2 / 2 * integral over [-1, 1]^2 of 1 / (1 + s^2 + t^2), about 12.62, within
// half a per cent of 4 pi, but a centre pixel is weighted about 18% low and a corner pixel about
// 42% high against its true solid angle.
//
// Cell lookup truncates toward zero, so a coordinate between -1/cols and 0 counts as column 0
// (and likewise for rows); u = 1 or v = 1 exactly is past the last column or row.
//
// Frame, units, ownership and thread safety as for every EnvironmentMap (environment_map.h);
// pasteFace writes the map's image and must not run concurrently with readers of that image.
#pragma once

#include "iximage/envmap/environment_map.h"
#include "iximage/interfaces/export.h"
#include "iximage/interfaces/image.h"

namespace ixImage {

class IXIMAGE_API CrossMap : public EnvironmentMap {
public:
    // A cross whose faces are size x size pixels (the recogniser passes the face edge).
    CrossMap(int size, bool horizontal);
    // The same with a face of w x h pixels.
    CrossMap(int w, int h, bool horizontal);
    CrossMap(const CrossMap& other);
    ~CrossMap() override;

    // True when (u, v) falls in one of the six face cells.
    bool isValidCoord(float u, float v) const override;
    bool coordToDir(float u, float v, ixLinear::VectorFlt& dir, float& omega,
                    bool computeOmega) const override;
    bool coordToDir(float u, float v, ixLinear::VectorFlt& dir) const override;
    // The dominant axis picks the face; ties go to X over Y and Z, then to Y over Z. The zero
    // vector gives (0, 0).
    void dirToCoord(const ixLinear::VectorFlt& dir, float& u, float& v) const override;

    // Face index (0 to 5) and face-local fractions of a cross coordinate. face is -1 and the
    // result false outside the six cells; fu and fv are then the raw fractions within the cell.
    bool crossToCube(float u, float v, int& face, float& fu, float& fv) const;
    // Cross coordinate of face-local fractions; inverse of crossToCube. A face index outside
    // 0 to 5 leaves u and v unchanged.
    void cubeToCross(float fu, float fv, int face, float& u, float& v) const;

    // Sizes face to N x N (N = the cell edge of cross) and copies face index of the image cross
    // into it, face 5 turned back to its own orientation. Nothing happens (face untouched) when
    // the index is outside 0 to 5, the pixel types differ, cross has no pixels, the side with
    // four cells is not a multiple of 4, the other side not a multiple of 3, or the cells are not
    // square.
    void copyFace(const Image& cross, Image& face, int index) const;
    // Writes an N x N face into the map's own image (face 5 turned by 180 degrees on the way, the
    // caller's image left as it is). Nothing happens when the map has no image, the index is
    // outside 0 to 5, the cells are not square multiples as for copyFace, or face is not N x N
    // pixels of the image's pixel type.
    void pasteFace(const Image& face, int index);

    bool isHorizontal() const { return horizontal; }
    // Solid angle of a pixel at a face centre.
    float getOmegaFactor() const { return omegaFactor; }

private:
    void setupOffset();
    void computeOmegaFactor(int w, int h);
    // Cell edge N of a cross image with square cells, or 0 when it has none.
    int cellSize(const Image& cross) const;

    bool horizontal;
    const int* uOffset = nullptr;
    const int* vOffset = nullptr;
    float omegaFactor = 0.0f;
};

}  // namespace ixImage
