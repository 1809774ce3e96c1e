#include "matching/pairs_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>

#include "matching/candidate_grid.h"
#include "matching/clustered_signatures.h"
#include "matching/written_form.h"

namespace velquin {
namespace {

// A grid over clustered signatures in rank order, so that many rows have partners.
TCandidateGrid ClusteredGrid(std::mt19937& random, int rows, std::int32_t margin) {
  std::vector<std::string> texts;
  for (const TSignature& s : ClusteredSignatures(random, rows, 6)) texts.push_back(SignatureToText(s));
  std::sort(texts.begin(), texts.end());
  TLargeArray<std::uint8_t> values(texts.size() * kSignatureValues);
  for (std::size_t rank = 0; rank < texts.size(); ++rank) {
    EXPECT_TRUE(ReadWrittenForm(texts[rank], &values[rank * kSignatureValues]));
  }
  return TCandidateGrid(std::move(values), margin);
}

TEST(PairsAheadTest, AnswersAsTheSearchDoesWhateverTheBlocksAndRequests) {
  struct TCase {
    const char* name;
    std::size_t blockRows;
    std::size_t keptPartners;
    std::size_t modeTurnsAt;  // the requests from this one on are in cell-sum mode
    std::size_t strayAt;      // before this request, a rank that is not the next is asked for
    bool repeats = false;     // the order asks for one rank twice (and so for another not at all)
  };
  constexpr std::size_t kNever = SIZE_MAX;
  const std::vector<TCase> cases = {
      {"one block", 1000, 100000, kNever, kNever},
      {"blocks of one row", 1, 100000, kNever, kNever},
      {"blocks that do not divide the rows", 7, 100000, kNever, kNever},
      {"partners beyond what a block keeps", 50, 5, kNever, kNever},
      {"a block keeps nothing", 50, 0, kNever, kNever},
      {"mode turns within a block", 50, 100000, 120, kNever},
      {"mode turns at a block's start", 50, 100000, 100, kNever},
      {"a stray request within a block", 50, 100000, kNever, 77},
      {"a stray request at a block's end", 50, 100000, kNever, 100},
      {"a rank asked for twice, in two blocks", 50, 100000, kNever, kNever, true},
  };
  std::mt19937 random(7);
  const TCandidateGrid grid = ClusteredGrid(random, 300, 10);
  std::vector<std::uint32_t> shuffled(300);
  std::iota(shuffled.begin(), shuffled.end(), 0u);
  std::shuffle(shuffled.begin(), shuffled.end(), random);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint32_t> order = shuffled;
    if (c.repeats) order[180] = order[20];
    TPairsAhead ahead(grid, order, c.blockRows, c.keptPartners);
    std::vector<TPartner> got, expected;
    std::size_t pairs = 0;
    const auto ask = [&](std::uint32_t rank, bool colors) {
      ahead.Partners(rank, colors, got);
      grid.Partners(rank, colors, expected);
      EXPECT_EQ(got, expected) << rank;
      pairs += got.size();
    };
    for (std::size_t i = 0; i < order.size(); ++i) {
      const bool colors = i < c.modeTurnsAt;
      if (i == c.strayAt) ask(order[i + 5], colors);
      ask(order[i], colors);
    }
    EXPECT_GT(pairs, 50u);
  }
}

}  // namespace
}  // namespace velquin
