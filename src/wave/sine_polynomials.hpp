// Made by proofs/block_sines.sollya; the proofs test fails when this file differs from what
// the script prints. Odd polynomials r + r^3 P(r^2) for sin r on |r| <= pi/2 (1 + 2^-10),
// each with a rigorous bound on |r + r^3 P(r^2) - sin r| there (Sollya's supnorm).
#pragma once

// clang-format off

namespace block_sine {

// Degree 9: P's coefficients, of r^3 to r^9.
inline constexpr double kShortCoefficients[] = {
    -0x1.5555486390c0cp-3,
    0x1.110e6670f526ep-7,
    -0x1.9f5f3dbd8353fp-13,
    0x1.5cef083adcaa5p-19,
};
inline constexpr double kShortApproximationError = 0x1.40ep-28;

// Degree 15: P's coefficients, of r^3 to r^15.
inline constexpr double kLongCoefficients[] = {
    -0x1.555555555541dp-3,
    0x1.111111110707cp-7,
    -0x1.a01a0198937d9p-13,
    0x1.71de378b20718p-19,
    -0x1.ae63338b91319p-26,
    0x1.60e20399d48cfp-33,
    -0x1.9e8fca356e58p-41,
};
inline constexpr double kLongApproximationError = 0x1.02ap-53;

// Degree 9: P's coefficients, of r^3 to r^9.
inline constexpr double kSingleCoefficients[] = {
    -0x1.555548p-3,
    0x1.110e5ap-7,
    -0x1.9f5d58p-13,
    0x1.5cd7cap-19,
};
inline constexpr double kSingleApproximationError = 0x1.512p-28;

}  // namespace block_sine

// clang-format on
