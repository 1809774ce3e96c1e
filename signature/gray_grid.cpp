#include "signature/gray_grid.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "signature/luma.h"

namespace velquin {
namespace {

constexpr int kLumaLevels = 256;
// Neighbouring pixels often share a luma: counting them into different copies of a Cell's histogram
// keeps successive increments of one counter from waiting on each other.
constexpr int kCopies = 4;
constexpr int kFieldWidth = 4;

// Whether row or column v is counted: v mod 4 is 0 or 3.
inline bool Counted(std::int64_t v) { return ((v + 1) & 2) == 0; }

// The first row (column) of each grid row (column), and the end: bounds[k] = k * size div 4.
void SetBounds(std::int64_t (&bounds)[5], std::int64_t size) {
  for (int k = 0; k <= 4; ++k) bounds[k] = k * size / 4;
}

}  // namespace

TGrayGridRows::TGrayGridRows() : histograms_(std::size_t{kGrayCells} * kCopies * kLumaLevels, 0) {}

void TGrayGridRows::Start(std::int32_t width, std::int32_t height) {
  SetBounds(columns_, std::max(width, 0));
  SetBounds(rows_, std::max(height, 0));
  std::fill(histograms_.begin(), histograms_.end(), 0u);
}

void TGrayGridRows::AddRow(std::int32_t y, const TColor32* row) {
  if (!Counted(y)) return;
  int j = 0;
  while (y >= rows_[j + 1]) ++j;
  // A Cell holds fewer than 2^32 pixels: a bitmap of 2^36 pixels would not fit in memory.
  for (int i = 0; i < 4; ++i) {
    std::uint32_t* const counts = &histograms_[std::size_t(i * 4 + j) * kCopies * kLumaLevels];
    std::uint32_t* const second = counts + kLumaLevels;
    std::uint32_t* const third = second + kLumaLevels;
    std::uint32_t* const fourth = third + kLumaLevels;
    std::int64_t x = columns_[i];
    for (; x < columns_[i + 1] && x % 4 != 0; ++x) {
      if (Counted(x)) ++counts[Luma(row[x])];
    }
    // Whole groups of four columns: the first and the last of each.
#if defined(__SSE2__)
    for (; x + 8 <= columns_[i + 1]; x += 8) {
      const __m128i luma = Luma4(row + x);
      const __m128i next = Luma4(row + x + 4);
      ++counts[_mm_cvtsi128_si32(luma)];
      ++second[_mm_cvtsi128_si32(_mm_srli_si128(luma, 12))];
      ++third[_mm_cvtsi128_si32(next)];
      ++fourth[_mm_cvtsi128_si32(_mm_srli_si128(next, 12))];
    }
#endif
    for (; x + 4 <= columns_[i + 1]; x += 4) {
      ++counts[Luma(row[x])];
      ++second[Luma(row[x + 3])];
    }
    if (x < columns_[i + 1]) ++counts[Luma(row[x])];
  }
}

TGrayGrid TGrayGridRows::Grid() const {
  std::vector<std::uint32_t> cells(std::size_t{kGrayCells} * kLumaLevels, 0);
  for (std::size_t cell = 0; cell < kGrayCells; ++cell)
    for (std::size_t copy = 0; copy < kCopies; ++copy)
      for (std::size_t level = 0; level < kLumaLevels; ++level)
        cells[cell * kLumaLevels + level] += histograms_[(cell * kCopies + copy) * kLumaLevels + level];
  // The Cells' histograms give both the picture's and each Cell's sum of ranks. Twice each luma's
  // middle place: 2 * below + same, so that every rank stays a whole number.
  TGrayGrid grid;
  std::array<std::uint64_t, kLumaLevels> twiceRank{};
  std::uint64_t below = 0;
  for (int level = 0; level < kLumaLevels; ++level) {
    std::uint64_t same = 0;
    for (int cell = 0; cell < kGrayCells; ++cell) same += cells[std::size_t(cell) * kLumaLevels + level];
    twiceRank[level] = 2 * below + same;
    below += same;
  }
  const std::uint64_t pixels = below;
  for (int cell = 0; cell < kGrayCells; ++cell) {
    const std::uint32_t* counts = &cells[std::size_t(cell) * kLumaLevels];
    unsigned __int128 sum = 0;
    std::uint64_t inCell = 0;
    for (int level = 0; level < kLumaLevels; ++level) {
      sum += static_cast<unsigned __int128>(counts[level]) * twiceRank[level];
      inCell += counts[level];
    }
    if (inCell == 0) continue;
    grid.Cells[cell] =
        static_cast<std::uint8_t>(sum * 255 / (static_cast<unsigned __int128>(2 * pixels) * inCell));
  }
  return grid;
}

TGrayGrid MakeGrayGrid(const TBitmap32& bitmap) {
  // The ranks need every counted pixel's luma first: one luma histogram per Cell, then the ranks.
  TGrayGridRows rows;
  if (bitmap.IsEmpty()) return rows.Grid();
  rows.Start(bitmap.Width(), bitmap.Height());
  for (std::int32_t y = 0; y < bitmap.Height(); ++y) rows.AddRow(y, bitmap.ScanLine(y));
  return rows.Grid();
}

std::string GrayGridToText(const TGrayGrid& grid) {
  std::string text;
  text.reserve(kGrayTextLength);
  for (const std::uint8_t value : grid.Cells) {
    const std::string digits = std::to_string(value);
    text.append(kFieldWidth - digits.size(), ' ');
    text.append(digits);
  }
  return text;
}

bool ReadGrayText(std::string_view text, TGrayGrid& grid) {
  if (text.size() != kGrayTextLength) return false;
  TGrayGrid read;
  for (int cell = 0; cell < kGrayCells; ++cell) {
    const std::string_view field = text.substr(std::size_t(cell) * kFieldWidth, kFieldWidth);
    const std::size_t digits = field.find_first_not_of(' ');
    if (digits == std::string_view::npos || digits == 0) return false;
    unsigned value = 0;
    for (const char c : field.substr(digits)) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + unsigned(c - '0');
    }
    // The written form alone: no leading zeros, nothing above 255.
    if (value > 255 || (field[digits] == '0' && digits != kFieldWidth - 1)) return false;
    read.Cells[cell] = static_cast<std::uint8_t>(value);
  }
  grid = read;
  return true;
}

}  // namespace velquin
