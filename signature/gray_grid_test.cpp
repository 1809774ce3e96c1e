#include "signature/gray_grid.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "signature/luma.h"

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

#if defined(__SSE2__)
// Four lumas at once are each pixel's own: over every channel at its ends, ties of the rounding and
// random pixels, alpha set or not.
TEST(LumaTest, FourAtOnceAsOneByOne) {
  std::vector<TColor32> pixels;
  for (const std::uint32_t v : {0u, 1u, 127u, 128u, 254u, 255u})
    for (const std::uint32_t w : {0u, 255u})
      pixels.insert(pixels.end(), {v << 16 | w, v << 8 | w << 16, v | w << 8});
  std::mt19937 rng(3);
  while (pixels.size() < 400000) pixels.push_back(rng());
  while (pixels.size() % 4 != 0) pixels.push_back(0xFFFFFFFFu);
  for (std::size_t k = 0; k < pixels.size(); k += 4) {
    alignas(16) std::uint32_t lumas[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lumas), Luma4(&pixels[k]));
    for (std::size_t lane = 0; lane < 4; ++lane)
      ASSERT_EQ(lumas[lane], Luma(pixels[k + lane])) << std::hex << pixels[k + lane];
  }
}
#endif

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

  // Only the pixels of columns and rows 0 or 3 mod 4 count: the red columns between do not. Each
  // counted column's luma is its own, rising: the k-th holds the rank (2k + 1) / 16, and grid column i
  // the k-th and k + 1-th, whose mean is (2i + 1) / 8.
  Paint(bitmap, 16, 8, [](int x, int) {
    return x % 4 == 1 || x % 4 == 2 ? Rgb(255, 0, 0) : Rgb(0, static_cast<std::uint32_t>(16 * x), 0);
  });
  TGrayGrid split;
  for (int cell = 0; cell < kGrayCells; ++cell)
    split.Cells[cell] = static_cast<std::uint8_t>(255 * (2 * (cell / 4) + 1) / 8);
  EXPECT_EQ(MakeGrayGrid(bitmap), split);

  // 2 pixels high: only grid row 1 (y = 0) holds a counted row, the others are 0.
  Paint(bitmap, 8, 2, [](int, int) { return Rgb(9, 9, 9); });
  TGrayGrid low;
  for (int cell = 0; cell < kGrayCells; ++cell) low.Cells[cell] = cell % 4 == 1 ? 127 : 0;
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
    return (19595 * ((c >> 16) & 0xFF) + 38470 * ((c >> 8) & 0xFF) + 7471 * (c & 0xFF) + 32768) >> 16;
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
