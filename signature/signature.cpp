#include "signature/signature.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "signature/channel_multiplier.h"
#include "signature/convert.h"
#include "signature/signature_rows.h"

namespace velquin {
namespace {

constexpr int kMaxBrightness = 765;

// Module tables, reused for every picture (no per-picture allocation).
TBrightnessHistogram gHistogram{};
TBrightnessMap gMap{};
// gMultiplier[b]: the ChannelMultiplier of the factor for brightness b, made from gMap.
using TMultipliers = std::array<std::uint32_t, kMaxBrightness + 1>;
TMultipliers MultipliersOfMap();
TMultipliers gMultiplier = MultipliersOfMap();  // the map starts all zeros
// One rewritten row for EqualizedSignature, grown to the widest picture seen.
std::vector<TColor32> gRowBuffer;

// Returns v * f rounded to nearest, ties to even, computed exactly: f is m * 2^e with a 53-bit integer m,
// so v * m (at most 64 bits) is an exact integer that is shifted with explicit rounding. A plain double
// multiply could round first and turn a near-tie into a tie. Saturates at the largest uint64.
// REQUIRES: v < 2^11; f finite and not negative.
std::uint64_t RoundedProduct(std::uint32_t v, double f) {
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

std::int32_t ScaleChannel(std::int32_t v, double factor) {
  return static_cast<std::int32_t>(
      std::min<std::uint64_t>(RoundedProduct(static_cast<std::uint32_t>(v), factor), 255));
}

inline std::uint32_t PixelBrightness(TColor32 c) {
  return ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF);
}

#if defined(__SSE2__)
// The histogram loop is bound by instruction count, so it takes the brightness of four pixels at once
// with SSE2 (part of every x86-64 processor); the scalar loop after it does the rest, and everything on
// other processors.
constexpr std::size_t kVectorPixels = 4;

// Each pixel's 32-bit lane holds B, G, R, A from the lowest byte up. Masking keeps B and R as 16-bit
// fields; adding G gives B + G and R, and the multiply-add of the two fields by 1 gives B + G + R.
inline __m128i Brightness4(__m128i pixels) {
  const __m128i blueRed = _mm_and_si128(pixels, _mm_set1_epi32(0x00FF00FF));
  const __m128i green = _mm_and_si128(_mm_srli_epi32(pixels, 8), _mm_set1_epi32(0xFF));
  return _mm_madd_epi16(_mm_add_epi32(blueRed, green), _mm_set1_epi16(1));
}

inline __m128i Load4(const TColor32* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
#endif

// Histogram counters, four tables filled in turn: neighbouring pixels often share a brightness, and
// counting them into different tables keeps successive increments of one counter from waiting on each
// other. gHistogram is their sum, formed when it is read.
std::int64_t gPartial[4][kBrightnessLevels];

void SumPartialHistograms() {
  for (std::size_t level = 0; level < kBrightnessLevels; ++level)
    gHistogram[level] = gPartial[0][level] + gPartial[1][level] + gPartial[2][level] + gPartial[3][level];
}

// One factor per brightness level instead of a division per pixel.
TMultipliers MultipliersOfMap() {
  TMultipliers multipliers;
  for (std::uint32_t b = 0; b <= kMaxBrightness; ++b)
    multipliers[b] = ChannelMultiplier(static_cast<std::uint32_t>(gMap[b]) + 1, b + 1);
  return multipliers;
}

// The pixel c rewritten through multiplier, the one of its brightness.
inline TColor32 ScalePixel(TColor32 c, std::uint32_t multiplier) {
  return ScaleByMultiplier(c & 0xFF, multiplier) | ScaleByMultiplier((c >> 8) & 0xFF, multiplier) << 8 |
         ScaleByMultiplier((c >> 16) & 0xFF, multiplier) << 16;
}

// Writes the n pixels from rewritten to to (which may be from).
void EqualizeSpanScalar(const TColor32* from, TColor32* to, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) to[k] = ScalePixel(from[k], gMultiplier[PixelBrightness(from[k])]);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same for eight pixels at once, on processors with AVX2 (chosen at run time; the build targets
// every x86-64): one gather of the multipliers, then multiplies, shifts and a minimum per channel.
__attribute__((target("avx2"))) inline __m256i ScaleByMultiplier8(__m256i v, __m256i multiplier) {
  const __m256i product = _mm256_mullo_epi32(v, multiplier);
  const __m256i odd = _mm256_and_si256(_mm256_srli_epi32(product, kMultiplierShift), _mm256_set1_epi32(1));
  const __m256i belowHalf = _mm256_set1_epi32((1 << (kMultiplierShift - 1)) - 1);
  const __m256i rounded =
      _mm256_srli_epi32(_mm256_add_epi32(_mm256_add_epi32(product, belowHalf), odd), kMultiplierShift);
  return _mm256_min_epu32(rounded, _mm256_set1_epi32(255));
}

__attribute__((target("avx2"))) void EqualizeSpanAvx2(const TColor32* from, TColor32* to, std::size_t n) {
  const __m256i byte = _mm256_set1_epi32(0xFF);
  std::size_t k = 0;
  for (; k + 8 <= n; k += 8) {
    const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + k));
    const __m256i blue = _mm256_and_si256(pixels, byte);
    const __m256i green = _mm256_and_si256(_mm256_srli_epi32(pixels, 8), byte);
    const __m256i red = _mm256_and_si256(_mm256_srli_epi32(pixels, 16), byte);
    const __m256i brightness = _mm256_add_epi32(_mm256_add_epi32(blue, green), red);
    const __m256i multiplier = _mm256_i32gather_epi32(reinterpret_cast<const int*>(gMultiplier.data()),
                                                      brightness, sizeof gMultiplier[0]);
    const __m256i result =
        _mm256_or_si256(_mm256_or_si256(ScaleByMultiplier8(blue, multiplier),
                                        _mm256_slli_epi32(ScaleByMultiplier8(green, multiplier), 8)),
                        _mm256_slli_epi32(ScaleByMultiplier8(red, multiplier), 16));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + k), result);
  }
  EqualizeSpanScalar(from + k, to + k, n - k);
}

using TEqualizeSpan = void (*)(const TColor32*, TColor32*, std::size_t);
TEqualizeSpan ChooseEqualizeSpan() {
  __builtin_cpu_init();  // may run before the library's own initialisation
  return __builtin_cpu_supports("avx2") ? EqualizeSpanAvx2 : EqualizeSpanScalar;
}
const TEqualizeSpan EqualizeSpan = ChooseEqualizeSpan();
#else
const auto EqualizeSpan = EqualizeSpanScalar;
#endif

}  // namespace

TRgb SplitColor(TColor32 color) {
  return {static_cast<std::int32_t>((color >> 16) & 0xFF), static_cast<std::int32_t>((color >> 8) & 0xFF),
          static_cast<std::int32_t>(color & 0xFF)};
}

TColor32 MakeColor(std::int32_t r, std::int32_t g, std::int32_t b) {
  return static_cast<TColor32>(b) + static_cast<TColor32>(g) * 256u + static_cast<TColor32>(r) * 65536u;
}

std::int32_t Brightness(TColor32 color) { return static_cast<std::int32_t>(PixelBrightness(color)); }

TColor32 ScaleColor(TColor32 color, double factor) {
  const TRgb c = SplitColor(color);
  return MakeColor(ScaleChannel(c.R, factor), ScaleChannel(c.G, factor), ScaleChannel(c.B, factor));
}

TSignature MakeSignature(const TBitmap32& bitmap) {
  TSignatureRows rows;
  rows.Start(bitmap.Width(), bitmap.Height());
  if (!bitmap.IsEmpty())
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) rows.AddRow(y, bitmap.ScanLine(y));
  return rows.Signature(bitmap.OuterColor);
}

void ClearHistogram() { std::memset(gPartial, 0, sizeof gPartial); }

void AddToHistogram(const TColor32* pixels, std::size_t count) {
  std::size_t k = 0;
#if defined(__SSE2__)
  for (; k + kVectorPixels <= count; k += kVectorPixels) {
    const __m128i brightness = Brightness4(Load4(pixels + k));
    ++gPartial[0][_mm_extract_epi16(brightness, 0)];
    ++gPartial[1][_mm_extract_epi16(brightness, 2)];
    ++gPartial[2][_mm_extract_epi16(brightness, 4)];
    ++gPartial[3][_mm_extract_epi16(brightness, 6)];
  }
#endif
  for (; k < count; ++k) ++gPartial[k % 4][PixelBrightness(pixels[k])];
}

void BuildHistogram(const TBitmap32& bitmap) {
  ClearHistogram();
  if (bitmap.IsEmpty()) return;
  AddToHistogram(bitmap.Bits(),
                 static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height()));
}

std::int32_t BuildBrightnessMap() {
  SumPartialHistograms();
  std::int64_t total = 0;
  for (const std::int64_t counter : gHistogram) total += counter;
  gMap.fill(0);
  // Without pixels the step below would be 0 and the level would never stop rising.
  if (total == 0) {
    gMultiplier = MultipliersOfMap();
    return 0;
  }

  const double step = static_cast<double>(total) / 768.0;
  double acc = 0.0;
  std::int32_t level = 0;
  for (int k = 0; k < kBrightnessLevels;) {
    if (acc >= step) {
      acc = acc - step;
      ++level;
    } else {
      gMap[static_cast<std::size_t>(k)] = level;
      acc = acc + static_cast<double>(gHistogram[static_cast<std::size_t>(k)]);
      ++k;
    }
  }
  const double scale = 768.0 / static_cast<double>(level);
  for (std::int32_t& entry : gMap)
    entry = static_cast<std::int32_t>(RoundedProduct(static_cast<std::uint32_t>(entry), scale));
  gMultiplier = MultipliersOfMap();
  return level;
}

void ApplyEqualization(TBitmap32& bitmap) {
  if (bitmap.IsEmpty()) return;
  const auto pixels = static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height());
  EqualizeSpan(bitmap.Bits(), bitmap.Bits(), pixels);
}

TSignature ApplyEqualizationAndMakeSignature(TBitmap32& bitmap) {
  TSignatureRows rows;
  rows.Start(bitmap.Width(), bitmap.Height());
  if (!bitmap.IsEmpty()) {
    // A row is summed right after it is rewritten, while it is still in cache: the pixels travel from
    // memory and back once instead of being read a second time for the signature.
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
      TColor32* row = bitmap.ScanLine(y);
      EqualizeSpan(row, row, static_cast<std::size_t>(bitmap.Width()));
      rows.AddRow(y, row);
    }
  }
  return rows.Signature(bitmap.OuterColor);
}

void AddEqualizedRows(const TBitmap32& bitmap, std::int32_t first, std::int32_t last, TSignatureRows& rows,
                      std::vector<TColor32>& buffer) {
  // Each row is rewritten into a buffer that stays in cache: the bitmap is only read, which saves
  // writing every pixel back to memory.
  buffer.resize(static_cast<std::size_t>(bitmap.Width()));
  for (std::int32_t y = first; y < last; ++y) {
    EqualizeSpan(bitmap.ScanLine(y), buffer.data(), buffer.size());
    rows.AddRow(y, buffer.data());
  }
}

TSignature EqualizedSignature(const TBitmap32& bitmap) {
  TSignatureRows rows;
  rows.Start(bitmap.Width(), bitmap.Height());
  if (!bitmap.IsEmpty()) AddEqualizedRows(bitmap, 0, bitmap.Height(), rows, gRowBuffer);
  return rows.Signature(bitmap.OuterColor);
}

void EqualizeBrightness(TBitmap32& bitmap) {
  if (bitmap.IsEmpty()) return;
  BuildHistogram(bitmap);
  BuildBrightnessMap();
  ApplyEqualization(bitmap);
}

TSignature EqualizeAndMakeSignature(TBitmap32& bitmap) {
  if (bitmap.IsEmpty()) return MakeSignature(bitmap);
  BuildHistogram(bitmap);
  BuildBrightnessMap();
  return ApplyEqualizationAndMakeSignature(bitmap);
}

const TBrightnessHistogram& BrightnessHistogram() {
  SumPartialHistograms();
  return gHistogram;
}
const TBrightnessMap& BrightnessMap() { return gMap; }

std::string SignatureToText(const TSignature& signature) {
  std::string text;
  text.reserve(kSignatureTextLength);
  for (const TRgb& cell : signature.Cells) {
    for (const std::int32_t value : {cell.R, cell.G, cell.B}) {
      char digits[16];
      const auto result = std::to_chars(digits, digits + sizeof digits, value);
      const auto length = static_cast<std::size_t>(result.ptr - digits);
      if (length < 4) text.append(4 - length, ' ');
      text.append(digits, length);
    }
  }
  return text;
}

TSignature TextToSignature(std::string_view text) {
  TSignature signature;
  for (TRgb& cell : signature.Cells) {
    for (std::int32_t* value : {&cell.R, &cell.G, &cell.B}) {
      const std::string_view field = text.substr(0, 4);
      text.remove_prefix(field.size());
      *value = StrToInt(field);
    }
  }
  return signature;
}

}  // namespace velquin
