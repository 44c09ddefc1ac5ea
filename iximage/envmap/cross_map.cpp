#include "iximage/envmap/cross_map.h"

#include <cmath>

#include "iximage/envmap/detail/projection_math.h"
#include "iximage/image/convert_copy.h"
#include "iximage/image/flip_min_max.h"

namespace ixImage {

using namespace envmath;

namespace {

constexpr int kFaceCount = 6;
// Cell positions of faces 0..5 (-X, +X, -Z, +Z, -Y, +Y). The vertical cross reads its columns
// from the second table and its rows from the first; the horizontal cross the other way round.
constexpr int kFirstTable[kFaceCount] = {2, 2, 1, 3, 2, 0};
constexpr int kSecondTable[kFaceCount] = {2, 0, 1, 1, 1, 1};
// Face 5 (+Y) is stored turned by 180 degrees.
constexpr int kTurnedFace = 5;

bool isFaceIndex(int index) { return index >= 0 && index < kFaceCount; }

}  // namespace

CrossMap::CrossMap(int size, bool horizontalLayout)
    : EnvironmentMap(kCross), horizontal(horizontalLayout) {
    setupOffset();
    computeOmegaFactor(size, size);
}

CrossMap::CrossMap(int w, int h, bool horizontalLayout)
    : EnvironmentMap(kCross), horizontal(horizontalLayout) {
    setupOffset();
    computeOmegaFactor(w, h);
}

CrossMap::CrossMap(const CrossMap& other)
    : EnvironmentMap(other),
      horizontal(other.horizontal),
      uOffset(other.uOffset),
      vOffset(other.vOffset),
      omegaFactor(other.omegaFactor) {}

CrossMap::~CrossMap() { image.reset(); }

void CrossMap::setupOffset() {
    uOffset = horizontal ? kFirstTable : kSecondTable;
    vOffset = horizontal ? kSecondTable : kFirstTable;
}

// (2 pi / w)(2 pi / h) / 12 = pi^2 / (3 w h): with the cos^2 weight of coordToDir the six
// faces then sum to about 4 pi (see the header). Evaluated in float in exactly this order:
// quotients, product, division by 6, halving.
void CrossMap::computeOmegaFactor(int w, int h) {
    omegaFactor =
        (kTwoPiFloat / static_cast<float>(w)) * (kTwoPiFloat / static_cast<float>(h)) / 6.0f * 0.5f;
}

bool CrossMap::crossToCube(float u, float v, int& face, float& fu, float& fv) const {
    const float cols = horizontal ? 4.0f : 3.0f;
    const float rows = horizontal ? 3.0f : 4.0f;
    const float U = cols * u;
    const float V = rows * v;
    // Truncation toward zero, kept in float so that no value (huge, infinite, NaN) can overflow
    // an int conversion; for every cell index it equals the int truncation.
    const float i = std::trunc(U);
    const float j = std::trunc(V);
    fu = U - i;
    fv = V - j;
    face = -1;
    for (int f = 0; f < kFaceCount; ++f) {
        if (static_cast<float>(uOffset[f]) == i && static_cast<float>(vOffset[f]) == j) {
            face = f;
            break;
        }
    }
    if (face < 0) return false;
    if (face == kTurnedFace) {
        fu = 1.0f - fu;
        fv = 1.0f - fv;
    }
    return true;
}

void CrossMap::cubeToCross(float fu, float fv, int face, float& u, float& v) const {
    if (!isFaceIndex(face)) return;
    if (face == kTurnedFace) {
        u = static_cast<float>(uOffset[face]) + (1.0f - fu);
        v = static_cast<float>(vOffset[face]) + (1.0f - fv);
    } else {
        u = static_cast<float>(uOffset[face]) + fu;
        v = static_cast<float>(vOffset[face]) + fv;
    }
    if (horizontal) {
        u = u * 0.25f;
        v = v / 3.0f;
    } else {
        u = u / 3.0f;
        v = v * 0.25f;
    }
}

bool CrossMap::isValidCoord(float u, float v) const {
    int face;
    float fu, fv;
    return crossToCube(u, v, face, fu, fv);
}

bool CrossMap::coordToDir(float u, float v, ixLinear::VectorFlt& dir, float& omega,
                          bool computeOmega) const {
    int face;
    float fu, fv;
    if (!crossToCube(u, v, face, fu, fv)) {
        omega = 0.0f;
        return false;
    }
    const float s = 2.0f * fu - 1.0f;
    const float t = 2.0f * fv - 1.0f;
    switch (face) {
        case 0: dir = ixLinear::VectorFlt(-1.0f, s, t); break;
        case 1: dir = ixLinear::VectorFlt(1.0f, -s, t); break;
        case 2: dir = ixLinear::VectorFlt(-s, -t, -1.0f); break;
        case 3: dir = ixLinear::VectorFlt(-s, t, 1.0f); break;
        case 4: dir = ixLinear::VectorFlt(-s, -1.0f, t); break;
        default: dir = ixLinear::VectorFlt(s, 1.0f, t); break;  // face 5
    }
    dir.normalize();

    if (computeOmega) {
        // The pixel at (s, t) is seen at alpha = atan(rho) from the face axis and weighted by
        // cos^2(alpha) = 1 / (1 + s^2 + t^2); k = 1 / cos(alpha) is taken in double and rounded.
        const float rho = sqrtF(s * s + t * t);
        const float alpha = atanF(rho);
        const float k = static_cast<float>(1.0 / std::cos(static_cast<double>(alpha)));
        omega = omegaFactor / (k * k);
    }
    return true;
}

bool CrossMap::coordToDir(float u, float v, ixLinear::VectorFlt& dir) const {
    float omega = 0.0f;
    return coordToDir(u, v, dir, omega, false);
}

void CrossMap::dirToCoord(const ixLinear::VectorFlt& dir, float& u, float& v) const {
    const float ax = std::fabs(dir.x);
    const float ay = std::fabs(dir.y);
    const float az = std::fabs(dir.z);
    int face;
    float d, a, b;
    if (ax >= ay && ax >= az) {
        if (ax == 0.0f) {
            u = 0.0f;
            v = 0.0f;
            return;
        }
        d = ax;
        if (dir.x > 0.0f) {
            face = 1;
            a = -dir.y;
        } else {
            face = 0;
            a = dir.y;
        }
        b = dir.z;
    } else if (ay >= az) {
        d = ay;
        if (dir.y > 0.0f) {
            face = 5;
            a = dir.x;
        } else {
            face = 4;
            a = -dir.x;
        }
        b = dir.z;
    } else {
        d = az;
        a = -dir.x;
        if (dir.z > 0.0f) {
            face = 3;
            b = dir.y;
        } else {
            face = 2;
            b = -dir.y;
        }
    }
    // Central projection onto the face plane at unit distance; the reciprocal is taken once.
    const float invD = 1.0f / d;
    const float fu = (a * invD + 1.0f) * 0.5f;
    const float fv = (b * invD + 1.0f) * 0.5f;
    cubeToCross(fu, fv, face, u, v);
}

int CrossMap::cellSize(const Image& cross) const {
    // L: the side with four cells, S: the side with three.
    const int L = horizontal ? cross.getWidth() : cross.getHeight();
    const int S = horizontal ? cross.getHeight() : cross.getWidth();
    if (L < 4 || L % 4 != 0 || S % 3 != 0) return 0;
    // Non-square cells would leave the face size and block origin ambiguous: refused.
    if (S / 3 != L / 4) return 0;
    return L / 4;
}

void CrossMap::copyFace(const Image& cross, Image& face, int index) const {
    if (!isFaceIndex(index) || cross.getPixelType() != face.getPixelType()) return;
    if (cross.pixels() == nullptr) return;
    const int N = cellSize(cross);
    if (N == 0) return;
    face.setSize(N, N);
    imageCopyOut(cross, face, uOffset[index] * N, vOffset[index] * N);
    if (index == kTurnedFace) {
        imageFlipVertical(face);
        imageFlipHorizontal(face);
    }
}

void CrossMap::pasteFace(const Image& face, int index) {
    if (!image || !isFaceIndex(index)) return;
    Image& cross = *image;
    if (cross.pixels() == nullptr || face.pixels() == nullptr) return;
    if (cross.getPixelType() != face.getPixelType()) return;
    const int N = cellSize(cross);
    if (N == 0 || face.getWidth() != N || face.getHeight() != N) return;
    const int x = uOffset[index] * N;
    const int y = vOffset[index] * N;
    if (index == kTurnedFace) {
        // Turned on a private copy so the caller's face stays as it was.
        const ix::Reference<Image> turned(face.duplicate());
        imageFlipVertical(*turned);
        imageFlipHorizontal(*turned);
        imageCopyIn(*turned, cross, x, y);
    } else {
        imageCopyIn(face, cross, x, y);
    }
}

}  // namespace ixImage
