// Pictures turned, mirrored and turned gray pixel by pixel, signed as the scan signs them, against the
// rules of match_rules.h.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "matching/grid_symmetry.h"
#include "matching/match_rules.h"
#include "signature/equalizer.h"
#include "signature/gray_grid.h"
#include "signature/signature.h"

namespace velquin {
namespace {

constexpr std::int32_t kMargin = 10;

TColor32 Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return 0xFF000000u | r << 16 | g << 8 | b; }

// A 480 x 360 colour picture with no symmetry: a gradient under random rectangles.
void PaintPicture(TBitmap32& bitmap) {
  constexpr int kWidth = 480, kHeight = 360;
  bitmap.Resize(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x)
      bitmap.WritePixel(x, y, Rgb(x * 255 / kWidth, y * 255 / kHeight, (x + y) * 255 / (kWidth + kHeight)));
  }
  std::mt19937 random(11);
  for (int r = 0; r < 14; ++r) {
    const int x0 = std::uniform_int_distribution<int>(0, kWidth - 60)(random);
    const int y0 = std::uniform_int_distribution<int>(0, kHeight - 60)(random);
    const int w = std::uniform_int_distribution<int>(30, 160)(random);
    const int h = std::uniform_int_distribution<int>(30, 160)(random);
    const TColor32 colour = static_cast<TColor32>(random()) | 0xFF000000u;
    for (int y = y0; y < std::min(y0 + h, kHeight); ++y)
      for (int x = x0; x < std::min(x0 + w, kWidth); ++x) bitmap.WritePixel(x, y, colour);
  }
}

// The picture turned by quarter turns clockwise, then mirrored left to right when mirror.
void Transform(const TBitmap32& from, int quarters, bool mirror, TBitmap32& to) {
  const int w = from.Width(), h = from.Height();
  const bool swap = quarters % 2 == 1;
  const int tw = swap ? h : w, th = swap ? w : h;
  to.Resize(tw, th);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      int nx = x, ny = y;
      switch (quarters) {
        case 1:
          nx = h - 1 - y, ny = x;
          break;
        case 2:
          nx = w - 1 - x, ny = h - 1 - y;
          break;
        case 3:
          nx = y, ny = w - 1 - x;
          break;
        default:
          break;
      }
      if (mirror) nx = tw - 1 - nx;
      to.WritePixel(nx, ny, from.ReadPixel(x, y));
    }
  }
}

void MakeGrayCopy(const TBitmap32& from, TBitmap32& to) {
  to.Resize(from.Width(), from.Height());
  for (int y = 0; y < from.Height(); ++y) {
    for (int x = 0; x < from.Width(); ++x) {
      const TRgb c = SplitColor(from.ReadPixel(x, y));
      const auto v = static_cast<std::uint32_t>((19595 * c.R + 38470 * c.G + 7471 * c.B + 32768) >> 16);
      to.WritePixel(x, y, Rgb(v, v, v));
    }
  }
}

// What the scan stores for a picture: the gray grid of the pixels as loaded, then the Signature,
// after equalising when normalize.
struct TSigned {
  TSignature Signature;
  TGrayGrid Gray;
  TRuleRow Row() const { return {&Signature, &Gray}; }
};

TSigned Sign(TBitmap32& bitmap, bool normalize) {
  TSigned result;
  result.Gray = MakeGrayGrid(bitmap);
  TEqualizer equalizer;
  result.Signature = normalize ? equalizer.EqualizeAndMakeSignature(bitmap) : MakeSignature(bitmap);
  return result;
}

bool Matches(const TSigned& a, const TSigned& b, bool colors, TMatchTests tests) {
  std::int32_t maxDiff = 0;
  return PairMatches(a.Row(), b.Row(), kMargin, colors, tests, maxDiff);
}

TEST(TurnedPicturesTest, TurnedAndMirroredCopiesMatchOnlyUnderTurned) {
  for (const bool normalize : {false, true}) {
    for (const bool colors : {true, false}) {
      TBitmap32 picture, copy;
      PaintPicture(picture);
      TSigned original = Sign(picture, normalize);
      for (int quarters = 0; quarters < 4; ++quarters) {
        for (const bool mirror : {false, true}) {
          SCOPED_TRACE(std::to_string(quarters) + (mirror ? " quarters, mirrored" : " quarters") +
                       (normalize ? ", normalized" : "") + (colors ? ", channel" : ", cell-sum"));
          PaintPicture(picture);
          Transform(picture, quarters, mirror, copy);
          const TSigned turned = Sign(copy, normalize);
          const bool same = quarters == 0 && !mirror;
          EXPECT_TRUE(Matches(original, turned, colors, {true, false}));
          EXPECT_TRUE(Matches(turned, original, colors, {true, true}));
          EXPECT_EQ(Matches(original, turned, colors, {false, false}), same);
          EXPECT_EQ(Matches(original, turned, colors, {false, true}), same);
          // The gray grid of a picture whose sides divide by 4 turns with it exactly.
          bool exact = false;
          for (int t = 0; t < kGridSymmetries; ++t) {
            TGrayGrid moved;
            MoveCells(t, original.Gray.Cells.data(), moved.Cells.data(), 1);
            exact |= moved == turned.Gray;
          }
          EXPECT_TRUE(exact);
        }
      }
    }
  }
}

TEST(TurnedPicturesTest, GrayCopiesMatchUnderGrayTurnedOnesUnderBoth) {
  for (const bool normalize : {false, true}) {
    SCOPED_TRACE(normalize ? "normalized" : "as loaded");
    TBitmap32 picture, gray, turnedGray;
    PaintPicture(picture);
    MakeGrayCopy(picture, gray);
    Transform(gray, 1, true, turnedGray);
    const TSigned original = Sign(picture, normalize);
    const TSigned grayCopy = Sign(gray, normalize);
    const TSigned turnedCopy = Sign(turnedGray, normalize);
    EXPECT_EQ(grayCopy.Gray, original.Gray);
    std::int32_t maxDiff = -1;
    EXPECT_TRUE(PairMatches(original.Row(), grayCopy.Row(), kMargin, true, {false, true}, maxDiff));
    EXPECT_EQ(maxDiff, 0);
    EXPECT_FALSE(Matches(original, grayCopy, true, {true, false}));
    EXPECT_TRUE(Matches(original, turnedCopy, true, {true, true}));
    EXPECT_FALSE(Matches(original, turnedCopy, true, {false, true}));
    EXPECT_FALSE(Matches(original, turnedCopy, true, {true, false}));
  }
}

}  // namespace
}  // namespace velquin
