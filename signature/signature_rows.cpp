#include "signature/signature_rows.h"

#include <algorithm>
#include <cstddef>

namespace velquin {
namespace {

struct TSpanSums {
  std::uint64_t r = 0, g = 0, b = 0;
};

// Adds the channels of n pixels. 32-bit partial sums over blocks of 2^16 pixels cannot overflow and let
// the compiler vectorise the inner loop.
void AddSpan(const TColor32* p, std::size_t n, TSpanSums& sums) {
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

void TSignatureRows::Start(std::int32_t width, std::int32_t height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  const std::int64_t cw = (width_ + 3) / 4;
  cellHeight_ = (height_ + 3) / 4;
  for (int i = 0; i < 4; ++i) {
    colFirst_[i] = i * cw;
    colLast_[i] = std::min((i + 1) * cw, width_ - 1);
    rowFirst_[i] = i * cellHeight_;
    rowLast_[i] = std::min((i + 1) * cellHeight_, height_ - 1);
  }
  std::fill(&cells_[0][0], &cells_[0][0] + 16, TSums{});
  rowsAdded_ = 0;
}

void TSignatureRows::AddRow(std::int32_t y, const TColor32* row) {
  TSpanSums segment[4];
  for (int i = 0; i < 4; ++i) {
    if (colFirst_[i] <= colLast_[i])
      AddSpan(row + colFirst_[i], static_cast<std::size_t>(colLast_[i] - colFirst_[i] + 1), segment[i]);
  }
  // Row y lies in grid row y / ch, and also in the one above when it is their shared boundary.
  const std::int64_t j = y / cellHeight_;
  for (std::int64_t jj = (j > 0 && y == j * cellHeight_) ? j - 1 : j; jj <= j; ++jj) {
    for (int i = 0; i < 4; ++i) {
      TSums& cell = cells_[i][jj];
      cell.r += segment[i].r;
      cell.g += segment[i].g;
      cell.b += segment[i].b;
    }
  }
  ++rowsAdded_;
}

TSignature TSignatureRows::Signature(TColor32 outerColor) const {
  const std::int64_t cw = (width_ + 3) / 4;
  const std::int64_t positions = (cw + 1) * (cellHeight_ + 1);
  const TRgb outer = SplitColor(outerColor);
  TSignature signature;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      const std::int64_t inside = std::max<std::int64_t>(0, colLast_[i] - colFirst_[i] + 1) *
                                  std::max<std::int64_t>(0, rowLast_[j] - rowFirst_[j] + 1);
      const std::int64_t outside = positions - inside;
      const TSums& s = cells_[i][j];
      TRgb& cell = signature.Cell(i + 1, j + 1);
      cell.R = static_cast<std::int32_t>((static_cast<std::int64_t>(s.r) + outside * outer.R) / positions);
      cell.G = static_cast<std::int32_t>((static_cast<std::int64_t>(s.g) + outside * outer.G) / positions);
      cell.B = static_cast<std::int32_t>((static_cast<std::int64_t>(s.b) + outside * outer.B) / positions);
    }
  }
  return signature;
}

}  // namespace velquin
