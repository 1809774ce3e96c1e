#include "matching/pairs_ahead.h"

#include <algorithm>

namespace velquin {

TPairsAhead::TPairsAhead(const TPartnerSearch& search, std::vector<std::uint32_t> order,
                         std::size_t blockRows, std::size_t keptPartners)
    : search_(search), order_(std::move(order)), blockRows_(blockRows), keptPartners_(keptPartners) {}

void TPairsAhead::Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) {
  if (next_ < order_.size() && order_[next_] == rank) {
    if (next_ == blockEnd_) WorkOutBlock(colors);
    const std::size_t slot = next_++ - blockStart_;
    if (colors == blockColors_ && first_[slot] != kNotWorkedOut) {
      const auto first = kept_.begin() + first_[slot];
      partners.assign(first, first + count_[slot]);
      return;
    }
  }
  search_.Partners(rank, colors, partners);
}

void TPairsAhead::WorkOutBlock(bool colors) {
  blockStart_ = next_;
  blockEnd_ = std::min(order_.size(), next_ + blockRows_);
  blockColors_ = colors;
  const std::size_t rows = blockEnd_ - blockStart_;
  // Each slot behind its rank in one word: the sort then compares words, not ranks looked up.
  std::vector<std::uint64_t> slotsByRank(rows);
  for (std::size_t slot = 0; slot < rows; ++slot)
    slotsByRank[slot] = std::uint64_t{order_[blockStart_ + slot]} << 32 | slot;
  std::sort(slotsByRank.begin(), slotsByRank.end());
  first_.assign(rows, kNotWorkedOut);
  count_.assign(rows, 0);
  kept_.clear();
  for (const std::uint64_t rankAndSlot : slotsByRank) {
    const auto slot = static_cast<std::uint32_t>(rankAndSlot);
    search_.Partners(static_cast<std::uint32_t>(rankAndSlot >> 32), colors, scratch_);
    if (kept_.size() + scratch_.size() > keptPartners_) break;
    first_[slot] = static_cast<std::uint32_t>(kept_.size());
    count_[slot] = static_cast<std::uint32_t>(scratch_.size());
    kept_.insert(kept_.end(), scratch_.begin(), scratch_.end());
  }
}

}  // namespace velquin
