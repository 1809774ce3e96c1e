#include "matching/pairs_ahead.h"

#include <algorithm>

namespace velquin {

TPairsAhead::TPairsAhead(const TPartnerSearch& search, std::vector<std::uint32_t> order,
                         std::size_t blockRows, std::size_t keptPartners)
    : search_(search), order_(std::move(order)), blockRows_(blockRows), keptPartners_(keptPartners) {
  // Blocks begin at multiples of blockRows. One counting sort by block over the ranks in ascending
  // order lists each block's places in rank order, with no sort per block. A rank asked for twice
  // is worked out at its last place only; at the other it is searched alone.
  constexpr std::uint32_t kNoPlace = UINT32_MAX;
  const std::uint32_t ranks = order_.empty() ? 0 : *std::max_element(order_.begin(), order_.end()) + 1;
  std::vector<std::uint32_t> placeOfRank(ranks, kNoPlace);
  for (std::size_t place = 0; place < order_.size(); ++place)
    placeOfRank[order_[place]] = static_cast<std::uint32_t>(place);
  const std::size_t blocks = (order_.size() + blockRows_ - 1) / blockRows_;
  blockFirst_.assign(blocks + 1, 0);
  for (const std::uint32_t place : placeOfRank) {
    if (place != kNoPlace) ++blockFirst_[place / blockRows_ + 1];
  }
  for (std::size_t block = 0; block < blocks; ++block) blockFirst_[block + 1] += blockFirst_[block];
  byRank_.resize(blockFirst_.back());
  std::vector<std::size_t> fill(blockFirst_.begin(), blockFirst_.end() - 1);
  for (std::uint32_t rank = 0; rank < ranks; ++rank) {
    const std::uint32_t place = placeOfRank[rank];
    if (place != kNoPlace) byRank_[fill[place / blockRows_]++] = {rank, place};
  }
}

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
  first_.assign(rows, kNotWorkedOut);
  count_.assign(rows, 0);
  kept_.clear();
  const std::size_t block = blockStart_ / blockRows_;
  // A block's ranks lie apart once the table holds several blocks: each is announced to the search
  // a few rows ahead, so that its memory is on the way when its turn comes.
  constexpr std::size_t kExpectAhead = 8;
  const std::size_t end = blockFirst_[block + 1];
  for (std::size_t i = blockFirst_[block]; i < end; ++i) {
    if (i + kExpectAhead < end) search_.Expect(byRank_[i + kExpectAhead].Rank);
    const std::size_t slot = byRank_[i].Place - blockStart_;
    search_.Partners(byRank_[i].Rank, colors, scratch_);
    if (kept_.size() + scratch_.size() > keptPartners_) break;
    first_[slot] = static_cast<std::uint32_t>(kept_.size());
    count_[slot] = static_cast<std::uint32_t>(scratch_.size());
    kept_.insert(kept_.end(), scratch_.begin(), scratch_.end());
  }
}

}  // namespace velquin
