// TPartnerSearch: how the match engine finds the partners of one row; the candidate grid and the text
// walk are its two ways.
//
// A row is known by its rank, its place in BySignature order. The walk of a row's search along that
// index visits the rows of higher rank whose text does not exceed its high key (HighKey, text_walk.h);
// the partners of a row are the visited rows that match it (SignaturesMatch). In a full pass each pair
// of distinct rows that match is thus found once, from the row of lower rank.
#pragma once

#include <cstdint>
#include <vector>

namespace velquin {

struct TPartner {
  std::uint32_t Rank = 0;
  std::int32_t MaxDiff = 0;  // as SignaturesMatch gives it
  bool operator==(const TPartner&) const = default;
};

class TPartnerSearch {
 public:
  virtual ~TPartnerSearch() = default;
  // Sets partners to the partners of rank in the mode colors, in ascending rank. partners is reused
  // storage.
  virtual void Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) const = 0;
};

}  // namespace velquin
