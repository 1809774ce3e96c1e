#include "matching/pairs_ahead.h"

#include <algorithm>
#include <numeric>

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
  std::vector<std::uint32_t> slots(rows);
  std::iota(slots.begin(), slots.end(), 0u);
  std::sort(slots.begin(), slots.end(), [this](std::uint32_t x, std::uint32_t y) {
    return order_[blockStart_ + x] < order_[blockStart_ + y];
  });
  first_.assign(rows, kNotWorkedOut);
  count_.assign(rows, 0);
  kept_.clear();
  for (const std::uint32_t slot : slots) {
    search_.Partners(order_[blockStart_ + slot], colors, scratch_);
    if (kept_.size() + scratch_.size() > keptPartners_) break;
    first_[slot] = static_cast<std::uint32_t>(kept_.size());
    count_[slot] = static_cast<std::uint32_t>(scratch_.size());
    kept_.insert(kept_.end(), scratch_.begin(), scratch_.end());
  }
}

}  // namespace velquin
