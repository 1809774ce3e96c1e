#include "signature/signature.h"

#include <algorithm>
#include <charconv>
#include <cstddef>

#include "signature/channel_multiplier.h"
#include "signature/convert.h"
#include "signature/signature_rows.h"

namespace velquin {
namespace {

std::int32_t ScaleChannel(std::int32_t v, double factor) {
  return static_cast<std::int32_t>(
      std::min<std::uint64_t>(RoundedProduct(static_cast<std::uint32_t>(v), factor), 255));
}

}  // namespace

TRgb SplitColor(TColor32 color) {
  return {static_cast<std::int32_t>((color >> 16) & 0xFF), static_cast<std::int32_t>((color >> 8) & 0xFF),
          static_cast<std::int32_t>(color & 0xFF)};
}

TColor32 MakeColor(std::int32_t r, std::int32_t g, std::int32_t b) {
  return static_cast<TColor32>(b) + static_cast<TColor32>(g) * 256u + static_cast<TColor32>(r) * 65536u;
}

std::int32_t Brightness(TColor32 color) {
  return static_cast<std::int32_t>(((color >> 16) & 0xFF) + ((color >> 8) & 0xFF) + (color & 0xFF));
}

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
