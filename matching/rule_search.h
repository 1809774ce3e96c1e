// TRuleSearch: the partner search of rows in the written form under the Turned or Gray test
// (match_rules.h). It turns the probe, never the table: each row is looked up in the grid of the
// Signatures once as it stands and once with its Cells moved by each other symmetry, and in the grid of
// the gray grids likewise; a partner found by several lookups keeps its smallest measure.
#pragma once

#include <cstdint>
#include <vector>

#include "matching/candidate_grid.h"
#include "matching/match_rules.h"
#include "matching/partner_search.h"

namespace velquin {

class TRuleSearch : public TPartnerSearch {
 public:
  // values: kSignatureValues values per rank. REQUIRES: margin >= 0; gray holds every rank when
  // tests.Gray.
  TRuleSearch(std::vector<std::uint8_t> values, TRankedGray gray, std::int32_t margin, TMatchTests tests);

  void Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) const override;

 private:
  TMatchTests tests_;
  TCandidateGrid signatures_;
  std::vector<bool> hasGray_;
  TCandidateGrid grays_;
};

}  // namespace velquin
