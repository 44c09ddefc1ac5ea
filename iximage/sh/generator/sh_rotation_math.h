// Rotation matrices of real spherical harmonics about the y axis, in double precision.
//
// Real harmonics, for the direction w = (sin t cos f, sin t sin f, cos t):
//   Y(l,0) = Pbar(l,0)(cos t), Y(l,m) = sqrt2 Pbar(l,m)(cos t) cos(m f),
//   Y(l,-m) = sqrt2 Pbar(l,m)(cos t) sin(m f) for m > 0,
// with Pbar the orthonormal associated Legendre function, Condon-Shortley phase included (the
// basis of the library's tables, here with the exact square root of two).
//
// For a rotation R, D(l,R) is the (2l+1) x (2l+1) matrix with
//   Y(l,b)(R^-1 w) = sum_a D(l,R)[a][b] Y(l,a)(w),
// which maps the coefficients of f to those of the rotated function f(R^-1 w); D(R1 R2) =
// D(R1) D(R2). Matrices are stored row-major with row a + l and column b + l.
//
// Method. Ry(beta) = A Rz(beta) A^-1 with A = Rx(-90 deg), which takes +z to +y. D(l, Rz) is a
// set of 2 x 2 cos/sin blocks in closed form, and D(l, A), a fixed matrix per band, is computed
// once by projecting Y(l,b)(A^-1 w) onto Y(l,a) with a Gauss-Legendre (in cos t) times uniform
// azimuth quadrature that integrates every product of two band-20 harmonics exactly. So
// D(l, Ry(beta)) = D(l,A) D(l,Rz(beta)) D(l,A)^T (D(A) is orthogonal), accurate to rounding at
// every band.
#pragma once

#include <cmath>
#include <vector>

namespace ixShRotation {

constexpr int kMaxBand = 20;
constexpr double kPi = 3.14159265358979323846;

// Pbar(l,m)(x) for 0 <= m <= l <= maxBand at x = cos t, s = sin t >= 0; out[l][m] layout
// (maxBand+1)^2, entry l * (maxBand + 1) + m.
inline void normalisedLegendre(int maxBand, double x, double s, double* out) {
    const int n = maxBand + 1;
    double sectoral = std::sqrt(1.0 / (4.0 * kPi));  // Pbar(0,0)
    for (int m = 0; m <= maxBand; ++m) {
        if (m > 0) {
            // Pbar(m,m) = -sqrt((2m+1)/(2m)) s Pbar(m-1,m-1)
            sectoral *= -std::sqrt((2.0 * m + 1.0) / (2.0 * m)) * s;
        }
        out[m * n + m] = sectoral;
        if (m == maxBand) continue;
        out[(m + 1) * n + m] = std::sqrt(2.0 * m + 3.0) * x * sectoral;
        for (int l = m + 2; l <= maxBand; ++l) {
            // Pbar(l,m) = a (x Pbar(l-1,m) - b Pbar(l-2,m)),
            // a = sqrt((4l^2-1)/(l^2-m^2)), b = sqrt(((l-1)^2-m^2)/(4(l-1)^2-1)).
            const double a = std::sqrt((4.0 * l * l - 1.0) / (double(l) * l - double(m) * m));
            const double b = std::sqrt((double(l - 1) * (l - 1) - double(m) * m) /
                                       (4.0 * (l - 1) * (l - 1) - 1.0));
            out[l * n + m] = a * (x * out[(l - 1) * n + m] - b * out[(l - 2) * n + m]);
        }
    }
}

// All real harmonics of bands 0..maxBand at the unit direction (x, y, z); entry l^2 + l + m.
inline void realHarmonics(int maxBand, double x, double y, double z, double* out) {
    const int n = maxBand + 1;
    std::vector<double> P(static_cast<size_t>(n) * n);
    const double s = std::sqrt(x * x + y * y);
    normalisedLegendre(maxBand, z, s, P.data());
    const double phi = std::atan2(y, x);
    const double root2 = std::sqrt(2.0);
    for (int l = 0; l <= maxBand; ++l) {
        out[l * l + l] = P[l * n];
        for (int m = 1; m <= l; ++m) {
            out[l * l + l + m] = root2 * P[l * n + m] * std::cos(m * phi);
            out[l * l + l - m] = root2 * P[l * n + m] * std::sin(m * phi);
        }
    }
}

// Gauss-Legendre nodes and weights on [-1, 1] (Newton iteration on P_n).
inline void gaussLegendre(int n, std::vector<double>& nodes, std::vector<double>& weights) {
    nodes.assign(n, 0.0);
    weights.assign(n, 0.0);
    for (int i = 0; i < n; ++i) {
        double x = std::cos(kPi * (i + 0.75) / (n + 0.5));
        double dp = 1.0;
        for (int iter = 0; iter < 100; ++iter) {
            double p0 = 1.0, p1 = x;
            for (int k = 2; k <= n; ++k) {
                const double p2 = ((2.0 * k - 1.0) * x * p1 - (k - 1.0) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            dp = n * (x * p1 - p0) / (x * x - 1.0);
            const double dx = p1 / dp;
            x -= dx;
            if (std::abs(dx) < 1e-16) break;
        }
        // Recompute the derivative at the converged node for the weight.
        double p0 = 1.0, p1 = x;
        for (int k = 2; k <= n; ++k) {
            const double p2 = ((2.0 * k - 1.0) * x * p1 - (k - 1.0) * p0) / k;
            p0 = p1;
            p1 = p2;
        }
        dp = n * (x * p1 - p0) / (x * x - 1.0);
        nodes[i] = x;
        weights[i] = 2.0 / ((1.0 - x * x) * dp * dp);
    }
}

// A sphere quadrature exact for products of two harmonics of band <= maxBand: the integrand
// has polynomial degree <= 2 maxBand in cos t (after the azimuth sum) and azimuthal orders
// |m| <= 2 maxBand, so maxBand + 2 Gauss nodes and 2 (2 maxBand + 2) azimuths suffice.
struct SphereQuadrature {
    std::vector<double> x, y, z, weight;

    explicit SphereQuadrature(int maxBand) {
        std::vector<double> nodes, weights;
        const int polar = maxBand + 2;
        const int azimuths = 4 * maxBand + 4;
        gaussLegendre(polar, nodes, weights);
        for (int i = 0; i < polar; ++i) {
            const double s = std::sqrt(1.0 - nodes[i] * nodes[i]);
            for (int j = 0; j < azimuths; ++j) {
                const double phi = 2.0 * kPi * j / azimuths;
                x.push_back(s * std::cos(phi));
                y.push_back(s * std::sin(phi));
                z.push_back(nodes[i]);
                weight.push_back(weights[i] * 2.0 * kPi / azimuths);
            }
        }
    }
    int size() const { return static_cast<int>(weight.size()); }
};

// D(l, R) for every band l <= maxBand by projection: D[a][b] = integral Y(l,a)(w) Y(l,b)(R^-1 w).
// R is row-major 3 x 3; R^-1 = R^T. Result: one (2l+1)^2 matrix per band.
inline std::vector<std::vector<double>> projectRotation(int maxBand, const double R[3][3]) {
    const SphereQuadrature quad(maxBand);
    const int count = (maxBand + 1) * (maxBand + 1);
    std::vector<std::vector<double>> D(maxBand + 1);
    for (int l = 0; l <= maxBand; ++l) D[l].assign((2 * l + 1) * (2 * l + 1), 0.0);
    std::vector<double> Yw(count), Yr(count);
    for (int q = 0; q < quad.size(); ++q) {
        const double w[3] = {quad.x[q], quad.y[q], quad.z[q]};
        // R^-1 w = R^T w
        const double r[3] = {R[0][0] * w[0] + R[1][0] * w[1] + R[2][0] * w[2],
                             R[0][1] * w[0] + R[1][1] * w[1] + R[2][1] * w[2],
                             R[0][2] * w[0] + R[1][2] * w[1] + R[2][2] * w[2]};
        realHarmonics(maxBand, w[0], w[1], w[2], Yw.data());
        realHarmonics(maxBand, r[0], r[1], r[2], Yr.data());
        for (int l = 0; l <= maxBand; ++l) {
            const int n = 2 * l + 1;
            const double* ya = &Yw[l * l];
            const double* yb = &Yr[l * l];
            for (int a = 0; a < n; ++a) {
                const double wa = quad.weight[q] * ya[a];
                for (int b = 0; b < n; ++b) D[l][a * n + b] += wa * yb[b];
            }
        }
    }
    return D;
}

// Ry(beta): the rotation about +y that takes +z to (sin beta, 0, cos beta).
inline void rotationY(double beta, double R[3][3]) {
    const double c = std::cos(beta), s = std::sin(beta);
    const double M[3][3] = {{c, 0.0, s}, {0.0, 1.0, 0.0}, {-s, 0.0, c}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) R[i][j] = M[i][j];
}

// D(l, Ry(beta)) for all bands, from the fixed change of axis D(l, A), A = Rx(-90 deg).
class YRotation {
public:
    explicit YRotation(int maxBand = kMaxBand) : maxBand(maxBand) {
        const double A[3][3] = {{1.0, 0.0, 0.0}, {0.0, 0.0, 1.0}, {0.0, -1.0, 0.0}};
        axisChange = projectRotation(maxBand, A);
    }

    // D(l, Ry(beta)) row-major, row a + l, column b + l.
    std::vector<double> band(int l, double beta) const {
        const int n = 2 * l + 1;
        const std::vector<double>& DA = axisChange[l];
        // DA Z, with Z = D(l, Rz(beta)): Y(l,b)(Rz^-1 w) shifts the azimuth by -beta, so for
        // m > 0 column m is (cos m beta at row m, sin m beta at row -m) and column -m is
        // (cos m beta at row -m, -sin m beta at row m); column 0 is the unit vector.
        std::vector<double> DZ(n * n);
        for (int a = 0; a < n; ++a) {
            DZ[a * n + l] = DA[a * n + l];
            for (int m = 1; m <= l; ++m) {
                const double c = std::cos(m * beta), s = std::sin(m * beta);
                const double plus = DA[a * n + l + m], minus = DA[a * n + l - m];
                DZ[a * n + l + m] = plus * c + minus * s;
                DZ[a * n + l - m] = minus * c - plus * s;
            }
        }
        // (DA Z) DA^T
        std::vector<double> D(n * n, 0.0);
        for (int a = 0; a < n; ++a)
            for (int b = 0; b < n; ++b) {
                double sum = 0.0;
                for (int k = 0; k < n; ++k) sum += DZ[a * n + k] * DA[b * n + k];
                D[a * n + b] = sum;
            }
        return D;
    }

    int getMaxBand() const { return maxBand; }

private:
    int maxBand;
    std::vector<std::vector<double>> axisChange;
};

}  // namespace ixShRotation
