#include "signature/signature_rows.h"

#include <algorithm>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velquin {
namespace {

// Adds the channels of n pixels. Summing a row is most of the signature's cost when it is gathered
// while a picture decodes, so eight pixels a step go through SSE2 (part of every x86-64 processor):
// masking keeps B and R, and shifting each 16-bit half right by 8 keeps G and A, as 16-bit fields that
// add up lane by lane. A field grows by at most 2 * 255 a step, so after 128 steps (65280) the fields
// are added into the 64-bit sums and start again. The scalar loop does the rest, and everything on
// other processors.
void AddSpan(const TColor32* p, std::size_t n, TChannelSums& sums) {
#if defined(__SSE2__)
  constexpr std::size_t kStepPixels = 8;
  constexpr std::size_t kSteps = 128;
  const __m128i blueRedMask = _mm_set1_epi32(0x00FF00FF);
  while (n >= kStepPixels) {
    const std::size_t steps = std::min(n / kStepPixels, kSteps);
    __m128i blueRed = _mm_setzero_si128();
    __m128i greenAlpha = _mm_setzero_si128();
    for (std::size_t step = 0; step < steps; ++step, p += kStepPixels) {
      const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4));
      blueRed = _mm_add_epi16(
          blueRed, _mm_add_epi16(_mm_and_si128(first, blueRedMask), _mm_and_si128(second, blueRedMask)));
      greenAlpha =
          _mm_add_epi16(greenAlpha, _mm_add_epi16(_mm_srli_epi16(first, 8), _mm_srli_epi16(second, 8)));
    }
    n -= steps * kStepPixels;
    alignas(16) std::uint16_t br[8], ga[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(br), blueRed);
    _mm_store_si128(reinterpret_cast<__m128i*>(ga), greenAlpha);
    for (int lane = 0; lane < 8; lane += 2) {
      sums.b += br[lane];
      sums.r += br[lane + 1];
      sums.g += ga[lane];
    }
  }
#endif
  for (std::size_t k = 0; k < n; ++k) {
    const TColor32 c = p[k];
    sums.r += (c >> 16) & 0xFF;
    sums.g += (c >> 8) & 0xFF;
    sums.b += c & 0xFF;
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
  std::fill(&cells_[0][0], &cells_[0][0] + 16, TChannelSums{});
  rowsAdded_ = 0;
}

void TSignatureRows::AddRow(std::int32_t y, const TColor32* row) {
  TChannelSums segment[4];
  for (int i = 0; i < 4; ++i) {
    if (SpanLength(i) > 0) AddSpan(row + colFirst_[i], static_cast<std::size_t>(SpanLength(i)), segment[i]);
  }
  AddRowSums(y, segment);
}

void TSignatureRows::AddRowSums(std::int32_t y, const TChannelSums (&segment)[4]) {
  // Row y lies in grid row y / ch, and also in the one above when it is their shared boundary.
  const std::int64_t j = y / cellHeight_;
  for (std::int64_t jj = (j > 0 && y == j * cellHeight_) ? j - 1 : j; jj <= j; ++jj) {
    for (int i = 0; i < 4; ++i) {
      TChannelSums& cell = cells_[i][jj];
      cell.r += segment[i].r;
      cell.g += segment[i].g;
      cell.b += segment[i].b;
    }
  }
  ++rowsAdded_;
}

void TSignatureRows::Merge(const TSignatureRows& other) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      cells_[i][j].r += other.cells_[i][j].r;
      cells_[i][j].g += other.cells_[i][j].g;
      cells_[i][j].b += other.cells_[i][j].b;
    }
  }
  rowsAdded_ += other.rowsAdded_;
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
      const TChannelSums& s = cells_[i][j];
      TRgb& cell = signature.Cell(i + 1, j + 1);
      cell.R = static_cast<std::int32_t>((static_cast<std::int64_t>(s.r) + outside * outer.R) / positions);
      cell.G = static_cast<std::int32_t>((static_cast<std::int64_t>(s.g) + outside * outer.G) / positions);
      cell.B = static_cast<std::int32_t>((static_cast<std::int64_t>(s.b) + outside * outer.B) / positions);
    }
  }
  return signature;
}

}  // namespace velquin
