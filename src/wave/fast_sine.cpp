#include "wave/fast_sine.hpp"

#include <bit>
#include <cstdint>

#include "wave/vector_clones.hpp"

namespace {

constexpr double kInversePi = 0x1.45f306dc9c883p-2;
// Pi in three parts; the first two have short mantissas, so q x part is exact for |q| < 2^23.
constexpr double kPiA = 0x1.921fb54000000p+1;
constexpr double kPiB = 0x1.10b4611800000p-29;
constexpr double kPiC = 0x1.313198a2e0370p-60;

// Taylor coefficients 1/(2k+1)! with alternating signs; through degree 21 the truncation error
// on [-pi/2, pi/2] stays below 2^-59.
constexpr double kS3 = -1.0 / 6.0;
constexpr double kS5 = 1.0 / 120.0;
constexpr double kS7 = -1.0 / 5040.0;
constexpr double kS9 = 1.0 / 362880.0;
constexpr double kS11 = -1.0 / 39916800.0;
constexpr double kS13 = 1.0 / 6227020800.0;
constexpr double kS15 = -1.0 / 1307674368000.0;
constexpr double kS17 = 1.0 / 355687428096000.0;
constexpr double kS19 = -1.0 / 121645100408832000.0;
constexpr double kS21 = 1.0 / 51090942171709440000.0;

}  // namespace

TONEGEN_VECTOR_CLONES
void fast_sine(const double* x, double* out, int count) {
  for (int i = 0; i < count; ++i) {
    // x = q pi + r with |r| <= pi/2 (a little more when x / pi rounds the other way). The shifted
    // value keeps q in its low mantissa bits.
    double shifted = x[i] * kInversePi + kRoundingShift;
    double q = shifted - kRoundingShift;
    double r = ((x[i] - q * kPiA) - q * kPiB) - q * kPiC;
    double r2 = r * r;
    double p = kS21;
    p = p * r2 + kS19;
    p = p * r2 + kS17;
    p = p * r2 + kS15;
    p = p * r2 + kS13;
    p = p * r2 + kS11;
    p = p * r2 + kS9;
    p = p * r2 + kS7;
    p = p * r2 + kS5;
    p = p * r2 + kS3;
    double s = r + (r * r2) * p;
    // sin(q pi + r) = (-1)^q sin(r): q's lowest bit sits in the shifted value's lowest bit.
    uint64_t sign = std::bit_cast<uint64_t>(shifted) << 63;
    out[i] = std::bit_cast<double>(std::bit_cast<uint64_t>(s) ^ sign);
  }
}
