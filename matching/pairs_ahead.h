// TPairsAhead: the partners of rows asked for in an order known beforehand, worked out ahead a block
// of rows at a time.
//
// A pass asks for its rows in file-name order, which jumps at random across the ranks and so across
// the partner search's memory; once the table outgrows the caches each row waits on main memory. The
// rows of a block are searched in rank order instead, where neighbours share their memory, and their
// partners kept until asked for. A block is worked out in the mode of its first request; a row asked
// for in another mode, or out of the order, is searched alone, so the answers never differ from the
// search's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "matching/partner_search.h"

namespace velquin {

class TPairsAhead {
 public:
  // The rows of a block, and the partners a block keeps at most: past them, the block's remaining
  // rows are searched when asked for, which bounds the memory whatever the number of pairs.
  static constexpr std::size_t kBlockRows = std::size_t{1} << 18;
  static constexpr std::size_t kKeptPartners = std::size_t{1} << 20;

  // order: the ranks in the order they will be asked for. REQUIRES: search outlives this object;
  // blockRows > 0.
  TPairsAhead(const TPartnerSearch& search, std::vector<std::uint32_t> order,
              std::size_t blockRows = kBlockRows, std::size_t keptPartners = kKeptPartners);

  // Sets partners to the partners of rank in the mode colors, as the search gives them.
  void Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners);

 private:
  // Works out the block of rows that begins at next_, in the mode colors.
  void WorkOutBlock(bool colors);

  static constexpr std::uint32_t kNotWorkedOut = UINT32_MAX;

  const TPartnerSearch& search_;
  std::vector<std::uint32_t> order_;
  std::size_t blockRows_;
  std::size_t keptPartners_;
  // The row expected next is order_[next_]; the block holds order_[blockStart_, blockEnd_).
  std::size_t next_ = 0;
  std::size_t blockStart_ = 0;
  std::size_t blockEnd_ = 0;
  bool blockColors_ = false;
  // The partners of order_[blockStart_ + i] are kept_[first_[i], first_[i] + count_[i]), unless
  // first_[i] is kNotWorkedOut.
  std::vector<std::uint32_t> first_;
  std::vector<std::uint32_t> count_;
  std::vector<TPartner> kept_;
  std::vector<TPartner> scratch_;
  // The ranks of block b with their places, in ascending rank: byRank_[blockFirst_[b],
  // blockFirst_[b + 1]).
  struct TRankPlace {
    std::uint32_t Rank;
    std::uint32_t Place;
  };
  std::vector<TRankPlace> byRank_;
  std::vector<std::size_t> blockFirst_;
};

}  // namespace velquin
