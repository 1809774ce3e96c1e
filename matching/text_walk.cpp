#include "matching/text_walk.h"

#include <algorithm>

#include "matching/signatures_match.h"
#include "platform/text_utils.h"

namespace velquin {

std::string HighKey(std::int32_t firstValue, std::int32_t margin) {
  return PadLeft(std::to_string(static_cast<std::int64_t>(firstValue) + margin + 1), 4);
}

TTextWalk::TTextWalk(std::vector<std::string> texts, std::int32_t margin, TMatchTests tests, TRankedGray gray)
    : margin_(margin), tests_(tests), texts_(std::move(texts)) {
  signatures_.reserve(texts_.size());
  for (const std::string& text : texts_) signatures_.push_back(TextToSignature(text));
  if (!tests_.Gray) return;
  hasGray_ = std::move(gray.Present);
  grays_.resize(texts_.size());
  for (std::size_t rank = 0; rank < grays_.size(); ++rank)
    std::copy_n(&gray.Values[rank * kGrayCells], kGrayCells, grays_[rank].Cells.begin());
}

void TTextWalk::Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) const {
  partners.clear();
  const TSignature& own = signatures_[rank];
  if (tests_.Any()) {
    const auto rowOf = [&](std::uint32_t r) {
      return TRuleRow{&signatures_[r], tests_.Gray && hasGray_[r] ? &grays_[r] : nullptr};
    };
    for (std::uint32_t other = rank + 1; other < texts_.size(); ++other) {
      std::int32_t maxDiff = 0;
      if (PairMatches(rowOf(rank), rowOf(other), margin_, colors, tests_, maxDiff))
        partners.push_back({other, maxDiff});
    }
    return;
  }
  const std::string highKey = HighKey(own.Cells[0].R, margin_);
  for (std::uint32_t other = rank + 1; other < texts_.size() && texts_[other] <= highKey; ++other) {
    std::int32_t maxDiff = 0;
    if (SignaturesMatch(own, signatures_[other], margin_, colors, maxDiff))
      partners.push_back({other, maxDiff});
  }
}

}  // namespace velquin
