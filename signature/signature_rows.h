// TSignatureRows: the Cell sums of MakeSignature gathered one pixel row at a time, so that a caller
// can add each row while it is still in cache (as a decoder delivers it, or right after rewriting it)
// instead of reading the whole bitmap again.
#pragma once

#include <algorithm>
#include <cstdint>

#include "imaging/bitmap32.h"
#include "signature/signature.h"

namespace velquin {

// The red, green and blue sums of a run of pixels.
struct TChannelSums {
  std::uint64_t r = 0, g = 0, b = 0;
};

class TSignatureRows {
 public:
  // Starts over for a bitmap of width x height pixels (sizes below 1 mean no pixels).
  void Start(std::int32_t width, std::int32_t height);
  // REQUIRES: 0 <= y < height; row holds the width pixels of row y. Rows may come in any order.
  void AddRow(std::int32_t y, const TColor32* row);
  // The columns of grid column i (0..3) inside the bitmap, for callers that sum a row's pixels
  // themselves: SpanFirst(i) .. SpanFirst(i) + SpanLength(i) - 1. Neighbouring spans share their
  // boundary column.
  std::int64_t SpanFirst(int i) const { return colFirst_[i]; }
  std::int64_t SpanLength(int i) const { return std::max<std::int64_t>(0, colLast_[i] - colFirst_[i] + 1); }
  // AddRow for a row whose span sums the caller made: spans[i] holds those of span i.
  void AddRowSums(std::int32_t y, const TChannelSums (&spans)[4]);
  // Adds the rows other holds. REQUIRES: other was started for the same size.
  void Merge(const TSignatureRows& other);
  // Rows added since Start, counting repeats.
  std::int64_t RowsAdded() const { return rowsAdded_; }
  // Equals MakeSignature of a width x height bitmap with this OuterColor whose rows were each added
  // exactly once.
  TSignature Signature(TColor32 outerColor) const;

 private:
  std::int64_t width_ = 0;
  std::int64_t height_ = 0;
  std::int64_t cellHeight_ = 0;
  // Columns (rows) of grid column (row) i inside the bitmap: [first, last], empty when first > last.
  std::int64_t colFirst_[4] = {}, colLast_[4] = {}, rowFirst_[4] = {}, rowLast_[4] = {};
  TChannelSums cells_[4][4] = {};  // [grid column][grid row]
  std::int64_t rowsAdded_ = 0;
};

}  // namespace velquin
