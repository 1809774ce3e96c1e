// TSignature: the colour signature of a picture, its text form, and the brightness equalisation that may
// precede it.
//
// Signature text: exactly 192 characters, 48 fields of 4 characters, one per integer in the stored order
// (Cell by Cell, R, G, B within a Cell). Each field is the decimal value right-aligned and filled on the
// left with blanks; computed values are 0..255, so every field starts with a blank ("   7", " 255").
// Stored texts are compared with freshly computed ones, so every result here is fixed down to its rounding.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "imaging/bitmap32.h"

namespace velquin {

struct TRgb {
  std::int32_t R = 0;
  std::int32_t G = 0;
  std::int32_t B = 0;
  bool operator==(const TRgb&) const = default;
};

// Average colours of a 4 x 4 grid. Cell (i, j), i = grid column 1..4 from the left, j = grid row 1..4
// from the top, is Cells[(i - 1) * 4 + (j - 1)]: the first four Cells are the left column, top to bottom.
struct TSignature {
  std::array<TRgb, 16> Cells{};

  TRgb& Cell(int i, int j) { return Cells[static_cast<std::size_t>((i - 1) * 4 + (j - 1))]; }
  const TRgb& Cell(int i, int j) const { return Cells[static_cast<std::size_t>((i - 1) * 4 + (j - 1))]; }
  bool operator==(const TSignature&) const = default;
};

inline constexpr int kSignatureTextLength = 192;
inline constexpr int kBrightnessLevels = 769;

// Colour helpers; the alpha byte is ignored on input and 0 on output.
TRgb SplitColor(TColor32 color);
// B + G * 256 + R * 65536; the inputs are not masked (callers pass 0..255).
TColor32 MakeColor(std::int32_t r, std::int32_t g, std::int32_t b);
// R + G + B, 0..765.
std::int32_t Brightness(TColor32 color);
// Each channel v becomes the exact product v * factor rounded to nearest, ties to even, capped at 255.
// REQUIRES: factor is finite and not negative.
TColor32 ScaleColor(TColor32 color, double factor);

// Cell (i, j) averages the (cw + 1) x (ch + 1) positions x = (i - 1) * cw .. i * cw,
// y = (j - 1) * ch .. j * ch, with cw = ceil(Width / 4) and ch = ceil(Height / 4); positions outside the
// bitmap count as OuterColor. Each channel sum is divided by the position count, truncating.
TSignature MakeSignature(const TBitmap32& bitmap);

// Equalises the brightness distribution in place: BuildHistogram, BuildBrightnessMap, ApplyEqualization.
// Every rewritten pixel has alpha 0. A bitmap without pixels is left as it is. No notification fires.
void EqualizeBrightness(TBitmap32& bitmap);

// The brightness histogram and map are module tables reused for every picture: one picture at a time,
// on one thread.
using TBrightnessHistogram = std::array<std::int64_t, kBrightnessLevels>;
using TBrightnessMap = std::array<std::int32_t, kBrightnessLevels>;

// Fills the brightness histogram: counter[Brightness(p)] for every pixel p.
void BuildHistogram(const TBitmap32& bitmap);
// The same in steps, for pixels counted as they arrive (TBitmap32::OnRowDrawn) while still in cache:
// ClearHistogram, then AddToHistogram over every pixel once, equals BuildHistogram.
void ClearHistogram();
void AddToHistogram(const TColor32* pixels, std::size_t count);
// Fills the brightness map from the histogram (map[k]: pixels below brightness k, in steps of
// pixels / 768, stretched to end near 768), and from it the factors of ApplyEqualization, and returns
// the final level L before stretching (767 or 768). An empty histogram leaves the map all zeros and
// returns 0.
std::int32_t BuildBrightnessMap();
// Replaces every pixel p of brightness b by ScaleColor(p, (map[b] + 1) / (b + 1)).
void ApplyEqualization(TBitmap32& bitmap);
// Fused steps for callers that sign many pictures. Each returns what the separate steps return and
// leaves the same pixels and tables, but rewrites and sums each row in one go, reading the pixels from
// memory once less.
// ApplyEqualization(bitmap), then MakeSignature(bitmap).
TSignature ApplyEqualizationAndMakeSignature(TBitmap32& bitmap);
// What ApplyEqualizationAndMakeSignature returns, leaving the bitmap as it is: for callers that need
// only the signature. Writes no pixel back to memory. AddEqualizedRows (signature_rows.h) does it in
// parts.
TSignature EqualizedSignature(const TBitmap32& bitmap);
// EqualizeBrightness(bitmap), then MakeSignature(bitmap).
TSignature EqualizeAndMakeSignature(TBitmap32& bitmap);

const TBrightnessHistogram& BrightnessHistogram();
const TBrightnessMap& BrightnessMap();

std::string SignatureToText(const TSignature& signature);
// Reads 48 fields of 4 characters (fewer at the end of a short text, characters after the 192nd are
// ignored) with StrToInt. Throws EConvertError("'<field>' is not a valid integer value") on the first
// invalid or missing field.
TSignature TextToSignature(std::string_view text);

}  // namespace velquin
