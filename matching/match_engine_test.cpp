#include "matching/match_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>
#include <tuple>

#include "matching/clustered_signatures.h"
#include "matching/grid_symmetry.h"
#include "matching/match_rules.h"
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
      {"clustered, channel 60, in eight grid dimensions", clustered, 60, true},
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

// A row of the tests of the rules: its Signature and, unless hasGray is false, its gray grid.
struct TRuleRow {
  TSignature signature;
  TGrayGrid gray;
  bool hasGray = true;
};

// Clustered rows, one in five a turned or mirrored copy of an earlier one moved by up to 3, one in
// seven without a gray grid; gray grids clustered alike.
std::vector<TRuleRow> RuleRows(std::mt19937& random, int count, int high) {
  const std::vector<TSignature> signatures = ClusteredSignatures(random, count, 6, high);
  std::uniform_int_distribution<int> value(0, 255), delta(-3, 3), symmetry(1, kGridSymmetries - 1);
  std::vector<TRuleRow> rows;
  for (int i = 0; i < count; ++i) {
    TRuleRow row{signatures[i], {}, i % 7 != 6};
    if (i > 0 && i % 5 == 4) {
      const TSignature& earlier = rows[std::uniform_int_distribution<int>(0, i - 1)(random)].signature;
      MoveCells(symmetry(random), earlier.Cells.data(), row.signature.Cells.data(), 1);
      for (TRgb& c : row.signature.Cells) {
        for (std::int32_t* v : {&c.R, &c.G, &c.B}) *v = std::clamp(*v + delta(random), 0, high);
      }
    }
    if (i > 0 && i % 4 != 0) {
      const TGrayGrid& earlier = rows[std::uniform_int_distribution<int>(0, i - 1)(random)].gray;
      MoveCells(i % 3 == 0 ? symmetry(random) : 0, earlier.Cells.data(), row.gray.Cells.data(), 1);
      for (std::uint8_t& v : row.gray.Cells)
        v = static_cast<std::uint8_t>(std::clamp(v + 2 * delta(random), 0, 255));
    } else {
      for (std::uint8_t& v : row.gray.Cells) v = static_cast<std::uint8_t>(value(random));
    }
    rows.push_back(row);
  }
  std::stable_sort(rows.begin(), rows.end(), [](const TRuleRow& a, const TRuleRow& b) {
    return SignatureToText(a.signature) < SignatureToText(b.signature);
  });
  return rows;
}

TRankedGray GrayInput(const std::vector<TRuleRow>& ranked) {
  TRankedGray gray;
  for (const TRuleRow& row : ranked) {
    gray.Values.insert(gray.Values.end(), row.gray.Cells.begin(), row.gray.Cells.end());
    gray.Present.push_back(row.hasGray);
  }
  return gray;
}

// Every pair of ranks through PairMatches.
std::set<TPair> BruteForce(const std::vector<TRuleRow>& ranked, std::int32_t margin, bool colors,
                           TMatchTests tests) {
  const auto rule = [](const TRuleRow& row) {
    return velquin::TRuleRow{&row.signature, row.hasGray ? &row.gray : nullptr};
  };
  std::set<TPair> pairs;
  for (std::uint32_t i = 0; i < ranked.size(); ++i) {
    for (std::uint32_t j = i + 1; j < ranked.size(); ++j) {
      std::int32_t maxDiff = 0;
      if (PairMatches(rule(ranked[i]), rule(ranked[j]), margin, colors, tests, maxDiff))
        pairs.insert({i, j, maxDiff});
    }
  }
  return pairs;
}

TEST(MatchEngineTest, UnderEveryTestFindsExactlyThePairsOfTheRules) {
  std::mt19937 random(7);
  const std::vector<TRuleRow> written = RuleRows(random, 300, 255);
  // Values above 255 have no written form: their texts are walked.
  const std::vector<TRuleRow> beyond255 = RuleRows(random, 90, 400);
  struct TSetting {
    const char* name;
    std::int32_t margin;
    bool colors;
  };
  const TSetting settings[] = {{"channel 10", 10, true},
                               {"cell-sum 25", 25, false},
                               {"channel 0", 0, true},
                               {"channel 128", 128, true},
                               {"negative", -1, true}};
  for (const auto& [rowsName, rows] : {std::pair{"written", &written}, std::pair{"beyond 255", &beyond255}}) {
    std::vector<TSignature> signatures;
    for (const TRuleRow& row : *rows) signatures.push_back(row.signature);
    for (const TSetting& setting : settings) {
      for (const TMatchTests tests : {TMatchTests{false, false}, TMatchTests{true, false},
                                      TMatchTests{false, true}, TMatchTests{true, true}}) {
        SCOPED_TRACE(std::string(rowsName) + ", " + setting.name + (tests.Turned ? ", turned" : "") +
                     (tests.Gray ? ", gray" : ""));
        TMatchEngine engine(Input(signatures), setting.margin, tests, GrayInput(*rows));
        std::set<TPair> found;
        for (std::uint32_t rank = 0; rank < rows->size(); ++rank) {
          std::vector<TPair> inOrder;
          engine.FindPairsOf(rank, setting.colors,
                             [&](std::uint32_t row, std::uint32_t partner, std::int32_t maxDiff) {
                               inOrder.push_back({row, partner, maxDiff});
                             });
          EXPECT_TRUE(std::is_sorted(inOrder.begin(), inOrder.end())) << rank;
          found.insert(inOrder.begin(), inOrder.end());
        }
        const std::set<TPair> expected = BruteForce(*rows, setting.margin, setting.colors, tests);
        EXPECT_EQ(found, expected);
        // The rows are made so that each test adds pairs of its own.
        if (setting.margin == 10 && tests.Any()) {
          EXPECT_GT(expected.size(), BruteForce(*rows, setting.margin, setting.colors, {}).size());
        }
      }
    }
  }
}

TEST(MatchEngineTest, MaxDiffIsTheSmallestMeasureOfThePassingTests) {
  TSignature a = Flat(100);
  a.Cells[0].R = 120;
  TSignature b;
  MoveCells(1, a.Cells.data(), b.Cells.data(), 1);  // mirrored: Cell 0 moves to Cell 12
  b.Cells[6].G += 2;
  TGrayGrid grayA, grayB;
  grayA.Cells.fill(50);
  grayB.Cells.fill(53);
  struct TCase {
    TMatchTests tests;
    bool colors;
    std::int32_t maxDiff;
  };
  for (const TCase& c :
       {TCase{{false, false}, true, 20}, TCase{{true, false}, true, 2}, TCase{{false, true}, true, 3},
        TCase{{true, true}, true, 2}, TCase{{false, true}, false, 9}, TCase{{true, true}, false, 2}}) {
    SCOPED_TRACE(std::to_string(c.maxDiff));
    std::int32_t maxDiff = -1;
    EXPECT_TRUE(PairMatches({&a, &grayA}, {&b, &grayB}, 25, c.colors, c.tests, maxDiff));
    EXPECT_EQ(maxDiff, c.maxDiff);
    EXPECT_TRUE(PairMatches({&b, &grayB}, {&a, &grayA}, 25, c.colors, c.tests, maxDiff));
    EXPECT_EQ(maxDiff, c.maxDiff);
    // b comes first in text order (its first value is 100).
    const std::vector<TSignature> ranked = Ranked({a, b});
    ASSERT_EQ(ranked[0], b);
    TRankedGray gray{{}, {true, true}};
    for (const TGrayGrid* g : {&grayB, &grayA})
      gray.Values.insert(gray.Values.end(), g->Cells.begin(), g->Cells.end());
    TMatchEngine engine(Input(ranked), 25, c.tests, gray);
    std::vector<std::int32_t> found;
    engine.FindPairsOf(0, c.colors,
                       [&](std::uint32_t, std::uint32_t, std::int32_t d) { found.push_back(d); });
    EXPECT_EQ(found, std::vector<std::int32_t>{c.maxDiff});
  }
  // A gray grid missing on either side: no gray test.
  std::int32_t maxDiff = -1;
  EXPECT_TRUE(PairMatches({&a, nullptr}, {&b, &grayB}, 25, true, {false, true}, maxDiff));
  EXPECT_EQ(maxDiff, 20);
  EXPECT_FALSE(PairMatches({&a, &grayA}, {&b, nullptr}, 19, true, {false, true}, maxDiff));
}

// Pairs planted among unrelated rows, each row a copy of another under one symmetry, of its Signature
// or of its gray grid only, with one value moved by exactly the Margin or by one more: the first kind
// is found, with MaxDiff the Margin, exactly when the test it needs is on; the second never.
TEST(MatchEngineTest, FindsPairsOfOneSymmetryOrOfTheGrayGridOnlyAtExactlyTheMargin) {
  constexpr std::int32_t kMargin = 10;
  std::mt19937 random(21);
  std::uniform_int_distribution<int> value(20, 235), cell(0, 15);
  const auto randomRow = [&] {
    TRuleRow row;
    for (TRgb& c : row.signature.Cells) c = {value(random), value(random), value(random)};
    for (std::uint8_t& v : row.gray.Cells) v = static_cast<std::uint8_t>(value(random));
    return row;
  };
  std::vector<TRuleRow> rows;
  for (int i = 0; i < 150; ++i) rows.push_back(randomRow());
  struct TPlanted {
    std::size_t first, second;  // indexes into rows
    int symmetry;
    bool grayOnly;
    bool within;
  };
  std::vector<TPlanted> planted;
  for (int t = 0; t < kGridSymmetries; ++t) {
    for (const bool grayOnly : {false, true}) {
      for (const bool within : {true, false}) {
        const TRuleRow a = randomRow();
        TRuleRow b = randomRow();
        const std::int32_t step = within ? kMargin : kMargin + 1;
        if (grayOnly) {
          MoveCells(t, a.gray.Cells.data(), b.gray.Cells.data(), 1);
          b.gray.Cells[cell(random)] += static_cast<std::uint8_t>(step);
        } else {
          MoveCells(t, a.signature.Cells.data(), b.signature.Cells.data(), 1);
          b.signature.Cells[cell(random)].G += step;
        }
        planted.push_back({rows.size(), rows.size() + 1, t, grayOnly, within});
        rows.push_back(a);
        rows.push_back(b);
      }
    }
  }
  // Rank order, and the rank of each row.
  std::vector<std::uint32_t> order(rows.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t x, std::uint32_t y) {
    return SignatureToText(rows[x].signature) < SignatureToText(rows[y].signature);
  });
  std::vector<TRuleRow> ranked;
  std::vector<std::uint32_t> rankOf(rows.size());
  for (const std::uint32_t row : order) {
    rankOf[row] = static_cast<std::uint32_t>(ranked.size());
    ranked.push_back(rows[row]);
  }
  std::vector<TSignature> signatures;
  for (const TRuleRow& row : ranked) signatures.push_back(row.signature);
  for (const TMatchTests tests : {TMatchTests{false, false}, TMatchTests{true, false},
                                  TMatchTests{false, true}, TMatchTests{true, true}}) {
    for (const bool colors : {true, false}) {
      SCOPED_TRACE(std::string(tests.Turned ? "turned " : "") + (tests.Gray ? "gray " : "") +
                   (colors ? "channel" : "cell-sum"));
      TMatchEngine engine(Input(signatures), kMargin, tests, GrayInput(ranked));
      std::set<TPair> found;
      for (std::uint32_t rank = 0; rank < ranked.size(); ++rank) {
        engine.FindPairsOf(rank, colors, [&](std::uint32_t row, std::uint32_t partner, std::int32_t maxDiff) {
          found.insert({row, partner, maxDiff});
        });
      }
      EXPECT_EQ(found, BruteForce(ranked, kMargin, colors, tests));
      for (const TPlanted& p : planted) {
        SCOPED_TRACE("symmetry " + std::to_string(p.symmetry) + (p.grayOnly ? ", gray grid" : ", signature") +
                     (p.within ? ", at the Margin" : ", past it"));
        const std::uint32_t x = std::min(rankOf[p.first], rankOf[p.second]);
        const std::uint32_t y = std::max(rankOf[p.first], rankOf[p.second]);
        // A gray Cell counts three times in cell-sum mode: its step is then past the Margin.
        const bool testOn = (p.symmetry == 0 || tests.Turned) && (!p.grayOnly || (tests.Gray && colors));
        EXPECT_EQ(found.count({x, y, kMargin}), p.within && testOn ? 1u : 0u);
        EXPECT_TRUE(std::none_of(found.begin(), found.end(), [&](const TPair& pair) {
          return std::get<0>(pair) == x && std::get<1>(pair) == y && std::get<2>(pair) != kMargin;
        }));
      }
    }
  }
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

TEST(SignatureRankingTest, OrdersKeysThatShareTheirFirstBytes) {
  // Every key shares its first bytes (so some byte of every prefix is the same), and the keys differ
  // in bytes above 127, in their length, and only after the eighth byte.
  struct TCase {
    const char* name;
    std::vector<std::string> keys;
    std::vector<std::uint32_t> ranked;
  };
  const std::vector<TCase> cases = {
      {"bytes above 127", {"pp\x80", "pp\x7f", "pp\xff\x01", "pp", "pp\xff"}, {3, 1, 0, 4, 2}},
      {"past the eighth byte", {"abcdefghij\x90", "abcdefghij\x10", "abcdefghi", "abcdefgh"}, {3, 2, 1, 0}},
      {"one key", {"x"}, {0}},
      {"no keys", {}, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint32_t> ranked = RankByKey(
        static_cast<std::uint32_t>(c.keys.size()),
        [&](std::uint32_t row) { return std::string_view(c.keys[row]); }, [](std::span<std::uint32_t>) {});
    EXPECT_EQ(ranked, c.ranked);
  }
}

TEST(SignatureRankingTest, OrdersAsAStableSortOfTheKeys) {
  // Many keys over few byte values (so that buckets share bytes at every depth), of every length up
  // to twelve, first bytes above 127 included.
  std::mt19937 random(17);
  std::vector<std::string> keys(5000);
  for (std::string& key : keys) {
    key.resize(random() % 13);
    for (char& c : key) c = static_cast<char>("\x00\x01\x7f\x80\xfe"[random() % 5]);
  }
  std::vector<std::uint32_t> expected(keys.size());
  std::iota(expected.begin(), expected.end(), 0);
  std::stable_sort(expected.begin(), expected.end(),
                   [&](std::uint32_t x, std::uint32_t y) { return keys[x] < keys[y]; });
  const std::vector<std::uint32_t> ranked = RankByKey(
      static_cast<std::uint32_t>(keys.size()), [&](std::uint32_t row) { return std::string_view(keys[row]); },
      [](std::span<std::uint32_t>) {});
  EXPECT_EQ(ranked, expected);
}

}  // namespace
}  // namespace velquin
