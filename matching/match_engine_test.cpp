#include "matching/match_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>
#include <tuple>

#include "matching/clustered_signatures.h"
#include "matching/signature_ranking.h"
#include "matching/signatures_match.h"
#include "matching/written_form.h"

namespace velquin {
namespace {

using TPair = std::tuple<std::uint32_t, std::uint32_t, std::int32_t>;  // rank, partner, MaxDiff

TSignature Flat(std::int32_t v) {
  TSignature s;
  for (TRgb& c : s.Cells) c = {v, v, v};
  return s;
}

// The signatures in rank order: by text, equal texts in the order given.
std::vector<TSignature> Ranked(std::vector<TSignature> signatures) {
  std::stable_sort(signatures.begin(), signatures.end(), [](const TSignature& a, const TSignature& b) {
    return SignatureToText(a) < SignatureToText(b);
  });
  return signatures;
}

// The engine's input as the snapshot builds it: values when every text is in the written form.
TRankedSignatures Input(const std::vector<TSignature>& ranked) {
  std::vector<std::string> texts;
  TWrittenValues written;
  bool allWritten = true;
  std::uint8_t values[kSignatureValues];
  for (const TSignature& s : ranked) {
    texts.push_back(SignatureToText(s));
    allWritten &= ReadWrittenForm(texts.back(), values);
    written.Values.insert(written.Values.end(), std::begin(values), std::end(values));
  }
  if (allWritten) return written;
  return texts;
}

// Every pair of ranks through SignaturesMatch.
std::set<TPair> BruteForce(const std::vector<TSignature>& ranked, std::int32_t margin, bool colors) {
  std::set<TPair> pairs;
  for (std::uint32_t i = 0; i < ranked.size(); ++i) {
    for (std::uint32_t j = i + 1; j < ranked.size(); ++j) {
      std::int32_t maxDiff = 0;
      if (SignaturesMatch(ranked[i], ranked[j], margin, colors, maxDiff)) pairs.insert({i, j, maxDiff});
    }
  }
  return pairs;
}

TEST(MatchEngineTest, FindsExactlyThePairsOfTheBruteForce) {
  struct TCase {
    const char* name;
    std::vector<TSignature> signatures;
    std::int32_t margin;
    bool colors;
  };
  TSignature threeChannels = Flat(100);
  threeChannels.Cells[5] = {110, 90, 110};
  TSignature unevenChannels = Flat(100);
  unevenChannels.Cells[5] = {104, 97, 102};
  TSignature firstAt255 = Flat(200);
  firstAt255.Cells[0].R = 255;
  TSignature firstAt245 = firstAt255;
  firstAt245.Cells[0].R = 245;
  TSignature firstAt244 = firstAt255;
  firstAt244.Cells[0].R = 244;
  // The same beyond 255, where the texts are walked.
  TSignature firstAt311 = Flat(300);
  firstAt311.Cells[0].R = 311;
  TSignature firstAt310 = firstAt311;
  firstAt310.Cells[0].R = 310;
  std::mt19937 random(42);
  const std::vector<TSignature> clustered = ClusteredSignatures(random, 120, 6);
  // Values above 255 have no written form: their texts are walked, not put in the grid.
  const std::vector<TSignature> beyond255 = ClusteredSignatures(random, 80, 8, 400);
  const std::vector<TCase> cases = {
      {"no rows", {}, 10, true},
      {"one row", {Flat(3)}, 10, true},
      {"equal texts", {Flat(3), Flat(3), Flat(3)}, 0, true},
      {"three channels at the Margin, channel mode", {Flat(100), threeChannels}, 10, true},
      {"three channels at the Margin, cell-sum mode", {Flat(100), threeChannels}, 10, false},
      {"uneven channels, channel mode", {Flat(100), unevenChannels}, 10, true},
      {"uneven channels, cell-sum mode", {Flat(100), unevenChannels}, 10, false},
      {"first values at the window's end", {firstAt255, firstAt245, firstAt244}, 10, true},
      {"first values at the window's end, walked", {firstAt311, Flat(300), firstAt310}, 10, true},
      {"clustered, channel 10", clustered, 10, true},
      {"clustered, cell-sum 10", clustered, 10, false},
      {"clustered, channel 0", clustered, 0, true},
      {"clustered, cell-sum 25", clustered, 25, false},
      {"clustered, channel 60, in four grid dimensions", clustered, 60, true},
      {"clustered, channel 128", clustered, 128, true},
      {"clustered, a Margin wider than the values", clustered, 300, true},
      {"clustered, negative Margin", clustered, -1, true},
      {"values beyond 255, channel 10", beyond255, 10, true},
      {"values beyond 255, cell-sum 30", beyond255, 30, false},
      {"values beyond 255, negative Margin", beyond255, -1, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<TSignature> ranked = Ranked(c.signatures);
    TMatchEngine engine(Input(ranked), c.margin);
    std::set<TPair> found;
    std::vector<TPair> inOrder;
    // From the last rank to the first: the order the caller searches the rows in is its own.
    for (std::uint32_t rank = static_cast<std::uint32_t>(ranked.size()); rank-- > 0;) {
      inOrder.clear();
      engine.FindPairsOf(rank, c.colors, [&](std::uint32_t row, std::uint32_t partner, std::int32_t maxDiff) {
        inOrder.push_back({row, partner, maxDiff});
      });
      EXPECT_TRUE(std::is_sorted(inOrder.begin(), inOrder.end())) << rank;
      found.insert(inOrder.begin(), inOrder.end());
    }
    EXPECT_EQ(found, BruteForce(ranked, c.margin, c.colors));
  }
}

TEST(MatchEngineTest, ModeMayChangeBetweenRows) {
  TSignature near = Flat(100);
  near.Cells[5] = {104, 97, 102};
  const std::vector<TSignature> ranked = Ranked({Flat(100), near, Flat(100)});
  TMatchEngine engine(Input(ranked), 8);
  std::set<TPair> found;
  const auto collect = [&](std::uint32_t row, std::uint32_t partner, std::int32_t maxDiff) {
    found.insert({row, partner, maxDiff});
  };
  engine.FindPairsOf(0, true, collect);
  engine.FindPairsOf(1, false, collect);
  std::set<TPair> expected;
  for (const TPair& pair : BruteForce(ranked, 8, true)) {
    if (std::get<0>(pair) == 0) expected.insert(pair);
  }
  for (const TPair& pair : BruteForce(ranked, 8, false)) {
    if (std::get<0>(pair) == 1) expected.insert(pair);
  }
  EXPECT_EQ(found, expected);
  EXPECT_FALSE(expected.empty());
}

TEST(MatchEngineTest, MalformedTextFails) {
  const std::vector<std::string> texts = {SignatureToText(Flat(1)), std::string(kSignatureTextLength, 'x')};
  EXPECT_ANY_THROW(TMatchEngine(texts, 10));
}

TEST(WrittenFormTest, OnlyTheFieldsSignatureToTextWrites) {
  struct TCase {
    const char* field;
    bool written;
    int value;
  };
  for (const TCase& c :
       {TCase{"   0", true, 0}, TCase{"   7", true, 7}, TCase{"  42", true, 42}, TCase{" 255", true, 255},
        TCase{" 256", false, 0}, TCase{"0003", false, 0}, TCase{"  07", false, 0}, TCase{"  -3", false, 0},
        TCase{"  x3", false, 0}, TCase{"3   ", false, 0}, TCase{"    ", false, 0}}) {
    SCOPED_TRACE(c.field);
    std::string text = SignatureToText(Flat(9));
    text.replace(20, 4, c.field);
    std::uint8_t values[kSignatureValues];
    EXPECT_EQ(ReadWrittenForm(text, values), c.written);
    if (c.written) {
      EXPECT_EQ(values[5], c.value);
      EXPECT_EQ(SignatureToText(SignatureOfValues(values)), text);
    }
  }
  std::uint8_t values[kSignatureValues];
  EXPECT_FALSE(ReadWrittenForm(SignatureToText(Flat(9)) + " ", values));
}

TEST(SignatureRankingTest, OrdersByKeyAndLeavesTiesToTheCaller) {
  // Shared eight-byte prefixes, a key that begins a longer one, bytes above 127, and two runs of
  // equal keys, which the caller orders back to front.
  const std::vector<std::string> keys = {"abcdefghZ", "abcdefgh", "\xff", "same", "abcdefghA",
                                         "same",      "a",        "b",    "same", "b"};
  std::vector<std::vector<std::uint32_t>> runs;
  const std::vector<std::uint32_t> ranked = RankByKey(
      static_cast<std::uint32_t>(keys.size()), [&](std::uint32_t row) { return std::string_view(keys[row]); },
      [&](std::span<std::uint32_t> rows) {
        runs.emplace_back(rows.begin(), rows.end());
        std::reverse(rows.begin(), rows.end());
      });
  EXPECT_EQ(ranked, (std::vector<std::uint32_t>{6, 1, 4, 0, 9, 7, 8, 5, 3, 2}));
  EXPECT_EQ(runs, (std::vector<std::vector<std::uint32_t>>{{7, 9}, {3, 5, 8}}));
}

}  // namespace
}  // namespace velquin
