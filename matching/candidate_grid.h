// TCandidateGrid: the partner search of rows in the written form (written_form.h), which finds each
// row's candidates without walking the first-value window row by row.
//
// Two signatures can match only when each of their 48 values differs by at most the Margin (in
// cell-sum mode the sum of a Cell's three differences bounds each of them). Rows are placed in a grid over
// their first D values, D growing with the rows (the shape is explained in candidate_grid.cpp); a
// partner lies in the cells its values' reach, Margin either side, falls in. Each cell's entries are
// stored together and carry a row's first values, so most candidates are refused without leaving the
// cell. In the written form the high key test follows from the Margin test on the first value, so the
// grid needs no texts.
//
// The same grid serves the gray grids (match_rules.h), 16 values per rank, and the symmetry keys of
// either (symmetry_key.h), which a row matching another under any symmetry lies within the Margin of.
#pragma once

#include <cstdint>
#include <vector>

#include "matching/partner_search.h"
#include "platform/large_pages.h"

namespace velquin {

class TCandidateGrid : public TPartnerSearch {
 public:
  // The grid's dimensions at most: one per value of an entry's head.
  static constexpr int kMaxDims = 8;

  // What a rank's values are, and so how two ranks are compared.
  enum class TKind {
    kSignature,     // kSignatureValues values, compared as SignaturesMatch does
    kGray,          // kGrayCells values, compared as GrayGridsMatch does
    kSignatureKey,  // kSignatureValues values, each within the Margin in either mode
    kGrayKey,       // kGrayCells values, compared as kGray
  };

  // values: the kind's values per rank, rank after rank. present (when not empty): whether each rank
  // takes part; others are never found. REQUIRES: margin >= 0.
  TCandidateGrid(TLargeArray<std::uint8_t> values, std::int32_t margin, TKind kind = TKind::kSignature,
                 const std::vector<bool>& present = {});

  // Partners of rank among the Signatures, as they stand. REQUIRES: kind kSignature.
  void Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) const override;
  void Expect(std::uint32_t rank) const override;
  // Appends to partners every rank above after whose values lie within the Margin of probe (the kind's
  // number of values), in no particular order. ownRow: probe is the values of after itself, whose
  // partners follow it in text order (kind kSignature): the cells below its first value are skipped.
  void Probe(const std::uint8_t* probe, std::uint32_t after, bool colors, bool ownRow,
             std::vector<TPartner>& partners) const;
  const std::uint8_t* ValuesOf(std::uint32_t rank) const {
    return &values_[std::size_t{rank} * valuesPerRank_];
  }

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
  TKind kind_;
  int valuesPerRank_;  // values per rank
  int dims_ = 0;
  // The cell of each value in each dimension: a lookup finds its cells without a division.
  std::uint8_t cellOfValue_[kMaxDims][UINT8_MAX + 1] = {};
  std::uint32_t side_[kMaxDims] = {};  // cells per dimension
  // Cell c holds the entries [cellStart_[c], cellStart_[c + 1]) of entries_, the ranks rankOfEntry_
  // of the same places; values_ holds each rank's values.
  TLargeArray<std::uint32_t> cellStart_;
  TLargeArray<TGridEntry> entries_;
  TLargeArray<std::uint32_t> rankOfEntry_;
  TLargeArray<std::uint8_t> values_;
};

}  // namespace velquin
