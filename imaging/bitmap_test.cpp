#include "imaging/bitmap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/errors.h"
#include "imaging/test_support.h"

namespace velquin {
namespace {

using testing::TBytes;

void Put16(TBytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(TBytes& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

struct TBmpLayout {
  std::int32_t width = 0;
  std::int32_t height = 0;  // negative: top-down
  int bitCount = 24;
  std::uint32_t compression = 0;
  std::uint32_t headerSize = 40;
  std::vector<std::uint32_t> masks;  // written after a 40-byte header, inside a longer one
  std::vector<TColor32> palette;     // written as 4-byte (3-byte for OS/2) entries
  std::uint32_t colorsUsed = 0;
  int planes = 1;
  TBytes pixels;  // rows as stored, padding included
};

TBytes MakeBmp(const TBmpLayout& s) {
  TBytes header;
  if (s.headerSize == 12) {
    Put16(header, static_cast<std::uint32_t>(s.width));
    Put16(header, static_cast<std::uint32_t>(s.height));
    Put16(header, static_cast<std::uint32_t>(s.planes));
    Put16(header, static_cast<std::uint32_t>(s.bitCount));
  } else {
    Put32(header, static_cast<std::uint32_t>(s.width));
    Put32(header, static_cast<std::uint32_t>(s.height));
    Put16(header, static_cast<std::uint32_t>(s.planes));
    Put16(header, static_cast<std::uint32_t>(s.bitCount));
    Put32(header, s.compression);
    Put32(header, static_cast<std::uint32_t>(s.pixels.size()));
    Put32(header, 2835);
    Put32(header, 2835);
    Put32(header, s.colorsUsed);
    Put32(header, 0);
    if (s.headerSize > 40)
      for (std::uint32_t m : s.masks) Put32(header, m);
    header.resize(s.headerSize - 4, 0);
  }
  TBytes extra;
  if (s.headerSize == 40)
    for (std::uint32_t m : s.masks) Put32(extra, m);
  for (TColor32 c : s.palette) {
    extra.push_back(static_cast<std::uint8_t>(c));
    extra.push_back(static_cast<std::uint8_t>(c >> 8));
    extra.push_back(static_cast<std::uint8_t>(c >> 16));
    if (s.headerSize != 12) extra.push_back(0);
  }
  TBytes out = {'B', 'M'};
  const std::uint32_t offset = static_cast<std::uint32_t>(14 + 4 + header.size() + extra.size());
  Put32(out, offset + static_cast<std::uint32_t>(s.pixels.size()));
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, s.headerSize);
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), extra.begin(), extra.end());
  out.insert(out.end(), s.pixels.begin(), s.pixels.end());
  return out;
}

struct TDecoded {
  std::string error;
  std::int32_t width = 0, height = 0;
  std::vector<TColor32> pixels;
};

TDecoded Decode(const TBytes& bytes) {
  TDecoded result;
  TBitmap image;
  try {
    image.LoadFromBytes(bytes);
  } catch (const EDecoderError& e) {
    result.error = e.what();
    return result;
  }
  TBitmap32 bitmap;
  bitmap.AssignPicture(image);
  result.width = bitmap.Width();
  result.height = bitmap.Height();
  if (!bitmap.IsEmpty())
    result.pixels.assign(bitmap.Bits(),
                         bitmap.Bits() + static_cast<std::size_t>(result.width) * result.height);
  return result;
}

constexpr TColor32 kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;
constexpr TColor32 kGray = 0xFF808080, kBlack = kOpaqueBlack;
const std::vector<TColor32> kFour = {kRed, kGreen, kBlue, kWhite};

TEST(BmpFileTest, DecodesEveryPixelFormat) {
  struct TCase {
    const char* name;
    TBmpLayout layout;
    std::vector<TColor32> expected;  // top row first
  };
  TBmpLayout mono{.width = 3, .height = 2, .bitCount = 1, .palette = {kBlack, kWhite}};
  mono.pixels = {0b10100000, 0, 0, 0, 0b01000000, 0, 0, 0};  // bottom row first
  TBmpLayout four{.width = 3, .height = 2, .bitCount = 4, .palette = kFour, .colorsUsed = 4};
  four.pixels = {0x01, 0x20, 0, 0, 0x33, 0x10, 0, 0};
  TBmpLayout eight{.width = 2, .height = -2, .bitCount = 8, .palette = kFour, .colorsUsed = 4};
  eight.pixels = {0, 1, 0, 0, 2, 3, 0, 0};  // top-down
  TBmpLayout os2{.width = 2, .height = 1, .bitCount = 8, .headerSize = 12};
  for (int i = 0; i < 256; ++i) os2.palette.push_back(static_cast<TColor32>(i * 0x010101));
  os2.pixels = {7, 200, 0, 0};
  TBmpLayout rgb24{.width = 2, .height = 2, .bitCount = 24};
  rgb24.pixels = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 128, 128, 128, 0, 0};
  TBmpLayout os2rgb{.width = 1, .height = 1, .bitCount = 24, .headerSize = 12, .pixels = {1, 2, 3, 0}};
  TBmpLayout rgb555{.width = 2, .height = 1, .bitCount = 16};
  rgb555.pixels = {0x00, 0x7C, 0x10, 0x42};  // red 31; then r 16, g 16, b 16
  TBmpLayout rgb565{
      .width = 2, .height = 1, .bitCount = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}};
  rgb565.pixels = {0x1F, 0xF8, 0x21, 0x00};  // 31, 0, 31; then r 0, g 1, b 1
  TBmpLayout wide{.width = 1,
                  .height = 1,
                  .bitCount = 32,
                  .compression = 3,
                  .headerSize = 56,
                  .masks = {0x3FF00000, 0x000FFC00, 0x000003FF}};
  wide.pixels = {0xFF, 0x03, 0xF0, 0x3F};  // ten-bit fields 1023, 0, 1023
  TBmpLayout alpha{.width = 1, .height = 1, .bitCount = 32, .pixels = {1, 2, 3, 4}};
  const TCase cases[] = {
      {"1 bit", mono, {kBlack, kWhite, kBlack, kWhite, kBlack, kWhite}},
      {"4 bit", four, {kWhite, kWhite, kGreen, kRed, kGreen, kBlue}},
      {"8 bit top-down", eight, {kRed, kGreen, kBlue, kWhite}},
      {"OS/2 8 bit", os2, {0xFF070707, 0xFFC8C8C8}},
      {"24 bit", rgb24, {kBlue, kGray, kRed, kGreen}},
      {"OS/2 24 bit", os2rgb, {0xFF030201}},
      {"16 bit 5-5-5", rgb555, {kRed, 0xFF848484}},
      {"16 bit 5-6-5", rgb565, {0xFFFF00FF, 0xFF000408}},
      {"32 bit ten-bit fields", wide, {0x3FFF00FF}},
      {"32 bit keeps its fourth byte", alpha, {0x04030201}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TDecoded d = Decode(MakeBmp(c.layout));
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.width, c.layout.width);
    EXPECT_EQ(d.height, c.layout.height < 0 ? -c.layout.height : c.layout.height);
    EXPECT_EQ(d.pixels, c.expected);
  }
}

TEST(BmpFileTest, DecodesRunLengthData) {
  TBmpLayout rle8{
      .width = 4, .height = 3, .bitCount = 8, .compression = 1, .palette = kFour, .colorsUsed = 4};
  rle8.pixels = {3, 1,              // bottom row: three greens
                 0, 0,              // end of row
                 0, 3, 2, 3, 2,     // literal blue, white, blue
                 0,                 // pad to an even count
                 9, 3,              // run past the row's end: clipped
                 0, 0, 0, 2, 1, 0,  // delta: one right, no rows up
                 1, 3, 0, 1};       // one white pixel, then the end of the picture
  TBmpLayout rle4{
      .width = 5, .height = 2, .bitCount = 4, .compression = 2, .palette = kFour, .colorsUsed = 4};
  rle4.pixels = {5, 0x12, 0, 0, 0, 3, 0x30, 0x10, 0, 1};
  struct TCase {
    const char* name;
    TBmpLayout layout;
    std::vector<TColor32> expected;
  };
  const TCase cases[] = {
      {"RLE8", rle8, {kRed, kWhite, kRed, kRed, kBlue, kWhite, kBlue, kWhite, kGreen, kGreen, kGreen, kRed}},
      {"RLE4", rle4, {kWhite, kRed, kGreen, kRed, kRed, kGreen, kBlue, kGreen, kBlue, kGreen}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TDecoded d = Decode(MakeBmp(c.layout));
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.pixels, c.expected);
  }
}

TEST(BmpFileTest, PixelDataCutShortLeavesZeroBytes) {
  TBmpLayout rgb{.width = 2, .height = 3, .bitCount = 24};
  rgb.pixels = {255, 0, 0, 255, 0, 0, 0, 0, 0, 255, 0, 0};  // bottom row and one pixel of the middle row
  TDecoded d = Decode(MakeBmp(rgb));
  ASSERT_EQ(d.error, "");
  EXPECT_EQ(d.pixels, (std::vector<TColor32>{kBlack, kBlack, kGreen, kBlack, kBlue, kBlue}));

  TBmpLayout indexed{
      .width = 2, .height = 2, .bitCount = 8, .palette = kFour, .colorsUsed = 4, .pixels = {3, 3}};
  d = Decode(MakeBmp(indexed));
  EXPECT_EQ(d.pixels, (std::vector<TColor32>{kRed, kRed, kWhite, kWhite}));

  // A short colour table: indices beyond it are black.
  TBmpLayout shortTable{.width = 2, .height = 1, .bitCount = 8, .palette = {kGreen}, .colorsUsed = 1};
  shortTable.pixels = {0, 200, 0, 0};
  d = Decode(MakeBmp(shortTable));
  EXPECT_EQ(d.pixels, (std::vector<TColor32>{kGreen, kBlack}));
}

TEST(BmpFileTest, ReportsInvalidAndShortFiles) {
  const TBmpLayout good{.width = 1, .height = 1, .bitCount = 24, .pixels = {0, 0, 0, 0}};
  const TBytes goodBytes = MakeBmp(good);
  auto with = [&](auto change) {
    TBmpLayout s = good;
    change(s);
    return MakeBmp(s);
  };
  TBytes notBm = goodBytes;
  notBm[0] = 'X';
  const TBmpLayout masked{
      .width = 1, .height = 1, .bitCount = 16, .compression = 3, .masks = {0xF800, 0x7E0, 0x1F}};
  const TBytes maskedBytes = MakeBmp(masked);
  const TBmpLayout paletted{.width = 1, .height = 1, .bitCount = 8, .palette = kFour, .colorsUsed = 4};
  const TBytes palettedBytes = MakeBmp(paletted);
  struct TCase {
    const char* name;
    TBytes bytes;
    const char* error;
  };
  const TCase cases[] = {
      {"good", goodBytes, ""},
      {"no BM", notBm, "Bitmap image is not valid"},
      {"two planes", with([](TBmpLayout& s) { s.planes = 2; }), "Bitmap image is not valid"},
      {"7 bits", with([](TBmpLayout& s) { s.bitCount = 7; }), "Bitmap image is not valid"},
      {"20-byte header", with([](TBmpLayout& s) { s.headerSize = 20; }), "Bitmap image is not valid"},
      {"RLE8 on 24 bits", with([](TBmpLayout& s) { s.compression = 1; }), "Bitmap image is not valid"},
      {"JPEG inside", with([](TBmpLayout& s) { s.compression = 4; }), "Bitmap image is not valid"},
      {"top-down RLE",
       MakeBmp(
           {.width = 1, .height = -1, .bitCount = 8, .compression = 1, .palette = kFour, .colorsUsed = 4}),
       "Bitmap image is not valid"},
      {"negative width", with([](TBmpLayout& s) { s.width = -1; }), "Bitmap image is not valid"},
      {"file header cut", TBytes(goodBytes.begin(), goodBytes.begin() + 10), "Stream read error"},
      {"info header cut", TBytes(goodBytes.begin(), goodBytes.begin() + 30), "Stream read error"},
      {"masks cut", TBytes(maskedBytes.begin(), maskedBytes.begin() + 60), "Stream read error"},
      {"colour table cut", TBytes(palettedBytes.begin(), palettedBytes.begin() + 60), "Stream read error"},
      {"huge colour count", with([](TBmpLayout& s) { s.colorsUsed = 0xFFFFFFFF; }), "Stream read error"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decode(c.bytes).error, c.error);
  }
}

TEST(BmpFileTest, EmptyFileIsAnEmptyPicture) {
  const TDecoded d = Decode({});
  EXPECT_EQ(d.error, "");
  EXPECT_EQ(d.width, 0);
  EXPECT_EQ(d.height, 0);
}

TEST(BmpFileTest, HugeAnnouncedSizeCostsNoMemoryUntilDrawn) {
  // 60000 x 60000 at 24 bits announces 10 GB of pixels in a 58-byte file.
  TBitmap image;
  image.LoadFromBytes(MakeBmp({.width = 60000, .height = 60000, .bitCount = 24, .pixels = {1, 2, 3, 4}}));
  EXPECT_EQ(image.Width(), 60000);
  EXPECT_EQ(image.Height(), 60000);
}

}  // namespace
}  // namespace velquin
