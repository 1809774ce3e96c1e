// TPartnerSearch: how the match engine finds the partners of one row; the candidate grid and the text
// walk are its two ways.
//
// A row is known by its rank, its place in BySignature order. The walk of a row's search along that
// index visits the rows of higher rank whose text does not exceed its high key (HighKey, text_walk.h);
// the partners of a row are the visited rows that match it (SignaturesMatch). In a full pass each pair
// of distinct rows that match is thus found once, from the row of lower rank. Under the Turned or
// Gray test (match_rules.h) a partner's first value may lie anywhere: the partners of a row are then
// all the rows of higher rank that match it by PairMatches.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/large_pages.h"

namespace velquin {

struct TPartner {
  std::uint32_t Rank = 0;
  std::int32_t MaxDiff = 0;  // as SignaturesMatch (or, under more tests, PairMatches) gives it
  bool operator==(const TPartner&) const = default;
};

// The gray grids of a pass by rank (signature/gray_grid.h): kGrayCells values per rank, and whether
// the rank holds one at all (Present; empty when none does).
struct TRankedGray {
  TLargeArray<std::uint8_t> Values;
  std::vector<bool> Present;
};

class TPartnerSearch {
 public:
  virtual ~TPartnerSearch() = default;
  // Sets partners to the partners of rank in the mode colors, in ascending rank. partners is reused
  // storage.
  virtual void Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) const = 0;
  // Tells the search that rank is searched soon, so that it can start fetching what that takes.
  virtual void Expect(std::uint32_t /*rank*/) const {}
};

}  // namespace velquin
