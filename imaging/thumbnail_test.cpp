#include "imaging/thumbnail.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdlib>
#include <fstream>

#include "imaging/errors.h"
#include "platform/test_dir.h"

namespace velquin {
namespace {

// A width x height JPEG whose left half is red and right half blue.
void WriteJpeg(const std::string& path, int width, int height) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
  for (int x = 0; x < width; ++x) {
    row[static_cast<std::size_t>(x) * 3] = x < width / 2 ? 255 : 0;
    row[static_cast<std::size_t>(x) * 3 + 2] = x < width / 2 ? 0 : 255;
  }
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(buffer), static_cast<std::streamsize>(size));
  std::free(buffer);
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
