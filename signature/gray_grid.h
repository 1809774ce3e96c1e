// TGrayGrid: the luma grid stored beside each picture's Signature, through which a grayscale copy of a
// colour picture is found. The Signature cannot find it: its equalisation ranks R + G + B, which turning
// a picture gray changes, and its three channels differ from the gray copy's equal ones.
//
// The rule, fixed down to its rounding because stored grids are compared with fresh ones:
// - Luma of a pixel: Y = (19595 R + 38470 G + 7471 B + 32768) div 65536, 0..255: the weights 0.299,
//   0.587 and 0.114 in 16-bit fixed point, summing to exactly 1, so a gray pixel's luma is its value. A
//   gray copy made with these weights keeps every pixel's luma; one made with other weights keeps
//   nearly the order of the lumas.
// - Pixels counted: those at (x, y) with x mod 4 and y mod 4 each 0 or 3, a quarter of the picture
//   spread evenly over it; N is their number. Turning or mirroring a picture whose sides divide by 4
//   maps this pattern onto itself. (Every pixel would cost a first scan over a tenth more.)
// - Rank of a luma: its counted pixels' middle place among all counted pixels ordered by luma, as a
//   fraction: (below + same / 2) / N, where below counts the pixels of a smaller luma and same those of
//   that luma. Ranks are what equalising on lumas gives, and they survive any change of brightness or
//   contrast that keeps the order of the lumas.
// - Cells: the picture is cut into a 4 x 4 grid of disjoint Cells; grid column i (0..3) holds the
//   columns x with i * W div 4 <= x < (i + 1) * W div 4, grid row j the rows y alike (H for W). With W
//   and H divisible by 4 a picture turned or mirrored has exactly the grid turned or mirrored.
// - Value of a Cell: 255 * (the sum of its counted pixels' ranks) / (their number), rounded down; 0 for
//   a Cell without counted pixels (in pictures a few pixels wide or high) and for an empty picture.
// - Order of the 16 values as in a Signature: grid column outer, grid row inner (Cells[i * 4 + j]).
//
// Gray text, its stored form: 16 fields of 4 characters, the value right-aligned with blanks, as
// SignatureToText writes each value (64 characters).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/bitmap32.h"

namespace velquin {

inline constexpr int kGrayCells = 16;
inline constexpr int kGrayTextLength = 4 * kGrayCells;

struct TGrayGrid {
  std::array<std::uint8_t, kGrayCells> Cells{};
  bool operator==(const TGrayGrid&) const = default;
};

// The grid of the bitmap's pixels (their alpha ignored).
TGrayGrid MakeGrayGrid(const TBitmap32& bitmap);

// MakeGrayGrid gathered one pixel row at a time, so that a caller can count each row while it is still
// in cache (as a decoder delivers it) instead of reading the finished bitmap again.
class TGrayGridRows {
 public:
  TGrayGridRows();
  // Starts over for a picture of width x height pixels (sizes below 1 mean no pixels).
  void Start(std::int32_t width, std::int32_t height);
  // REQUIRES: 0 <= y < height; row holds the width pixels of row y. Rows may come in any order, each
  // once; rows that hold no counted pixels are passed over at once.
  void AddRow(std::int32_t y, const TColor32* row);
  // Equals MakeGrayGrid of the picture whose rows were each added once.
  TGrayGrid Grid() const;

 private:
  std::int64_t columns_[5] = {};
  std::int64_t rows_[5] = {};
  // Luma histograms, four copies per Cell (Cells[i * 4 + j]) that Grid adds up, kept for the next
  // picture: no allocation per picture.
  std::vector<std::uint32_t> histograms_;
};

std::string GrayGridToText(const TGrayGrid& grid);
// Returns true iff text is a Gray text as GrayGridToText writes it, putting its values in grid. Any
// other text (an empty one: a row stored before grids were kept) holds no grid.
bool ReadGrayText(std::string_view text, TGrayGrid& grid);

}  // namespace velquin
