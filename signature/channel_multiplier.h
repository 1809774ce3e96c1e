// Equalisation scales each channel v of a pixel by factor = double(P) / double(Q) (P = map[b] + 1,
// Q = b + 1) and rounds the exact product to nearest, ties to even. ChannelMultiplier turns such a
// factor into a 20-bit fixed-point multiplier M for which
//   ScaleByMultiplier(v, M) == min(RoundHalfEven(v * factor), 255)   for every v <= min(Q - 1, 255),
// so that a pixel costs integer multiplies that vectorise, not divisions or table look-ups.
// RoundedProduct is that exact rounding itself, for the factors that have no multiplier.
//
// Why it is exact: v * P / Q lies at least 1 / (2Q) >= 1 / 1532 from every half-integer unless it is
// one. M / 2^20 lies within 2^-20 of P / Q, so v * M / 2^20 lies within 255 / 2^20 < 1 / 1532 of it and
// rounds alike; the double factor is nearer still. At an exact half-integer the two must also break
// the tie alike: when P / Q is a multiple of 2^-20 the double factor and M are both exact and the
// rounding is to even; otherwise M is taken on the same side of P / Q as the double factor, so both
// products leave the half-integer in the same direction.
#pragma once

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <limits>

namespace velquin {

inline constexpr int kMultiplierShift = 20;

// Returns v * f rounded to nearest, ties to even, computed exactly: f is m * 2^e with a 53-bit integer m,
// so v * m (at most 64 bits) is an exact integer that is shifted with explicit rounding. A plain double
// multiply could round first and turn a near-tie into a tie. Saturates at the largest uint64.
// REQUIRES: v < 2^11; f finite and not negative.
inline std::uint64_t RoundedProduct(std::uint32_t v, double f) {
  assert(v < 2048 && f >= 0 && f <= std::numeric_limits<double>::max());
  const auto bits = std::bit_cast<std::uint64_t>(f);
  const int field = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int exponent = -1074;
  if (field != 0) {
    mantissa |= std::uint64_t{1} << 52;
    exponent = field - 1075;
  }
  const std::uint64_t product = std::uint64_t{v} * mantissa;
  if (product == 0) return 0;
  if (exponent >= 0) {
    if (exponent >= 64 || product > (std::numeric_limits<std::uint64_t>::max() >> exponent))
      return std::numeric_limits<std::uint64_t>::max();
    return product << exponent;
  }
  const int shift = -exponent;
  if (shift > 64) return 0;  // product / 2^shift < 1/2
  if (shift == 64) return product > (std::uint64_t{1} << 63) ? 1 : 0;
  std::uint64_t quotient = product >> shift;
  const std::uint64_t remainder = product & ((std::uint64_t{1} << shift) - 1);
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  if (remainder > half || (remainder == half && (quotient & 1) != 0)) ++quotient;
  return quotient;
}

// REQUIRES: 1 <= p <= 769, 1 <= q <= 766.
inline std::uint32_t ChannelMultiplier(std::uint32_t p, std::uint32_t q) {
  const std::uint32_t scaled = p << kMultiplierShift;  // below 2^30
  const std::uint32_t below = scaled / q;
  if (scaled % q == 0) return below;
  const double factor = static_cast<double>(p) / static_cast<double>(q);
  // Which side of p / q the double lies on: its 53-bit mantissa times q (10 bits) is exact in the
  // 64-bit mantissa of a long double.
  static_assert(std::numeric_limits<long double>::digits >= 63);
  return static_cast<long double>(factor) * q > p ? below + 1 : below;
}

// min(RoundHalfEven(v * multiplier / 2^20), 255). REQUIRES: v * multiplier < 2^31 - 2^20, which holds
// for the multipliers above and v <= min(q - 1, 255).
inline std::uint32_t ScaleByMultiplier(std::uint32_t v, std::uint32_t multiplier) {
  const std::uint32_t product = v * multiplier;
  const std::uint32_t odd = (product >> kMultiplierShift) & 1;
  return std::min<std::uint32_t>((product + (1u << (kMultiplierShift - 1)) - 1 + odd) >> kMultiplierShift,
                                 255);
}

}  // namespace velquin
