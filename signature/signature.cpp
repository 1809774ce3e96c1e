#include "signature/signature.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <limits>

#include "signature/convert.h"

namespace velquin {
namespace {

constexpr int kMaxBrightness = 765;

// Module tables, reused for every picture (no per-picture allocation).
TBrightnessHistogram gHistogram{};
TBrightnessMap gMap{};
// gScaled[b][v]: channel value v of a pixel of brightness b after equalisation. Only v <= min(b, 255)
// occurs, since a channel never exceeds the brightness it is part of.
std::uint8_t gScaled[kMaxBrightness + 1][256];

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

struct TChannelSums {
  std::uint64_t r = 0, g = 0, b = 0;
};

// Adds the channels of n pixels. 32-bit partial sums over blocks of 2^16 pixels cannot overflow and let
// the compiler vectorise the inner loop.
void AddSpan(const TColor32* p, std::size_t n, TChannelSums& sums) {
  while (n > 0) {
    const std::size_t block = std::min<std::size_t>(n, std::size_t{1} << 16);
    std::uint32_t r = 0, g = 0, b = 0;
    for (std::size_t k = 0; k < block; ++k) {
      const TColor32 c = p[k];
      r += (c >> 16) & 0xFF;
      g += (c >> 8) & 0xFF;
      b += c & 0xFF;
    }
    sums.r += r;
    sums.g += g;
    sums.b += b;
    p += block;
    n -= block;
  }
}

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
  // Reads the pixel rows directly; the result equals averaging ReadPixel over every position of each Cell.
  const std::int64_t width = bitmap.Width();
  const std::int64_t height = bitmap.Height();
  const std::int64_t cw = (width + 3) / 4;
  const std::int64_t ch = (height + 3) / 4;

  // The part of grid column (row) i inside the bitmap: [first, last], empty when first > last.
  std::int64_t colFirst[4], colLast[4], rowFirst[4], rowLast[4];
  for (int i = 0; i < 4; ++i) {
    colFirst[i] = i * cw;
    colLast[i] = std::min((i + 1) * cw, width - 1);
    rowFirst[i] = i * ch;
    rowLast[i] = std::min((i + 1) * ch, height - 1);
  }

  TChannelSums cellSums[4][4];  // [grid column][grid row]
  if (!bitmap.IsEmpty()) {
    for (std::int64_t y = 0; y < height; ++y) {
      const TColor32* row = bitmap.ScanLine(static_cast<std::int32_t>(y));
      TChannelSums segment[4];
      for (int i = 0; i < 4; ++i) {
        if (colFirst[i] <= colLast[i])
          AddSpan(row + colFirst[i], static_cast<std::size_t>(colLast[i] - colFirst[i] + 1), segment[i]);
      }
      // Row y lies in grid row y / ch, and also in the one above when it is their shared boundary.
      const std::int64_t j = y / ch;
      for (std::int64_t jj = (j > 0 && y == j * ch) ? j - 1 : j; jj <= j; ++jj) {
        for (int i = 0; i < 4; ++i) {
          TChannelSums& cell = cellSums[i][jj];
          cell.r += segment[i].r;
          cell.g += segment[i].g;
          cell.b += segment[i].b;
        }
      }
    }
  }

  const std::int64_t positions = (cw + 1) * (ch + 1);
  const TRgb outer = SplitColor(bitmap.OuterColor);
  TSignature signature;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      const std::int64_t inside = std::max<std::int64_t>(0, colLast[i] - colFirst[i] + 1) *
                                  std::max<std::int64_t>(0, rowLast[j] - rowFirst[j] + 1);
      const std::int64_t outside = positions - inside;
      const TChannelSums& s = cellSums[i][j];
      TRgb& cell = signature.Cell(i + 1, j + 1);
      cell.R = static_cast<std::int32_t>((static_cast<std::int64_t>(s.r) + outside * outer.R) / positions);
      cell.G = static_cast<std::int32_t>((static_cast<std::int64_t>(s.g) + outside * outer.G) / positions);
      cell.B = static_cast<std::int32_t>((static_cast<std::int64_t>(s.b) + outside * outer.B) / positions);
    }
  }
  return signature;
}

void BuildHistogram(const TBitmap32& bitmap) {
  gHistogram.fill(0);
  if (bitmap.IsEmpty()) return;
  // Neighbouring pixels often share a brightness; counting into four tables in turn keeps successive
  // increments of one counter from waiting on each other.
  static std::int64_t partial[4][kBrightnessLevels];
  std::memset(partial, 0, sizeof partial);
  const std::size_t count =
      static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height());
  const TColor32* p = bitmap.Bits();
  std::size_t k = 0;
  for (; k + 4 <= count; k += 4) {
    ++partial[0][PixelBrightness(p[k])];
    ++partial[1][PixelBrightness(p[k + 1])];
    ++partial[2][PixelBrightness(p[k + 2])];
    ++partial[3][PixelBrightness(p[k + 3])];
  }
  for (; k < count; ++k) ++partial[0][PixelBrightness(p[k])];
  for (std::size_t level = 0; level < kBrightnessLevels; ++level)
    gHistogram[level] = partial[0][level] + partial[1][level] + partial[2][level] + partial[3][level];
}

std::int32_t BuildBrightnessMap() {
  std::int64_t total = 0;
  for (const std::int64_t counter : gHistogram) total += counter;
  gMap.fill(0);
  // Without pixels the step below would be 0 and the level would never stop rising.
  if (total == 0) return 0;

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
  return level;
}

void ApplyEqualization(TBitmap32& bitmap) {
  if (bitmap.IsEmpty()) return;
  // One factor per brightness level instead of a division per pixel; same doubles, same rounding.
  for (int b = 0; b <= kMaxBrightness; ++b) {
    const double factor =
        static_cast<double>(gMap[static_cast<std::size_t>(b)] + 1) / static_cast<double>(b + 1);
    const int maxChannel = std::min(b, 255);
    for (int v = 0; v <= maxChannel; ++v) gScaled[b][v] = static_cast<std::uint8_t>(ScaleChannel(v, factor));
  }
  const std::size_t count =
      static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height());
  TColor32* p = bitmap.Bits();
  for (std::size_t k = 0; k < count; ++k) {
    const TColor32 c = p[k];
    const std::uint8_t* scaled = gScaled[PixelBrightness(c)];
    p[k] = TColor32{scaled[c & 0xFF]} | TColor32{scaled[(c >> 8) & 0xFF]} << 8 |
           TColor32{scaled[(c >> 16) & 0xFF]} << 16;
  }
}

void EqualizeBrightness(TBitmap32& bitmap) {
  if (bitmap.IsEmpty()) return;
  BuildHistogram(bitmap);
  BuildBrightnessMap();
  ApplyEqualization(bitmap);
}

const TBrightnessHistogram& BrightnessHistogram() { return gHistogram; }
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
