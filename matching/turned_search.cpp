#include "matching/turned_search.h"

#include <algorithm>

#include "matching/symmetry_key.h"
#include "matching/written_form.h"

namespace velquin {
namespace {

// The symmetry keys of rows of `width` values each: width / 16 values per Cell.
TLargeArray<std::uint8_t> KeysOf(const TLargeArray<std::uint8_t>& values, int width) {
  TLargeArray<std::uint8_t> keys(values.size());
  for (std::size_t at = 0; at < values.size(); at += static_cast<std::size_t>(width))
    MakeSymmetryKey(&values[at], width / kGrayCells, &keys[at]);
  return keys;
}

}  // namespace

TTurnedSearch::TTurnedSearch(TLargeArray<std::uint8_t> values, TRankedGray gray, std::int32_t margin,
                             TMatchTests tests)
    : margin_(margin),
      tests_(tests),
      values_(std::move(values)),
      gray_(tests.Gray ? std::move(gray) : TRankedGray{}),
      signatureKeys_(KeysOf(values_, kSignatureValues), margin, TCandidateGrid::TKind::kSignatureKey),
      grayKeys_(KeysOf(gray_.Values, kGrayCells), margin, TCandidateGrid::TKind::kGrayKey, gray_.Present) {}

void TTurnedSearch::Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) const {
  partners.clear();
  signatureKeys_.Probe(signatureKeys_.ValuesOf(rank), rank, colors, false, partners);
  if (tests_.Gray && gray_.Present[rank])
    grayKeys_.Probe(grayKeys_.ValuesOf(rank), rank, colors, false, partners);
  std::sort(partners.begin(), partners.end(),
            [](const TPartner& x, const TPartner& y) { return x.Rank < y.Rank; });
  partners.erase(std::unique(partners.begin(), partners.end(),
                             [](const TPartner& x, const TPartner& y) { return x.Rank == y.Rank; }),
                 partners.end());
  // A candidate found through either key is tested under every rule: its MaxDiff is the smallest
  // measure of all the tests that pass.
  const auto grayOf = [&](std::uint32_t r, TGrayGrid& grid) -> const TGrayGrid* {
    if (!tests_.Gray || !gray_.Present[r]) return nullptr;
    std::copy_n(&gray_.Values[std::size_t{r} * kGrayCells], kGrayCells, grid.Cells.begin());
    return &grid;
  };
  const TSignature signature = SignatureOfValues(&values_[std::size_t{rank} * kSignatureValues]);
  TGrayGrid grid;
  const TRuleRow row{&signature, grayOf(rank, grid)};
  std::size_t kept = 0;
  for (const TPartner& candidate : partners) {
    const TSignature other = SignatureOfValues(&values_[std::size_t{candidate.Rank} * kSignatureValues]);
    TGrayGrid otherGrid;
    std::int32_t maxDiff = 0;
    if (PairMatches(row, {&other, grayOf(candidate.Rank, otherGrid)}, margin_, colors, tests_, maxDiff))
      partners[kept++] = {candidate.Rank, maxDiff};
  }
  partners.resize(kept);
}

}  // namespace velquin
