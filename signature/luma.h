// The luma of a pixel, as the gray grid defines it: Y = (19595 R + 38470 G + 7471 B + 32768) div 65536.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/bitmap32.h"

namespace velquin {

inline std::uint32_t Luma(TColor32 c) {
  return (19595 * ((c >> 16) & 0xFF) + 38470 * ((c >> 8) & 0xFF) + 7471 * (c & 0xFF) + 32768) >> 16;
}

#if defined(__SSE2__)
// Luma of the four pixels at p, one per 32-bit lane, with SSE2 (part of every x86-64 processor).
// Masking keeps B and R, and G, as 16-bit fields; multiply-adds weigh them, G's weight 38470 taken as
// 5702 + 2^15 since the multiply takes signed 16-bit weights.
inline __m128i Luma4(const TColor32* p) {
  const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i blueRed = _mm_and_si128(pixels, _mm_set1_epi32(0x00FF00FF));
  const __m128i green = _mm_and_si128(_mm_srli_epi32(pixels, 8), _mm_set1_epi32(0xFF));
  const __m128i weighed = _mm_add_epi32(_mm_madd_epi16(blueRed, _mm_set1_epi32(19595 << 16 | 7471)),
                                        _mm_madd_epi16(green, _mm_set1_epi32(5702)));
  return _mm_srli_epi32(
      _mm_add_epi32(_mm_add_epi32(weighed, _mm_slli_epi32(green, 15)), _mm_set1_epi32(32768)), 16);
}
#endif

}  // namespace velquin
