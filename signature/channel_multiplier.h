// Equalisation scales each channel v of a pixel by factor = double(P) / double(Q) (P = map[b] + 1,
// Q = b + 1) and rounds the exact product to nearest, ties to even. ChannelMultiplier turns such a
// factor into a 20-bit fixed-point multiplier M for which
//   ScaleByMultiplier(v, M) == min(RoundHalfEven(v * factor), 255)   for every v <= min(Q - 1, 255),
// so that a pixel costs integer multiplies that vectorise, not divisions or table look-ups.
//
// Why it is exact: v * P / Q lies at least 1 / (2Q) >= 1 / 1532 from every half-integer unless it is
// one. M / 2^20 lies within 2^-20 of P / Q, so v * M / 2^20 lies within 255 / 2^20 < 1 / 1532 of it and
// rounds alike; the double factor is nearer still. At an exact half-integer the two must also break
// the tie alike: when P / Q is a multiple of 2^-20 the double factor and M are both exact and the
// rounding is to even; otherwise M is taken on the same side of P / Q as the double factor, so both
// products leave the half-integer in the same direction.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace velquin {

inline constexpr int kMultiplierShift = 20;

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
