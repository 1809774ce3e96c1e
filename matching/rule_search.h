// TRuleSearch: the partner search of rows in the written form under the Gray test alone
// (match_rules.h; under Turned, turned_search.h). Each row is looked up in the grid of the Signatures
// as it stands and in the grid of the gray grids; a partner found by both lookups keeps the smaller
// measure.
#pragma once

#include <cstdint>
#include <vector>

#include "matching/candidate_grid.h"
#include "matching/match_rules.h"
#include "matching/partner_search.h"

namespace velquin {

class TRuleSearch : public TPartnerSearch {
 public:
  // values: kSignatureValues values per rank. REQUIRES: margin >= 0; gray holds every rank.
  TRuleSearch(TLargeArray<std::uint8_t> values, TRankedGray gray, std::int32_t margin);

  void Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) const override;

 private:
  TCandidateGrid signatures_;
  std::vector<bool> hasGray_;
  TCandidateGrid grays_;
};

}  // namespace velquin
