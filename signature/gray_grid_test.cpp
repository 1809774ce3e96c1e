#include "signature/gray_grid.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

namespace velquin {
namespace {

void Paint(TBitmap32& bitmap, int width, int height, const std::function<TColor32(int, int)>& paint) {
  bitmap.Resize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) bitmap.WritePixel(x, y, paint(x, y));
}

TColor32 Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return 0xFF000000u | r << 16 | g << 8 | b; }

TGrayGrid Filled(std::uint8_t value) {
  TGrayGrid grid;
  grid.Cells.fill(value);
  return grid;
}

TEST(GrayGridTest, ValuesFollowTheRule) {
  TBitmap32 bitmap;
  // One luma everywhere: every pixel's middle place is half the picture.
  Paint(bitmap, 37, 21, [](int, int) { return Rgb(200, 10, 90); });
  EXPECT_EQ(MakeGrayGrid(bitmap), Filled(127));

  // Left half white, right half black: ranks 3/4 and 1/4.
  Paint(bitmap, 100, 100, [](int x, int) { return x < 50 ? Rgb(255, 255, 255) : Rgb(0, 0, 0); });
  TGrayGrid halves;
  for (int cell = 0; cell < kGrayCells; ++cell) halves.Cells[cell] = cell < 8 ? 191 : 63;
  EXPECT_EQ(MakeGrayGrid(bitmap), halves);

  // Columns split as x * 4 div W: 6 columns give grid columns of 1, 2, 1 and 2 columns. Each column's
  // luma is its own, rising: column c holds the rank (2c + 1) / 12.
  Paint(bitmap, 6, 4, [](int x, int) { return Rgb(0, static_cast<std::uint32_t>(40 * x), 0); });
  const std::uint8_t columns[4] = {255 * 1 / 12, 255 * (3 + 5) / 24, 255 * 7 / 12, 255 * (9 + 11) / 24};
  TGrayGrid split;
  for (int cell = 0; cell < kGrayCells; ++cell) split.Cells[cell] = columns[cell / 4];
  EXPECT_EQ(MakeGrayGrid(bitmap), split);

  // Under 4 pixels high: grid rows without pixels are 0.
  Paint(bitmap, 8, 2, [](int, int) { return Rgb(9, 9, 9); });
  TGrayGrid low;
  for (int cell = 0; cell < kGrayCells; ++cell) low.Cells[cell] = cell % 4 == 1 || cell % 4 == 3 ? 127 : 0;
  EXPECT_EQ(MakeGrayGrid(bitmap), low);

  bitmap.Resize(0, 0);
  EXPECT_EQ(MakeGrayGrid(bitmap), Filled(0));
}

TEST(GrayGridTest, GrayCopiesAndChangesOfBrightnessKeepTheGrid) {
  TBitmap32 colour, changed;
  std::mt19937 random(7);
  std::vector<TColor32> blocks(64);
  for (TColor32& block : blocks) block = static_cast<TColor32>(random()) | 0xFF000000u;
  const auto block = [&](int x, int y) { return blocks[static_cast<std::size_t>(y / 50 * 8 + x / 50)]; };
  Paint(colour, 400, 400, block);
  const TGrayGrid grid = MakeGrayGrid(colour);

  // The luma of a gray pixel is its value: a gray copy made with the rule's weights keeps the grid.
  const auto luma = [](TColor32 c) {
    return (299 * ((c >> 16) & 0xFF) + 587 * ((c >> 8) & 0xFF) + 114 * (c & 0xFF) + 500) / 1000;
  };
  Paint(changed, 400, 400, [&](int x, int y) {
    const std::uint32_t v = luma(block(x, y));
    return Rgb(v, v, v);
  });
  EXPECT_EQ(MakeGrayGrid(changed), grid);
  // Darker with less contrast, the order of the lumas unchanged (lumas kept 4 apart, so that none
  // merge): the ranks and the grid stay.
  const auto level = [&](int x, int y) { return luma(block(x, y)) / 4 * 4; };
  Paint(colour, 400, 400, [&](int x, int y) { return Rgb(level(x, y), level(x, y), level(x, y)); });
  Paint(changed, 400, 400, [&](int x, int y) {
    const std::uint32_t v = 40 + level(x, y) * 3 / 4;
    return Rgb(v, v, v);
  });
  EXPECT_EQ(MakeGrayGrid(changed), MakeGrayGrid(colour));
}

TEST(GrayGridTest, OnlyTheWrittenTextIsRead) {
  TGrayGrid grid;
  for (int cell = 0; cell < kGrayCells; ++cell) grid.Cells[cell] = static_cast<std::uint8_t>(cell * 17);
  const std::string text = GrayGridToText(grid);
  ASSERT_EQ(text.size(), std::size_t{kGrayTextLength});
  EXPECT_EQ(text.substr(0, 12), "   0  17  34");
  TGrayGrid read;
  ASSERT_TRUE(ReadGrayText(text, read));
  EXPECT_EQ(read, grid);

  for (const std::string field : {" 256", "0003", "  07", "  -3", "  x3", "3   ", "    ", "+  3"}) {
    SCOPED_TRACE(field);
    std::string bad = text;
    bad.replace(8, 4, field);
    TGrayGrid untouched = Filled(5);
    EXPECT_FALSE(ReadGrayText(bad, untouched));
    EXPECT_EQ(untouched, Filled(5));
  }
  EXPECT_FALSE(ReadGrayText("", read));
  EXPECT_FALSE(ReadGrayText(text + " ", read));
  EXPECT_FALSE(ReadGrayText(text.substr(1), read));
}

}  // namespace
}  // namespace velquin
