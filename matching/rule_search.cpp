#include "matching/rule_search.h"

#include <algorithm>

#include "matching/grid_symmetry.h"
#include "matching/written_form.h"

namespace velquin {

TRuleSearch::TRuleSearch(std::vector<std::uint8_t> values, TRankedGray gray, std::int32_t margin,
                         TMatchTests tests)
    : tests_(tests),
      signatures_(std::move(values), margin),
      hasGray_(tests.Gray ? std::move(gray.Present) : std::vector<bool>{}),
      grays_(tests.Gray ? std::move(gray.Values) : std::vector<std::uint8_t>{}, margin,
             TCandidateGrid::TKind::kGray, hasGray_) {}

void TRuleSearch::Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) const {
  partners.clear();
  signatures_.Probe(signatures_.ValuesOf(rank), rank, colors, true, partners);
  const int symmetries = tests_.Turned ? kGridSymmetries : 1;
  std::uint8_t turned[kSignatureValues];
  for (int t = 1; t < symmetries; ++t) {
    MoveCells(t, signatures_.ValuesOf(rank), turned, 3);
    signatures_.Probe(turned, rank, colors, false, partners);
  }
  if (tests_.Gray && hasGray_[rank]) {
    for (int t = 0; t < symmetries; ++t) {
      MoveCells(t, grays_.ValuesOf(rank), turned, 1);
      grays_.Probe(turned, rank, colors, false, partners);
    }
  }
  // Each partner once, with its smallest measure.
  std::sort(partners.begin(), partners.end(), [](const TPartner& x, const TPartner& y) {
    return x.Rank != y.Rank ? x.Rank < y.Rank : x.MaxDiff < y.MaxDiff;
  });
  partners.erase(std::unique(partners.begin(), partners.end(),
                             [](const TPartner& x, const TPartner& y) { return x.Rank == y.Rank; }),
                 partners.end());
}

}  // namespace velquin
