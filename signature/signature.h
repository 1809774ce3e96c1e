// TSignature: the colour signature of a picture and its text form. The brightness equalisation that
// may precede it is TEqualizer (equalizer.h).
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

std::string SignatureToText(const TSignature& signature);
// Reads 48 fields of 4 characters (fewer at the end of a short text, characters after the 192nd are
// ignored) with StrToInt. Throws EConvertError("'<field>' is not a valid integer value") on the first
// invalid or missing field.
TSignature TextToSignature(std::string_view text);

}  // namespace velquin
