#include "imaging/picture_header.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "imaging/bitmap32.h"
#include "imaging/picture_loader.h"
#include "platform/test_dir.h"

namespace velquin {
namespace {

std::string Le16(int v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string Le32(std::int64_t v) {
  return Le16(static_cast<int>(v & 0xFFFF)) + Le16(static_cast<int>((v >> 16) & 0xFFFF));
}
std::string Be16(int v) { return {static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; }
std::string Segment(unsigned char marker, const std::string& body) {
  return std::string("\xFF") + static_cast<char>(marker) + Be16(static_cast<int>(body.size()) + 2) + body;
}
std::string Frame(int width, int height) {
  return std::string("\x08", 1) + Be16(height) + Be16(width) + "\x03";
}

TEST(PictureHeaderTest, FormatAndSizeFromTheHeader) {
  const std::string soi = "\xFF\xD8";
  const std::string exif = Segment(0xE1, std::string(60000, 'x'));  // a big APP1 before the frame
  struct TCase {
    const char* label;
    std::string bytes;
    std::optional<TPictureHeader> expected;
  };
  const std::vector<TCase> cases = {
      {"baseline JPEG",
       soi + Segment(0xE0, "JFIF") + Segment(0xC0, Frame(4000, 3000)),
       {{"JPEG", 4000, 3000}}},
      {"progressive JPEG after a big APP1, a table and fill bytes",
       soi + exif + Segment(0xC4, "huff") + "\xFF\xFF" + Segment(0xC2, Frame(640, 480)),
       {{"JPEG", 640, 480}}},
      {"JPEG without a frame before its scan", soi + Segment(0xDA, "scan"), std::nullopt},
      {"JPEG cut inside its frame header", soi + "\xFF\xC0" + Be16(17) + "\x08\x01", std::nullopt},
      {"GIF89a", std::string("GIF89a") + Le16(320) + Le16(200), {{"GIF", 320, 200}}},
      {"GIF with another version", std::string("GIF88a") + Le16(320) + Le16(200), std::nullopt},
      {"OS/2 BMP",
       std::string("BM") + std::string(12, '\0') + Le32(12) + Le16(33) + Le16(22),
       {{"BMP", 33, 22}}},
      {"top-down BMP",
       std::string("BM") + std::string(12, '\0') + Le32(40) + Le32(800) + Le32(-600),
       {{"BMP", 800, 600}}},
      {"BMP cut short", std::string("BM") + std::string(12, '\0') + Le32(40) + Le32(800), std::nullopt},
      {"no picture", "PNG and the like", std::nullopt},
      {"empty file", "", std::nullopt},
  };
  TTestDir dir;
  for (const TCase& c : cases) {
    const auto header = ReadPictureHeader(dir.WriteFile("p", c.bytes));
    ASSERT_EQ(header.has_value(), c.expected.has_value()) << c.label;
    if (!header) continue;
    EXPECT_EQ(header->Format, c.expected->Format) << c.label;
    EXPECT_EQ(header->Width, c.expected->Width) << c.label;
    EXPECT_EQ(header->Height, c.expected->Height) << c.label;
  }
  EXPECT_FALSE(ReadPictureHeader(dir.File("missing")).has_value());
}

// The size read from the header is the size the decoder gives the picture.
TEST(PictureHeaderTest, AgreesWithTheDecoder) {
  const std::string file = std::string(VELQUIN_SOURCE_DIR) + "/imaging/testdata/interlaced.gif";
  TBitmap32 bitmap;
  ASSERT_TRUE(LoadPicture(file, bitmap));
  const auto header = ReadPictureHeader(file);
  ASSERT_TRUE(header.has_value());
  EXPECT_EQ(header->Width, bitmap.Width());
  EXPECT_EQ(header->Height, bitmap.Height());
}

}  // namespace
}  // namespace velquin
