// TTurnedSearch: the partner search of rows in the written form under the Turned test, with or without
// the Gray test (match_rules.h). Rather than looking a row up once per symmetry, it looks up its
// symmetry key (symmetry_key.h) once in a grid of the Signatures' keys, and with Gray its gray grid's
// key in a grid of the gray grids' keys: every row that matches it under any symmetry is among those
// found. PairMatches then decides on each of them and gives its MaxDiff.
#pragma once

#include <cstdint>
#include <vector>

#include "matching/candidate_grid.h"
#include "matching/match_rules.h"
#include "matching/partner_search.h"

namespace velquin {

class TTurnedSearch : public TPartnerSearch {
 public:
  // values: kSignatureValues values per rank. REQUIRES: margin >= 0; tests.Turned; gray holds every
  // rank when tests.Gray.
  TTurnedSearch(TLargeArray<std::uint8_t> values, TRankedGray gray, std::int32_t margin, TMatchTests tests);

  void Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) const override;

 private:
  std::int32_t margin_;
  TMatchTests tests_;
  TLargeArray<std::uint8_t> values_;
  TRankedGray gray_;  // empty unless tests.Gray
  TCandidateGrid signatureKeys_;
  TCandidateGrid grayKeys_;
};

}  // namespace velquin
