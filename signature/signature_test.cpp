#include "signature/signature.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "signature/channel_multiplier.h"
#include "signature/convert.h"
#include "signature/equalize_kernels.h"
#include "signature/equalizer.h"
#include "signature/signature_rows.h"

namespace velquin {
namespace {

constexpr TColor32 kWhite = 0xFFFFFFFFu;

// A bitmap of the given size whose pixel (x, y) is paint(x, y).
void Paint(TBitmap32& bitmap, int width, int height, const std::function<TColor32(int, int)>& paint) {
  bitmap.Resize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) bitmap.WritePixel(x, y, paint(x, y));
}

void FillRandom(TBitmap32& bitmap, int width, int height, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Paint(bitmap, width, height, [&](int, int) { return static_cast<TColor32>(rng()); });
}

// Straight from the definition: every position of every Cell through ReadPixel, 32-bit sums.
TSignature ReferenceSignature(const TBitmap32& bitmap) {
  const int cw = (bitmap.Width() + 3) / 4;
  const int ch = (bitmap.Height() + 3) / 4;
  TSignature signature;
  for (int i = 1; i <= 4; ++i) {
    for (int j = 1; j <= 4; ++j) {
      std::int32_t r = 0, g = 0, b = 0;
      for (int y = (j - 1) * ch; y <= j * ch; ++y) {
        for (int x = (i - 1) * cw; x <= i * cw; ++x) {
          const TRgb c = SplitColor(bitmap.ReadPixel(x, y));
          r += c.R;
          g += c.G;
          b += c.B;
        }
      }
      const std::int32_t positions = (cw + 1) * (ch + 1);
      signature.Cell(i, j) = {r / positions, g / positions, b / positions};
    }
  }
  return signature;
}

// v * f rounded to nearest, ties to even, through the 64-bit-mantissa long double, whose product of an
// 11-bit integer and a double is exact.
std::int64_t ReferenceRoundedProduct(std::int64_t v, double f) {
  static_assert(std::numeric_limits<long double>::digits >= 64, "needs an exact long double product");
  return static_cast<std::int64_t>(
      std::nearbyintl(static_cast<long double>(v) * static_cast<long double>(f)));
}

TColor32 ReferenceScaleColor(TColor32 color, double f) {
  const TRgb c = SplitColor(color);
  auto scale = [f](std::int32_t v) {
    return static_cast<std::int32_t>(std::min<std::int64_t>(ReferenceRoundedProduct(v, f), 255));
  };
  return MakeColor(scale(c.R), scale(c.G), scale(c.B));
}

// The whole equalisation pixel by pixel, as defined, with its own histogram and map.
void ReferenceEqualize(TBitmap32& bitmap, std::array<std::int32_t, 769>& map) {
  std::array<std::int32_t, 769> histogram{};
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x)
      ++histogram[static_cast<std::size_t>(Brightness(bitmap.ReadPixel(x, y)))];
  std::int32_t total = 0;
  for (const std::int32_t counter : histogram) total += counter;
  map.fill(0);
  const double step = total / 768.0;
  double acc = 0;
  std::int32_t level = 0;
  int k = 0;
  while (k <= 768) {
    if (acc >= step) {
      acc = acc - step;
      level = level + 1;
    } else {
      map[static_cast<std::size_t>(k)] = level;
      acc = acc + histogram[static_cast<std::size_t>(k)];
      k = k + 1;
    }
  }
  const double scale = 768.0 / level;
  for (std::int32_t& entry : map) entry = static_cast<std::int32_t>(ReferenceRoundedProduct(entry, scale));
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      const TColor32 p = bitmap.ReadPixel(x, y);
      const std::int32_t b = Brightness(p);
      const double f = (map[static_cast<std::size_t>(b)] + 1.0) / (b + 1.0);
      bitmap.WritePixel(x, y, ReferenceScaleColor(p, f));
    }
  }
}

// Cells listed in stored order: left grid column top to bottom first.
TSignature GreySignature(const std::array<std::int32_t, 16>& values) {
  TSignature signature;
  for (std::size_t k = 0; k < 16; ++k) signature.Cells[k] = {values[k], values[k], values[k]};
  return signature;
}

TEST(MakeSignatureTest, WorkedExamples) {
  const struct {
    const char* name;
    int width, height;
    std::function<TColor32(int, int)> paint;
    TSignature expected;
  } cases[] = {
      {"white 100 x 100", 100, 100, [](int, int) { return kWhite; },
       GreySignature({255, 255, 255, 245, 255, 255, 255, 245, 255, 255, 255, 245, 245, 245, 245, 235})},
      {"left half white", 100, 100, [](int x, int) { return x < 50 ? kWhite : kOpaqueBlack; },
       GreySignature({255, 255, 255, 245, 245, 245, 245, 235, 0, 0, 0, 0, 0, 0, 0, 0})},
      {"top half white", 100, 100, [](int, int y) { return y < 50 ? kWhite : kOpaqueBlack; },
       GreySignature({255, 245, 0, 0, 255, 245, 0, 0, 255, 245, 0, 0, 245, 235, 0, 0})},
      {"white 1 x 1", 1, 1, [](int, int) { return kWhite; },
       GreySignature({63, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap32 bitmap;
    Paint(bitmap, c.width, c.height, c.paint);
    const TSignature signature = MakeSignature(bitmap);
    EXPECT_EQ(signature, c.expected);
    EXPECT_EQ(signature, ReferenceSignature(bitmap));
    EXPECT_EQ(SignatureToText(signature).size(), 192u);
  }
}

TEST(MakeSignatureTest, FourByFourOfOneColourHalvesTheOuterCells) {
  TBitmap32 bitmap;
  Paint(bitmap, 4, 4, [](int, int) { return 0xFF000000u | MakeColor(200, 100, 50); });
  const TSignature signature = MakeSignature(bitmap);
  for (int i = 1; i <= 4; ++i) {
    for (int j = 1; j <= 4; ++j) {
      SCOPED_TRACE("cell " + std::to_string(i) + "," + std::to_string(j));
      const TRgb expected = (i == 4 && j == 4)   ? TRgb{50, 25, 12}
                            : (i == 4 || j == 4) ? TRgb{100, 50, 25}
                                                 : TRgb{200, 100, 50};
      EXPECT_EQ(signature.Cell(i, j), expected);
    }
  }
}

TEST(MakeSignatureTest, EmptyBitmapGivesZeros) {
  TBitmap32 bitmap;
  std::string zeros;
  for (int k = 0; k < 48; ++k) zeros += "   0";
  EXPECT_EQ(SignatureToText(MakeSignature(bitmap)), zeros);
  bitmap.Resize(640, 0);  // a width without pixels is still empty
  EXPECT_EQ(SignatureToText(MakeSignature(bitmap)), zeros);
}

TEST(MakeSignatureTest, MatchesReadPixelDefinitionOnRandomPixels) {
  // 4500 wide: rows long enough for the summing loop to start its partial sums over several times.
  const std::pair<int, int> sizes[] = {{1, 2}, {2, 1},  {3, 3},  {4, 4},   {5, 5},   {7, 9},   {8, 8},
                                       {9, 7}, {13, 1}, {1, 13}, {100, 3}, {61, 47}, {4500, 2}};
  std::uint32_t seed = 1;
  for (const auto& [width, height] : sizes) {
    SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
    TBitmap32 bitmap;
    FillRandom(bitmap, width, height, seed++);
    EXPECT_EQ(MakeSignature(bitmap), ReferenceSignature(bitmap));
    bitmap.OuterColor = 0xFF405060u;  // positions outside count as whatever the bitmap reads there
    EXPECT_EQ(MakeSignature(bitmap), ReferenceSignature(bitmap));
    // Rows handed over one at a time, bottom first, give the same sums.
    TSignatureRows rows;
    rows.Start(width, height);
    for (int y = height - 1; y >= 0; --y) rows.AddRow(y, bitmap.ScanLine(y));
    EXPECT_EQ(rows.RowsAdded(), height);
    EXPECT_EQ(rows.Signature(bitmap.OuterColor), ReferenceSignature(bitmap));
  }
  // Every channel at its largest, on rows long enough to fill the partial sums to their limit.
  TBitmap32 white;
  Paint(white, 4500, 3, [](int, int) { return kWhite; });
  EXPECT_EQ(MakeSignature(white), ReferenceSignature(white));
}

TEST(ScaleColorTest, RoundsTheExactProductTiesToEven) {
  const struct {
    std::int32_t channel;
    double factor;
    std::int32_t expected;
  } cases[] = {
      {3, 1.5, 4},  // 4.5: tie to even
      {1, 1.5, 2},  // 1.5: tie to even
      {5, 0.5, 2},  // 2.5: tie to even
      {200, 2.0, 255},
      {255, 1.0, 255},
      {0, 1000.0, 0},
      // The plain double product of these rounds to an exact tie; the exact product lies beside it.
      {3, 0x1.5555555555556p-3, 1},  // 0.5000000000000001
      {3, 0x1.aaaaaaaaaaaabp-1, 3},  // 2.5000000000000001
      {3, 0x1.d555555555555p+0, 5},  // 5.4999999999999999
      {3, 0x1.9555555555555p+1, 9},  // 9.4999999999999999
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("channel " + std::to_string(c.channel) + " factor " + std::to_string(c.factor));
    for (int shift : {0, 8, 16}) {
      const TColor32 scaled = ScaleColor(0xFF000000u | (static_cast<TColor32>(c.channel) << shift), c.factor);
      EXPECT_EQ(scaled, static_cast<TColor32>(c.expected) << shift);  // alpha becomes 0
    }
  }
}

TEST(ScaleColorTest, AgreesWithExactReferenceOnRandomFactors) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> factor(0.0, 3.0);
  for (int k = 0; k < 20000; ++k) {
    const TColor32 color = static_cast<TColor32>(rng());
    const double f = factor(rng);
    ASSERT_EQ(ScaleColor(color, f), ReferenceScaleColor(color, f)) << std::hexfloat << f << " " << color;
  }
}

TEST(EqualizeBrightnessTest, UniformColourBecomesItsShareOfTheBrightness) {
  TEqualizer equalizer;
  const struct {
    TRgb colour;
    TRgb expected;
  } cases[] = {
      {{255, 255, 255}, {0, 0, 0}}, {{255, 0, 0}, {1, 0, 0}}, {{200, 100, 50}, {1, 0, 0}},
      {{0, 0, 0}, {0, 0, 0}},       {{1, 1, 1}, {0, 0, 0}},   {{0, 0, 1}, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.colour.R) + "," + std::to_string(c.colour.G) + "," +
                 std::to_string(c.colour.B));
    TBitmap32 bitmap;
    Paint(bitmap, 7, 5,
          [&](int, int) { return 0xFF000000u | MakeColor(c.colour.R, c.colour.G, c.colour.B); });
    equalizer.EqualizeBrightness(bitmap);
    EXPECT_EQ(
        equalizer.Map()[static_cast<std::size_t>(Brightness(MakeColor(c.colour.R, c.colour.G, c.colour.B)))],
        0);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x)
        ASSERT_EQ(bitmap.ReadPixel(x, y), MakeColor(c.expected.R, c.expected.G, c.expected.B));
  }
}

TEST(EqualizeBrightnessTest, FinalLevelDependsOnAccumulatedRounding) {
  TEqualizer equalizer;
  const struct {
    int width, height;
    std::int32_t level;
  } cases[] = {{1, 1, 767}, {10, 10, 768}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width * c.height) + " pixels");
    TBitmap32 bitmap;
    Paint(bitmap, c.width, c.height, [](int, int) { return MakeColor(10, 20, 30); });
    equalizer.BuildHistogram(bitmap);
    EXPECT_EQ(equalizer.Histogram()[60], c.width * c.height);
    EXPECT_EQ(equalizer.BuildBrightnessMap(), c.level);
    EXPECT_EQ(equalizer.Map()[0], 0);
    EXPECT_EQ(equalizer.Map()[60], 0);
    EXPECT_EQ(equalizer.Map()[61], 768);  // every pixel lies below 61
    EXPECT_EQ(equalizer.Map()[768], 768);
  }
}

TEST(EqualizeBrightnessTest, EmptyBitmapIsLeftAlone) {
  TEqualizer equalizer;
  TBitmap32 bitmap;
  equalizer.EqualizeBrightness(bitmap);
  EXPECT_TRUE(bitmap.IsEmpty());
  equalizer.BuildHistogram(bitmap);
  EXPECT_EQ(equalizer.BuildBrightnessMap(), 0);
  for (const std::int32_t entry : equalizer.Map()) ASSERT_EQ(entry, 0);
  bitmap.Resize(0, 30);
  equalizer.EqualizeBrightness(bitmap);
  EXPECT_EQ(bitmap.Height(), 30);
}

TEST(EqualizeBrightnessTest, LevelTableMatchesPerPixelFormula) {
  TEqualizer equalizer;
  const struct {
    const char* name;
    int width, height;
    std::function<TColor32(int, int)> paint;
  } cases[] = {
      {"random", 97, 61, nullptr},
      {"gradient", 120, 80,
       [](int x, int y) { return 0xFF000000u | MakeColor(x * 2, y * 3, (x + y) % 256); }},
      {"two colours", 30, 30, [](int x, int) { return x < 10 ? kWhite : MakeColor(3, 2, 1); }},
      {"one pixel", 1, 1, [](int, int) { return MakeColor(90, 80, 70); }},
  };
  std::uint32_t seed = 11;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap32 bitmap, expected;
    if (c.paint) {
      Paint(bitmap, c.width, c.height, c.paint);
      Paint(expected, c.width, c.height, c.paint);
    } else {
      FillRandom(bitmap, c.width, c.height, seed);
      FillRandom(expected, c.width, c.height, seed);
    }
    ++seed;
    std::array<std::int32_t, 769> expectedMap{};
    ReferenceEqualize(expected, expectedMap);
    equalizer.EqualizeBrightness(bitmap);
    EXPECT_EQ(equalizer.Map(), expectedMap);
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        ASSERT_EQ(bitmap.ReadPixel(x, y), expected.ReadPixel(x, y)) << x << "," << y;
    EXPECT_EQ(MakeSignature(bitmap), ReferenceSignature(expected));
  }
}

// The fused and row-wise forms against the separate steps: same pixels, same tables, same signature,
// on sizes around the grid's boundaries and on pictures of few brightness levels.
TEST(EqualizeBrightnessTest, FusedStepsMatchTheSeparateSteps) {
  TEqualizer equalizer;
  const std::pair<int, int> sizes[] = {{1, 1}, {1, 9}, {9, 1}, {4, 4}, {5, 7}, {64, 33}, {97, 61}, {257, 3}};
  std::uint32_t seed = 101;
  for (const auto& [width, height] : sizes) {
    for (const bool fewLevels : {false, true}) {
      SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height) + (fewLevels ? " few levels" : ""));
      TBitmap32 separate, fused, applied, original;
      for (TBitmap32* bitmap : {&separate, &fused, &applied, &original}) {
        FillRandom(*bitmap, width, height, seed);
        if (fewLevels)
          for (int y = 0; y < height; ++y)
            for (TColor32* p = bitmap->ScanLine(y); p != bitmap->ScanLine(y) + width; ++p) *p &= 0xFF030303u;
        bitmap->OuterColor = 0xFF102030u;
      }
      ++seed;

      equalizer.EqualizeBrightness(separate);
      const TSignature expected = MakeSignature(separate);
      const TBrightnessHistogram histogram = equalizer.Histogram();
      const TBrightnessMap map = equalizer.Map();
      equalizer.ClearHistogram();  // the fused step must build its own tables

      EXPECT_EQ(equalizer.EqualizeAndMakeSignature(fused), expected);
      EXPECT_EQ(equalizer.Histogram(), histogram);
      EXPECT_EQ(equalizer.Map(), map);

      // The histogram counted in uneven pieces, as rows may arrive, then the remaining steps fused.
      equalizer.ClearHistogram();
      const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
      for (std::size_t first = 0, piece = 1; first < count; first += piece, piece = piece * 2 + 1)
        equalizer.AddToHistogram(applied.Bits() + first, std::min(piece, count - first));
      EXPECT_EQ(equalizer.Histogram(), histogram);
      equalizer.BuildBrightnessMap();
      EXPECT_EQ(equalizer.EqualizedSignature(applied), expected);
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) ASSERT_EQ(applied.ReadPixel(x, y), original.ReadPixel(x, y));
      EXPECT_EQ(equalizer.ApplyEqualizationAndMakeSignature(applied), expected);

      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
          ASSERT_EQ(fused.ReadPixel(x, y), separate.ReadPixel(x, y)) << x << "," << y;
          ASSERT_EQ(applied.ReadPixel(x, y), separate.ReadPixel(x, y)) << x << "," << y;
        }
    }
  }
  TBitmap32 empty;
  empty.Resize(0, 12);
  empty.OuterColor = 0xFF102030u;
  EXPECT_EQ(equalizer.EqualizeAndMakeSignature(empty), MakeSignature(empty));
  EXPECT_EQ(equalizer.ApplyEqualizationAndMakeSignature(empty), MakeSignature(empty));
  EXPECT_EQ(equalizer.EqualizedSignature(empty), MakeSignature(empty));
}

// An equaliser's map and factors are its own: another equaliser's picture in between changes nothing.
TEST(EqualizeBrightnessTest, EachEqualizerKeepsItsOwnTables) {
  TBitmap32 first, expected, other;
  FillRandom(first, 40, 30, 5);
  FillRandom(expected, 40, 30, 5);
  Paint(other, 9, 9, [](int x, int) { return x < 3 ? kWhite : MakeColor(3, 2, 1); });
  TEqualizer equalizer, another;
  equalizer.BuildHistogram(first);
  equalizer.BuildBrightnessMap();
  const TBrightnessMap map = equalizer.Map();
  another.EqualizeBrightness(other);
  ASSERT_NE(another.Map(), map);
  EXPECT_EQ(equalizer.Map(), map);
  equalizer.ApplyEqualization(first);
  TEqualizer().EqualizeBrightness(expected);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(first.ReadPixel(x, y), expected.ReadPixel(x, y)) << x << "," << y;
}

// Every summing loop the processor runs adds what the plain loop adds: over runs as short as a lane
// and with a tail, over a map whose factors reach the 255 cap, and from every alignment.
TEST(EqualizeSumKernelTest, EveryKernelSumsAsThePlainLoop) {
  std::mt19937 rng(11);
  std::vector<std::uint32_t> multipliers(766);
  for (std::uint32_t b = 0; b < multipliers.size(); ++b)
    multipliers[b] = ChannelMultiplier(rng() % 769 + 1, b + 1);
  std::vector<TColor32> pixels(4096 + 64);
  for (TColor32& pixel : pixels) pixel = rng();
  const std::size_t lengths[] = {0, 1, 7, 8, 15, 16, 17, 31, 33, 100, 4096};
  const std::vector<TEqualizeSumKernel> kernels = EqualizeSumKernels();
  ASSERT_STREQ(kernels.front().Name, "plain");
  for (const TEqualizeSumKernel& kernel : kernels) {
    for (const std::size_t n : lengths) {
      for (const std::size_t offset : {0, 1, 3}) {
        SCOPED_TRACE(std::string(kernel.Name) + ", " + std::to_string(n) + " pixels from " +
                     std::to_string(offset));
        TChannelSums expected, sums;
        kernels.front().Sum(multipliers.data(), pixels.data() + offset, n, expected);
        kernel.Sum(multipliers.data(), pixels.data() + offset, n, sums);
        EXPECT_EQ(sums.r, expected.r);
        EXPECT_EQ(sums.g, expected.g);
        EXPECT_EQ(sums.b, expected.b);
      }
    }
  }
}

// Fixed-point multipliers against the exact product of the double factor, ties to even; their
// exactness is argued where they are defined, and this checks the argument's corner cases and a sweep.
TEST(ChannelMultiplierTest, GivesTheRoundedExactProductOfTheDoubleFactor) {
  const auto expected = [](std::uint32_t p, std::uint32_t q, std::uint32_t v) {
    return ScaleColor(v, static_cast<double>(p) / static_cast<double>(q));
  };
  const struct {
    std::uint32_t p, q, v;
    std::uint32_t scaled;
  } cases[] = {
      {5, 4, 2, 2},          // 2.5: an exact tie, to even
      {7, 4, 2, 4},          // 3.5: an exact tie, to even
      {1, 6, 3, 0},          // 1/6 as a double lies below 1/6: 3 x it lies below the tie 0.5
      {5, 6, 3, 3},          // 5/6 as a double lies above 5/6: 3 x it lies above the tie 2.5
      {769, 766, 255, 255},  // 256, capped
      {769, 1, 0, 0},        // brightness 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.p) + "/" + std::to_string(c.q) + " x " + std::to_string(c.v));
    EXPECT_EQ(expected(c.p, c.q, c.v), c.scaled);
    EXPECT_EQ(ScaleByMultiplier(c.v, ChannelMultiplier(c.p, c.q)), c.scaled);
  }
  // Every factor of the small brightness levels, where ties are most frequent, then random ones.
  for (std::uint32_t q = 1; q <= 24; ++q)
    for (std::uint32_t p = 1; p <= 769; ++p)
      for (std::uint32_t v = 0; v < q; ++v)
        ASSERT_EQ(ScaleByMultiplier(v, ChannelMultiplier(p, q)), expected(p, q, v))
            << p << "/" << q << " x " << v;
  std::mt19937 rng(5);
  for (int k = 0; k < 200000; ++k) {
    const std::uint32_t q = rng() % 766 + 1, p = rng() % 769 + 1, v = rng() % std::min(q, 256u);
    ASSERT_EQ(ScaleByMultiplier(v, ChannelMultiplier(p, q)), expected(p, q, v))
        << p << "/" << q << " x " << v;
  }
}

TEST(SignatureTextTest, RoundTripsEveryFourCharacterValue) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<std::int32_t> value(-999, 9999);
  for (int k = 0; k < 200; ++k) {
    TSignature signature;
    for (TRgb& cell : signature.Cells) cell = {value(rng), value(rng), value(rng)};
    const std::string text = SignatureToText(signature);
    ASSERT_EQ(text.size(), 192u);
    ASSERT_EQ(TextToSignature(text), signature) << text;
  }
}

TEST(SignatureTextTest, FieldsAreRightAlignedInStoredOrder) {
  TSignature signature;
  signature.Cell(1, 1) = {7, 255, 0};
  signature.Cell(1, 2) = {12, 0, 0};
  signature.Cell(4, 4) = {0, 0, 99};
  const std::string text = SignatureToText(signature);
  EXPECT_EQ(text.substr(0, 16), "   7 255   0  12");
  EXPECT_EQ(text.substr(188), "  99");
  TSignature wide;
  wide.Cells[0].R = 123456;  // a longer form is kept whole
  EXPECT_EQ(SignatureToText(wide).substr(0, 10), "123456   0");
}

TEST(SignatureTextTest, ShortTextsAndExtraCharacters) {
  TSignature expected = GreySignature({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  const std::string text = SignatureToText(expected);
  EXPECT_EQ(TextToSignature(text + "garbage"), expected);
  expected.Cells[15].B = 25;
  EXPECT_EQ(TextToSignature(text.substr(0, 188) + " 25"), expected);  // 191 characters
  expected.Cells[15].B = 7;
  EXPECT_EQ(TextToSignature(text.substr(0, 188) + "7"), expected);
}

TEST(SignatureTextTest, InvalidFieldsNameTheFieldAsTaken) {
  const std::string valid = SignatureToText(GreySignature({}));
  const struct {
    std::string text;
    std::string field;
  } cases[] = {
      {"", ""},
      {"12  " + valid.substr(4), "12  "},
      {valid.substr(0, 40) + "  1 " + valid.substr(44), "  1 "},
      {valid.substr(0, 188), ""},
      {valid.substr(0, 188) + "  ", "  "},
      {valid.substr(0, 100) + " 1x1" + valid.substr(104), " 1x1"},
      {valid.substr(0, 4) + "    ", "    "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("text '" + c.text + "'");
    try {
      TextToSignature(c.text);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + c.field + "' is not a valid integer value");
    }
  }
}

TEST(ColourTest, SplitIgnoresAlphaAndMakeGivesAlphaZero) {
  EXPECT_EQ(SplitColor(0x80C0FF01u), (TRgb{0xC0, 0xFF, 0x01}));
  EXPECT_EQ(MakeColor(0xC0, 0xFF, 0x01), 0x00C0FF01u);
  EXPECT_EQ(Brightness(0xFFFFFFFFu), 765);
}

}  // namespace
}  // namespace velquin
