#include "imaging/exif_orientation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/bitmap32.h"
#include "imaging/picture_loader.h"
#include "imaging/test_support.h"

namespace velquin {
namespace {

using testing::Exif;
using testing::Segment;
using testing::TBytes;
using testing::Tiff;

TBytes Bytes(const std::string& text) { return TBytes(text.begin(), text.end()); }

const std::string kSoi = "\xFF\xD8";
const std::string kJfif = Segment(0xE0, std::string("JFIF\0\1\1\0\0\1\0\1\0\0", 14));
const std::string kScan = Segment(0xDA, "scan");

TEST(ExifOrientationTest, ReadsTheTagInEitherByteOrder) {
  for (bool bigEndian : {false, true}) {
    for (std::uint16_t value = 1; value <= 8; ++value) {
      SCOPED_TRACE(std::string(bigEndian ? "MM " : "II ") + std::to_string(value));
      const TBytes jpeg = Bytes(kSoi + kJfif + Exif(Tiff(bigEndian, value)) + kScan);
      EXPECT_EQ(ExifOrientation(jpeg.data(), jpeg.size()), value);
    }
  }
}

TEST(ExifOrientationTest, AnythingElseIsTheNormalOrientation) {
  const std::string good = Tiff(false, 6);
  struct TCase {
    const char* name;
    std::string bytes;
    int expected;
  };
  const TCase cases[] = {
      {"no JPEG", "GIF89a" + Exif(good), 1},
      {"empty", "", 1},
      {"XMP in an APP1 of its own before the EXIF block",
       kSoi + Segment(0xE1, "http://ns.adobe.com/") + Exif(good), 6},
      {"fill bytes and a restart marker before the block", kSoi + "\xFF\xFF\xFF\xD0" + Exif(good), 6},
      {"the block after the first scan", kSoi + kScan + Exif(good), 1},
      {"no EXIF block", kSoi + kJfif + kScan, 1},
      {"value 0", kSoi + Exif(Tiff(false, 0)), 1},
      {"value 9", kSoi + Exif(Tiff(false, 9)), 1},
      {"type LONG", kSoi + Exif(Tiff(false, 6, 0x0112, 4, 1, 8, 2)), 1},
      {"count 2", kSoi + Exif(Tiff(false, 6, 0x0112, 3, 2, 8, 2)), 1},
      {"another tag only", kSoi + Exif(Tiff(false, 6, 0x0110, 3, 1, 8, 2)), 1},
      {"bad TIFF magic", kSoi + Exif(std::string("II\x2B\0", 4) + good.substr(4)), 1},
      {"bad byte order", kSoi + Exif("IM" + good.substr(2)), 1},
      {"IFD offset past the block", kSoi + Exif(Tiff(false, 6, 0x0112, 3, 1, 0xFFFFFFF0u, 2)), 1},
      {"more entries than the block holds", kSoi + Exif(Tiff(false, 6, 0x0111, 3, 1, 8, 0xFFFF)), 1},
      {"block cut in the orientation entry", kSoi + Exif(good.substr(0, good.size() - 10)), 1},
      {"segment longer than the file", (kSoi + Exif(good)).substr(0, 30), 1},
      {"segment length 1", kSoi + std::string("\xFF\xE1\x00\x01", 4) + Exif(good), 1},
      {"a lone marker at the end", kSoi + "\xFF", 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TBytes bytes = Bytes(c.bytes);
    EXPECT_EQ(ExifOrientation(bytes.data(), bytes.size()), c.expected);
  }
}

// A 3 x 2 bitmap: pixel values name their stored place (10 * row + column).
TEST(ExifOrientationTest, TurnsAndMirrorsAsEachValueSays) {
  struct TCase {
    int orientation;
    std::vector<std::vector<TColor32>> shown;
  };
  const TCase cases[] = {
      {1, {{0, 1, 2}, {10, 11, 12}}},   {2, {{2, 1, 0}, {12, 11, 10}}},   {3, {{12, 11, 10}, {2, 1, 0}}},
      {4, {{10, 11, 12}, {0, 1, 2}}},   {5, {{0, 10}, {1, 11}, {2, 12}}}, {6, {{10, 0}, {11, 1}, {12, 2}}},
      {7, {{12, 2}, {11, 1}, {10, 0}}}, {8, {{2, 12}, {1, 11}, {0, 10}}}, {0, {{0, 1, 2}, {10, 11, 12}}},
      {9, {{0, 1, 2}, {10, 11, 12}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.orientation);
    TBitmap32 bitmap;
    bitmap.Resize(3, 2);
    for (std::int32_t y = 0; y < 2; ++y)
      for (std::int32_t x = 0; x < 3; ++x) bitmap.WritePixel(x, y, static_cast<TColor32>(10 * y + x));
    int resized = 0;
    bitmap.OnResize = [&](TBitmap32&) { ++resized; };
    OrientForDisplay(bitmap, c.orientation);
    ASSERT_EQ(bitmap.Height(), static_cast<std::int32_t>(c.shown.size()));
    ASSERT_EQ(bitmap.Width(), static_cast<std::int32_t>(c.shown[0].size()));
    for (std::int32_t y = 0; y < bitmap.Height(); ++y)
      for (std::int32_t x = 0; x < bitmap.Width(); ++x)
        EXPECT_EQ(bitmap.ReadPixel(x, y), c.shown[y][x]) << x << "," << y;
    EXPECT_EQ(resized, c.orientation >= 2 && c.orientation <= 8 ? 1 : 0) << "the view hears of the change";
  }
}

bool Near(TColor32 pixel, TColor32 rgb) {
  for (int shift : {16, 8, 0}) {
    if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) - static_cast<int>((rgb >> shift) & 0xFF)) > 24)
      return false;
  }
  return true;
}

// corner.jpg: 48 x 32, red in the top-left 16 x 16, blue elsewhere. Each value carried in a real file
// puts the red corner where the camera meant it.
TEST(ExifOrientationTest, ATinyJpegCarryingEachValueIsShownTurned) {
  TTestDir dir;
  const TBytes plain =
      testing::ReadFile((std::filesystem::path(VELQUIN_SOURCE_DIR) / "imaging/testdata/corner.jpg").string());
  ASSERT_GT(plain.size(), 2u);
  constexpr TColor32 kRed = 0xE61414, kBlue = 0x1414E6;
  struct TCorner {
    bool right, bottom;
  };
  // Where the stored top-left corner is shown, for orientations 1 to 8.
  const TCorner corners[] = {{false, false}, {true, false}, {true, true}, {false, true},
                             {false, false}, {true, false}, {true, true}, {false, true}};
  for (int value = 1; value <= 8; ++value) {
    SCOPED_TRACE(value);
    const std::string path = dir.Path() + "turned" + std::to_string(value) + ".jpg";
    testing::WriteFile(path, testing::WithExifOrientation(plain, static_cast<std::uint16_t>(value)));

    ASSERT_EQ(ReadExifOrientation(path), value);
    TBitmap32 bitmap;
    ASSERT_TRUE(LoadPicture(path, bitmap));
    ASSERT_EQ(bitmap.Width(), 48) << "decoding alone never turns";
    OrientForDisplay(bitmap, value);
    const bool swapped = value >= 5;
    ASSERT_EQ(bitmap.Width(), swapped ? 32 : 48);
    ASSERT_EQ(bitmap.Height(), swapped ? 48 : 32);
    const TCorner c = corners[value - 1];
    const std::int32_t x = c.right ? bitmap.Width() - 4 : 3;
    const std::int32_t y = c.bottom ? bitmap.Height() - 4 : 3;
    EXPECT_TRUE(Near(bitmap.ReadPixel(x, y), kRed)) << std::hex << bitmap.ReadPixel(x, y);
    EXPECT_TRUE(Near(bitmap.ReadPixel(bitmap.Width() - 1 - x, bitmap.Height() - 1 - y), kBlue));
  }
  EXPECT_EQ(ReadExifOrientation(dir.Path() + "missing.jpg"), 1);
}

}  // namespace
}  // namespace velquin
