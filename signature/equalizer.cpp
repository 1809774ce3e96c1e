#include "signature/equalizer.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "signature/channel_multiplier.h"
#include "signature/equalize_kernels.h"

namespace velquin {
namespace {

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

// The pixel c rewritten through multiplier, the one of its brightness.
inline TColor32 ScalePixel(TColor32 c, std::uint32_t multiplier) {
  return ScaleByMultiplier(c & 0xFF, multiplier) | ScaleByMultiplier((c >> 8) & 0xFF, multiplier) << 8 |
         ScaleByMultiplier((c >> 16) & 0xFF, multiplier) << 16;
}

// Writes the n pixels from rewritten through the multipliers (one per brightness) to to (which may be
// from).
void EqualizeSpanScalar(const std::uint32_t* multipliers, const TColor32* from, TColor32* to, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) to[k] = ScalePixel(from[k], multipliers[PixelBrightness(from[k])]);
}

// Adds the n pixels from as rewritten through the multipliers to sums, without writing them anywhere.
void EqualizeSumSpanScalar(const std::uint32_t* multipliers, const TColor32* from, std::size_t n,
                           TChannelSums& sums) {
  for (std::size_t k = 0; k < n; ++k) {
    const TColor32 c = from[k];
    const std::uint32_t multiplier = multipliers[PixelBrightness(c)];
    sums.r += ScaleByMultiplier((c >> 16) & 0xFF, multiplier);
    sums.g += ScaleByMultiplier((c >> 8) & 0xFF, multiplier);
    sums.b += ScaleByMultiplier(c & 0xFF, multiplier);
  }
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

// The three channels of eight pixels, each in its own 32-bit lanes, and their multipliers.
struct TChannels8 {
  __m256i blue, green, red, multiplier;
};

__attribute__((target("avx2"))) inline TChannels8 Split8(const std::uint32_t* multipliers,
                                                         const TColor32* p) {
  const __m256i byte = _mm256_set1_epi32(0xFF);
  const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  TChannels8 c;
  c.blue = _mm256_and_si256(pixels, byte);
  c.green = _mm256_and_si256(_mm256_srli_epi32(pixels, 8), byte);
  c.red = _mm256_and_si256(_mm256_srli_epi32(pixels, 16), byte);
  const __m256i brightness = _mm256_add_epi32(_mm256_add_epi32(c.blue, c.green), c.red);
  c.multiplier =
      _mm256_i32gather_epi32(reinterpret_cast<const int*>(multipliers), brightness, sizeof multipliers[0]);
  return c;
}

__attribute__((target("avx2"))) void EqualizeSpanAvx2(const std::uint32_t* multipliers, const TColor32* from,
                                                      TColor32* to, std::size_t n) {
  std::size_t k = 0;
  for (; k + 8 <= n; k += 8) {
    const TChannels8 c = Split8(multipliers, from + k);
    const __m256i result =
        _mm256_or_si256(_mm256_or_si256(ScaleByMultiplier8(c.blue, c.multiplier),
                                        _mm256_slli_epi32(ScaleByMultiplier8(c.green, c.multiplier), 8)),
                        _mm256_slli_epi32(ScaleByMultiplier8(c.red, c.multiplier), 16));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + k), result);
  }
  EqualizeSpanScalar(multipliers, from + k, to + k, n - k);
}

__attribute__((target("avx2"))) std::uint64_t LaneSum(__m256i lanes) {
  alignas(32) std::uint32_t values[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(values), lanes);
  std::uint64_t sum = 0;
  for (const std::uint32_t value : values) sum += value;
  return sum;
}

// The rewritten channels are summed in 32-bit lanes, each growing by at most 255 a step: after 2^16
// steps (below 2^24) they are added into the 64-bit sums and start again.
__attribute__((target("avx2"))) void EqualizeSumSpanAvx2(const std::uint32_t* multipliers,
                                                         const TColor32* from, std::size_t n,
                                                         TChannelSums& sums) {
  constexpr std::size_t kSteps = std::size_t{1} << 16;
  std::size_t k = 0;
  while (k + 8 <= n) {
    const std::size_t end = k + std::min((n - k) / 8, kSteps) * 8;
    __m256i red = _mm256_setzero_si256();
    __m256i green = _mm256_setzero_si256();
    __m256i blue = _mm256_setzero_si256();
    for (; k < end; k += 8) {
      const TChannels8 c = Split8(multipliers, from + k);
      blue = _mm256_add_epi32(blue, ScaleByMultiplier8(c.blue, c.multiplier));
      green = _mm256_add_epi32(green, ScaleByMultiplier8(c.green, c.multiplier));
      red = _mm256_add_epi32(red, ScaleByMultiplier8(c.red, c.multiplier));
    }
    sums.r += LaneSum(red);
    sums.g += LaneSum(green);
    sums.b += LaneSum(blue);
  }
  EqualizeSumSpanScalar(multipliers, from + k, n - k, sums);
}

// The same for sixteen pixels at once, on processors with AVX-512. The masked forms, every lane
// taken, start from zero where the plain ones start from an undefined value, which GCC 12 then
// reports as maybe used uninitialised.
constexpr __mmask16 kEveryLane = 0xFFFF;

__attribute__((target("avx512f"))) inline __m512i ShiftRight16(__m512i v, unsigned bits) {
  return _mm512_maskz_srli_epi32(kEveryLane, v, bits);
}

__attribute__((target("avx512f"))) inline __m512i ScaleByMultiplier16(__m512i v, __m512i multiplier) {
  const __m512i product = _mm512_mullo_epi32(v, multiplier);
  const __m512i odd = _mm512_and_si512(ShiftRight16(product, kMultiplierShift), _mm512_set1_epi32(1));
  const __m512i belowHalf = _mm512_set1_epi32((1 << (kMultiplierShift - 1)) - 1);
  const __m512i rounded =
      ShiftRight16(_mm512_add_epi32(_mm512_add_epi32(product, belowHalf), odd), kMultiplierShift);
  return _mm512_maskz_min_epu32(kEveryLane, rounded, _mm512_set1_epi32(255));
}

__attribute__((target("avx512f"))) std::uint64_t LaneSum16(__m512i lanes) {
  alignas(64) std::uint32_t values[16];
  _mm512_store_si512(values, lanes);
  std::uint64_t sum = 0;
  for (const std::uint32_t value : values) sum += value;
  return sum;
}

__attribute__((target("avx512f"))) void EqualizeSumSpanAvx512(const std::uint32_t* multipliers,
                                                              const TColor32* from, std::size_t n,
                                                              TChannelSums& sums) {
  constexpr std::size_t kSteps = std::size_t{1} << 16;
  const __m512i byte = _mm512_set1_epi32(0xFF);
  std::size_t k = 0;
  while (k + 16 <= n) {
    const std::size_t end = k + std::min((n - k) / 16, kSteps) * 16;
    __m512i red = _mm512_setzero_si512();
    __m512i green = _mm512_setzero_si512();
    __m512i blue = _mm512_setzero_si512();
    for (; k < end; k += 16) {
      const __m512i pixels = _mm512_loadu_si512(from + k);
      const __m512i b = _mm512_and_si512(pixels, byte);
      const __m512i g = _mm512_and_si512(ShiftRight16(pixels, 8), byte);
      const __m512i r = _mm512_and_si512(ShiftRight16(pixels, 16), byte);
      const __m512i brightness = _mm512_add_epi32(_mm512_add_epi32(b, g), r);
      const __m512i multiplier = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), kEveryLane, brightness,
                                                             multipliers, sizeof multipliers[0]);
      blue = _mm512_add_epi32(blue, ScaleByMultiplier16(b, multiplier));
      green = _mm512_add_epi32(green, ScaleByMultiplier16(g, multiplier));
      red = _mm512_add_epi32(red, ScaleByMultiplier16(r, multiplier));
    }
    sums.r += LaneSum16(red);
    sums.g += LaneSum16(green);
    sums.b += LaneSum16(blue);
  }
  EqualizeSumSpanAvx2(multipliers, from + k, n - k, sums);
}

// Which wide loops the processor runs; asked before the library's own initialisation may have run.
bool HaveAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

bool HaveAvx512() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f");
}

const bool kHaveAvx2 = HaveAvx2();
const bool kHaveAvx512 = kHaveAvx2 && HaveAvx512();

using TEqualizeSpan = void (*)(const std::uint32_t*, const TColor32*, TColor32*, std::size_t);
const TEqualizeSpan EqualizeSpan = kHaveAvx2 ? EqualizeSpanAvx2 : EqualizeSpanScalar;
const TEqualizeSumSpan EqualizeSumSpan = kHaveAvx512 ? EqualizeSumSpanAvx512
                                         : kHaveAvx2 ? EqualizeSumSpanAvx2
                                                     : EqualizeSumSpanScalar;
#else
const auto EqualizeSpan = EqualizeSpanScalar;
const TEqualizeSumSpan EqualizeSumSpan = EqualizeSumSpanScalar;
#endif

}  // namespace

std::vector<TEqualizeSumKernel> EqualizeSumKernels() {
  std::vector<TEqualizeSumKernel> kernels = {{"plain", EqualizeSumSpanScalar}};
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  if (kHaveAvx2) kernels.push_back({"AVX2", EqualizeSumSpanAvx2});
  if (kHaveAvx512) kernels.push_back({"AVX-512", EqualizeSumSpanAvx512});
#endif
  return kernels;
}

TEqualizer::TEqualizer() { MakeMultipliers(); }

void TEqualizer::SumPartialHistograms() {
  for (std::size_t level = 0; level < kBrightnessLevels; ++level) {
    std::int64_t sum = 0;
    for (const auto& partial : partial_) sum += partial[level];
    histogram_[level] = sum;
  }
}

// One factor per brightness level instead of a division per pixel.
void TEqualizer::MakeMultipliers() {
  for (std::uint32_t b = 0; b <= kMaxBrightness; ++b)
    multiplier_[b] = ChannelMultiplier(static_cast<std::uint32_t>(map_[b]) + 1, b + 1);
}

void TEqualizer::ClearHistogram() { std::memset(partial_, 0, sizeof partial_); }

void TEqualizer::AddToHistogram(const TColor32* pixels, std::size_t count) {
  std::size_t k = 0;
#if defined(__SSE2__)
  for (; k + 2 * kVectorPixels <= count; k += 2 * kVectorPixels) {
    const __m128i brightness = Brightness4(Load4(pixels + k));
    const __m128i next = Brightness4(Load4(pixels + k + kVectorPixels));
    ++partial_[0][_mm_extract_epi16(brightness, 0)];
    ++partial_[1][_mm_extract_epi16(brightness, 2)];
    ++partial_[2][_mm_extract_epi16(brightness, 4)];
    ++partial_[3][_mm_extract_epi16(brightness, 6)];
    ++partial_[4][_mm_extract_epi16(next, 0)];
    ++partial_[5][_mm_extract_epi16(next, 2)];
    ++partial_[6][_mm_extract_epi16(next, 4)];
    ++partial_[7][_mm_extract_epi16(next, 6)];
  }
#endif
  for (; k < count; ++k) ++partial_[k % kPartials][PixelBrightness(pixels[k])];
}

void TEqualizer::BuildHistogram(const TBitmap32& bitmap) {
  ClearHistogram();
  if (bitmap.IsEmpty()) return;
  AddToHistogram(bitmap.Bits(),
                 static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height()));
}

std::int32_t TEqualizer::BuildBrightnessMap() {
  SumPartialHistograms();
  std::int64_t total = 0;
  for (const std::int64_t counter : histogram_) total += counter;
  map_.fill(0);
  // Without pixels the step below would be 0 and the level would never stop rising.
  if (total == 0) {
    MakeMultipliers();
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
      map_[static_cast<std::size_t>(k)] = level;
      acc = acc + static_cast<double>(histogram_[static_cast<std::size_t>(k)]);
      ++k;
    }
  }
  const double scale = 768.0 / static_cast<double>(level);
  for (std::int32_t& entry : map_)
    entry = static_cast<std::int32_t>(RoundedProduct(static_cast<std::uint32_t>(entry), scale));
  MakeMultipliers();
  return level;
}

void TEqualizer::ApplyEqualization(TBitmap32& bitmap) const {
  if (bitmap.IsEmpty()) return;
  const auto pixels = static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height());
  EqualizeSpan(multiplier_.data(), bitmap.Bits(), bitmap.Bits(), pixels);
}

TSignature TEqualizer::ApplyEqualizationAndMakeSignature(TBitmap32& bitmap) const {
  TSignatureRows rows;
  rows.Start(bitmap.Width(), bitmap.Height());
  if (!bitmap.IsEmpty()) {
    // A row is summed right after it is rewritten, while it is still in cache: the pixels travel from
    // memory and back once instead of being read a second time for the signature.
    for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
      TColor32* row = bitmap.ScanLine(y);
      EqualizeSpan(multiplier_.data(), row, row, static_cast<std::size_t>(bitmap.Width()));
      rows.AddRow(y, row);
    }
  }
  return rows.Signature(bitmap.OuterColor);
}

void TEqualizer::AddEqualizedRows(const TBitmap32& bitmap, std::int32_t first, std::int32_t last,
                                  TSignatureRows& rows) const {
  // The rewritten pixels are summed as they are made and never written: the bitmap is only read.
  for (std::int32_t y = first; y < last; ++y) {
    const TColor32* row = bitmap.ScanLine(y);
    TChannelSums spans[4];
    for (int i = 0; i < 4; ++i) {
      if (rows.SpanLength(i) > 0)
        EqualizeSumSpan(multiplier_.data(), row + rows.SpanFirst(i),
                        static_cast<std::size_t>(rows.SpanLength(i)), spans[i]);
    }
    rows.AddRowSums(y, spans);
  }
}

TSignature TEqualizer::EqualizedSignature(const TBitmap32& bitmap) const {
  TSignatureRows rows;
  rows.Start(bitmap.Width(), bitmap.Height());
  if (!bitmap.IsEmpty()) AddEqualizedRows(bitmap, 0, bitmap.Height(), rows);
  return rows.Signature(bitmap.OuterColor);
}

void TEqualizer::EqualizeBrightness(TBitmap32& bitmap) {
  if (bitmap.IsEmpty()) return;
  BuildHistogram(bitmap);
  BuildBrightnessMap();
  ApplyEqualization(bitmap);
}

TSignature TEqualizer::EqualizeAndMakeSignature(TBitmap32& bitmap) {
  if (bitmap.IsEmpty()) return MakeSignature(bitmap);
  BuildHistogram(bitmap);
  BuildBrightnessMap();
  return ApplyEqualizationAndMakeSignature(bitmap);
}

const TBrightnessHistogram& TEqualizer::Histogram() {
  SumPartialHistograms();
  return histogram_;
}

}  // namespace velquin
