#include "matching/rule_search.h"

#include <algorithm>

namespace velquin {

TRuleSearch::TRuleSearch(TLargeArray<std::uint8_t> values, TRankedGray gray, std::int32_t margin)
    : signatures_(std::move(values), margin),
      hasGray_(std::move(gray.Present)),
      grays_(std::move(gray.Values), margin, TCandidateGrid::TKind::kGray, hasGray_) {}

void TRuleSearch::Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) const {
  partners.clear();
  signatures_.Probe(signatures_.ValuesOf(rank), rank, colors, true, partners);
  if (hasGray_[rank]) grays_.Probe(grays_.ValuesOf(rank), rank, colors, false, partners);
  // Each partner once, with its smallest measure.
  std::sort(partners.begin(), partners.end(), [](const TPartner& x, const TPartner& y) {
    return x.Rank != y.Rank ? x.Rank < y.Rank : x.MaxDiff < y.MaxDiff;
  });
  partners.erase(std::unique(partners.begin(), partners.end(),
                             [](const TPartner& x, const TPartner& y) { return x.Rank == y.Rank; }),
                 partners.end());
}

}  // namespace velquin
