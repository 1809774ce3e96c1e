#include "imaging/thumbnail.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "imaging/errors.h"
#include "imaging/jpeg_test_support.h"
#include "imaging/test_support.h"
#include "platform/test_dir.h"

namespace velquin {
namespace {

// A width x height JPEG whose left half is red and right half blue.
void WriteJpeg(const std::string& path, int width, int height) {
  testing::TJpegParams params;
  params.width = width;
  params.height = height;
  params.quality = 75;
  const std::vector<std::uint8_t> bytes = testing::CompressPixels(params, [&](int x, int, int c) {
    if (c == 1) return 0;
    return (c == 0) == (x < width / 2) ? 255 : 0;
  });
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool Near(std::uint32_t pixel, std::uint32_t rgb) {
  for (int shift : {16, 8, 0}) {
    if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) - static_cast<int>((rgb >> shift) & 0xFF)) > 12)
      return false;
  }
  return (pixel >> 24) == 0xFF;
}

TEST(ThumbnailTest, ScaledToFitKeepingProportions) {
  TTestDir dir;
  struct TCase {
    int width, height, maxSide, thumbWidth, thumbHeight;
  };
  for (const TCase c : {TCase{1600, 1200, 160, 160, 120}, TCase{1200, 1600, 160, 120, 160},
                        TCase{1000, 1000, 300, 300, 300}, TCase{64, 48, 160, 64, 48}}) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    const std::string path = dir.File("p.jpg");
    WriteJpeg(path, c.width, c.height);
    const TThumbnail thumbnail = LoadThumbnail(path, c.maxSide);
    EXPECT_EQ(thumbnail.Width, c.thumbWidth);
    EXPECT_EQ(thumbnail.Height, c.thumbHeight);
    ASSERT_EQ(thumbnail.Pixels.size(), static_cast<std::size_t>(c.thumbWidth) * c.thumbHeight);
    EXPECT_TRUE(
        Near(thumbnail.Pixels[static_cast<std::size_t>(c.thumbWidth) * (c.thumbHeight / 2) + 2], 0xFF0000));
    EXPECT_TRUE(Near(thumbnail.Pixels[static_cast<std::size_t>(c.thumbWidth) * (c.thumbHeight / 2 + 1) - 3],
                     0x0000FF));
  }
}

// A JPEG's thumbnail is turned as its EXIF orientation says: the left (red) half of a 64 x 32 picture
// shows on top when turned a quarter clockwise, at the right when turned half round.
TEST(ThumbnailTest, TurnedAsTheExifOrientationSays) {
  TTestDir dir;
  const std::string plain = dir.File("plain.jpg");
  WriteJpeg(plain, 64, 32);
  struct TCase {
    std::uint16_t orientation;
    int width, height;
    int redX, redY;  // a point in the red half
  };
  for (const TCase c : {TCase{1, 64, 32, 4, 16}, TCase{3, 64, 32, 59, 16}, TCase{6, 32, 64, 16, 4}}) {
    SCOPED_TRACE(c.orientation);
    const std::string path = dir.File("turned.jpg");
    testing::WriteFile(path, testing::WithExifOrientation(testing::ReadFile(plain), c.orientation));
    const TThumbnail thumbnail = LoadThumbnail(path, 160);
    ASSERT_EQ(thumbnail.Width, c.width);
    ASSERT_EQ(thumbnail.Height, c.height);
    const auto at = [&](int x, int y) { return thumbnail.Pixels[static_cast<std::size_t>(y) * c.width + x]; };
    EXPECT_TRUE(Near(at(c.redX, c.redY), 0xFF0000)) << std::hex << at(c.redX, c.redY);
    EXPECT_TRUE(Near(at(c.width - 1 - c.redX, c.height - 1 - c.redY), 0x0000FF));
  }
}

TEST(ThumbnailTest, GifAndFailures) {
  const TThumbnail gif = LoadThumbnail(std::string(VELQUIN_SOURCE_DIR) + "/imaging/testdata/plain.gif", 8);
  EXPECT_LE(std::max(gif.Width, gif.Height), 8);
  EXPECT_GT(gif.Width, 0);
  TTestDir dir;
  EXPECT_THROW(LoadThumbnail(dir.WriteFile("cut.jpg", "\xFF\xD8\xFF\xC0\x00"), 100), EDecoderError);
  EXPECT_THROW(LoadThumbnail(dir.WriteFile("text.jpg", "no picture"), 100), EDecoderError);
  EXPECT_THROW(LoadThumbnail(dir.File("missing.jpg"), 100), EDecoderError);
}

}  // namespace
}  // namespace velquin
