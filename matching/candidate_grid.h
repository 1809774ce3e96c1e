// TCandidateGrid: the partner search of rows in the written form (written_form.h), which finds each
// row's candidates without walking the first-value window row by row.
//
// Two signatures can match only when each of their 48 values differs by at most the Margin (in
// cell-sum mode the sum of a Cell's three differences bounds each of them). Rows are placed in a grid
// over their first D values divided by Margin + 1; a partner lies in one of the 3^D cells around a
// row's own. Each cell's entries are stored together and carry a row's first values, so most
// candidates are refused without leaving the cell. In the written form the high key test follows from
// the Margin test on the first value, so the grid needs no texts.
#pragma once

#include <cstdint>
#include <vector>

#include "matching/partner_search.h"

namespace velquin {

class TCandidateGrid : public TPartnerSearch {
 public:
  // values: kSignatureValues values per rank, rank after rank. REQUIRES: margin >= 0.
  TCandidateGrid(std::vector<std::uint8_t> values, std::int32_t margin);

  void Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) const override;

 private:
  // The values a grid entry carries for a first test, which few other rows pass: two entries fill one
  // 16-byte register, and small entries keep the cells scanned for a row in few cache lines.
  static constexpr int kHeadValues = 8;
  struct TGridEntry {
    std::uint8_t Head[kHeadValues];
  };

  std::uint32_t CellOf(const std::uint8_t* values) const;
  // Returns true iff the values of a and b lie within the Margin in the mode colors, with the pair's
  // MaxDiff in maxDiff.
  bool Within(const std::uint8_t* a, const std::uint8_t* b, bool colors, std::int32_t& maxDiff) const;

  std::int32_t margin_;
  int dims_ = 0;
  std::uint32_t side_ = 0;   // cells per dimension
  std::uint32_t width_ = 0;  // Margin + 1 (at most 256): the values one cell spans
  // Cell c holds the entries [cellStart_[c], cellStart_[c + 1]) of entries_, the ranks rankOfEntry_
  // of the same places; values_ holds each rank's values.
  std::vector<std::uint32_t> cellStart_;
  std::vector<TGridEntry> entries_;
  std::vector<std::uint32_t> rankOfEntry_;
  std::vector<std::uint8_t> values_;
};

}  // namespace velquin
