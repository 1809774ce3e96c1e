// TTextWalk: the partner search of rows held as texts, walking the rows in rank order as the search
// along BySignature does and stopping at the high key. It serves any text TextToSignature reads,
// including those outside the written form, whose text order is not the order of their values. Under
// the Turned or Gray test every row of higher rank is compared, by PairMatches.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "matching/match_rules.h"
#include "matching/partner_search.h"
#include "signature/signature.h"

namespace velquin {

// The text after which the walk for a row of first value v stops: v + margin + 1, left-padded to 4.
std::string HighKey(std::int32_t firstValue, std::int32_t margin);

class TTextWalk : public TPartnerSearch {
 public:
  // texts: the Signature texts by rank, in text order; gray: their gray grids, read when tests.Gray.
  // Throws the conversion error of a text that TextToSignature cannot read.
  TTextWalk(std::vector<std::string> texts, std::int32_t margin, TMatchTests tests = {},
            TRankedGray gray = {});

  void Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) const override;

 private:
  std::int32_t margin_;
  TMatchTests tests_;
  std::vector<std::string> texts_;
  std::vector<TSignature> signatures_;
  std::vector<TGrayGrid> grays_;
  std::vector<bool> hasGray_;
};

}  // namespace velquin
