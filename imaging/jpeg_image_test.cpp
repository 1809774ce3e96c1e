#include "imaging/jpeg_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "imaging/errors.h"
#include "imaging/jpeg_test_support.h"
#include "imaging/test_support.h"

namespace velquin {
namespace {

using testing::TBytes;

using testing::Compress;
using testing::TJpegParams;

std::string Decode(const TBytes& bytes, TBitmap32& bitmap) {
  TJPEGImage jpeg;
  bitmap.SetHeight(0);
  bitmap.SetWidth(0);
  try {
    jpeg.LoadFromBytes(bytes);
    bitmap.AssignPicture(jpeg);
  } catch (const EDecoderError& e) {
    return e.what();
  }
  return "";
}

bool HaveDjpeg() { return std::system("command -v djpeg >/dev/null 2>&1") == 0; }

TEST(JpegImageTest, MatchesDjpegPixelForPixel) {
  if (!HaveDjpeg()) GTEST_SKIP() << "djpeg (libjpeg-turbo-progs) is not installed";
  struct TCase {
    const char* name;
    TJpegParams params;
    double keep = 1.0;  // share of the file kept, to test data that ends early
  };
  const TCase cases[] = {
      {"colour 4:2:0", {.width = 67, .height = 45}},
      {"colour 4:4:4", {.width = 40, .height = 33, .hSampling = 1, .vSampling = 1}},
      {"colour 4:2:2", {.width = 51, .height = 29, .hSampling = 2, .vSampling = 1}},
      {"grayscale", {.width = 61, .height = 37, .components = 1, .hSampling = 1, .vSampling = 1}},
      {"progressive", {.width = 80, .height = 64, .progressive = true}},
      {"progressive grayscale",
       {.width = 30, .height = 50, .components = 1, .hSampling = 1, .vSampling = 1, .progressive = true}},
      {"truncated", {.width = 96, .height = 80}, 0.55},
      {"truncated progressive", {.width = 96, .height = 80, .progressive = true}, 0.6},
  };
  TTestDir dir;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TBytes bytes = Compress(c.params);
    bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * c.keep));
    const std::string in = dir.File("in.jpg"), out = dir.File("out.pnm");
    testing::WriteFile(in, bytes);
    const std::string options = c.params.components == 1 ? "-colors 236 -dither fs -onepass " : "";
    const std::string command = "djpeg " + options + "-pnm -outfile '" + out + "' '" + in + "' 2>/dev/null";
    std::remove(out.c_str());
    (void)std::system(command.c_str());  // data that ends early gives warnings and a non-zero status
    testing::TPnm expected;
    ASSERT_TRUE(testing::ParsePnm(testing::ReadFile(out), expected));
    TBitmap32 bitmap;
    ASSERT_EQ(Decode(bytes, bitmap), "");
    EXPECT_EQ(testing::FirstDifference(bitmap, expected), -1);
  }
}

TEST(JpegImageTest, ReportsHeaderAndSize) {
  TJPEGImage jpeg;
  jpeg.LoadFromBytes(Compress({.width = 33, .height = 17, .progressive = true}));
  EXPECT_EQ(jpeg.Width(), 33);
  EXPECT_EQ(jpeg.Height(), 17);
  EXPECT_TRUE(jpeg.ProgressiveEncoding());
  EXPECT_FALSE(jpeg.Grayscale());
  jpeg.LoadFromBytes(Compress({.components = 1, .hSampling = 1, .vSampling = 1}));
  EXPECT_TRUE(jpeg.Grayscale());
  EXPECT_FALSE(jpeg.ProgressiveEncoding());
}

TEST(JpegImageTest, GrayscaleUsesTheQuantiserLevels) {
  std::set<TColor32> levels;
  for (int j = 0; j < 236; ++j) {
    const TColor32 v = static_cast<TColor32>((j * 255 + 117) / 235);
    levels.insert(kOpaqueBlack | v << 16 | v << 8 | v);
  }
  TBitmap32 bitmap;
  ASSERT_EQ(
      Decode(Compress({.width = 90, .height = 70, .components = 1, .hSampling = 1, .vSampling = 1}), bitmap),
      "");
  for (int i = 0; i < 90 * 70; ++i)
    ASSERT_TRUE(levels.count(bitmap.Bits()[i])) << std::hex << bitmap.Bits()[i];
}

TEST(JpegImageTest, ProgressiveAndBaselineOfTheSameCoefficientsAgree) {
  TBitmap32 baseline, progressive;
  ASSERT_EQ(Decode(Compress({.width = 77, .height = 53}), baseline), "");
  ASSERT_EQ(Decode(Compress({.width = 77, .height = 53, .progressive = true}), progressive), "");
  ASSERT_EQ(progressive.Width(), 77);
  for (int i = 0; i < 77 * 53; ++i) ASSERT_EQ(baseline.Bits()[i], progressive.Bits()[i]) << i;
}

// The decoder hands out each row as soon as it is decoded, top first, already holding its final
// pixels: callers count the rows then instead of reading the bitmap again.
TEST(JpegImageTest, ReportsEachRowOnceItIsFinal) {
  for (const int components : {3, 1}) {
    SCOPED_TRACE(std::to_string(components) + " components");
    TBitmap32 bitmap;
    std::vector<int> rows;
    std::vector<TColor32> seen;
    bitmap.OnRowDrawn = [&](TBitmap32& drawn, std::int32_t y) {
      rows.push_back(y);
      seen.insert(seen.end(), drawn.ScanLine(y), drawn.ScanLine(y) + drawn.Width());
    };
    ASSERT_EQ(Decode(Compress({.width = 29, .height = 19, .components = components}), bitmap), "");
    ASSERT_EQ(rows.size(), 19u);
    for (int y = 0; y < 19; ++y) EXPECT_EQ(rows[static_cast<std::size_t>(y)], y);
    ASSERT_EQ(seen.size(), 29u * 19u);
    for (std::size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], bitmap.Bits()[i]) << i;
  }
}

TEST(JpegImageTest, EmptyTextAndFourComponentFiles) {
  TBitmap32 bitmap;
  EXPECT_EQ(Decode({}, bitmap), "");
  EXPECT_TRUE(bitmap.IsEmpty());
  EXPECT_EQ(bitmap.Width(), 0);

  const std::string text = "This is not a picture.\n";
  EXPECT_EQ(Decode(TBytes(text.begin(), text.end()), bitmap), "Not a JPEG file: starts with 0x54 0x68");
  EXPECT_TRUE(bitmap.IsEmpty());
  EXPECT_EQ(Decode({0xFF}, bitmap), "Not a JPEG file: starts with 0xff 0xff");

  const std::string cmyk = Decode(Compress({.components = 4, .hSampling = 1, .vSampling = 1}), bitmap);
  EXPECT_NE(cmyk.find("4 colour components"), std::string::npos) << cmyk;
  EXPECT_TRUE(bitmap.IsEmpty());
}

TEST(JpegImageTest, CorruptScanDataFailsOrDecodesButNeverOverruns) {
  TBytes bytes = Compress({.width = 64, .height = 64});
  for (std::size_t i = 200; i < bytes.size(); i += 37) bytes[i] ^= 0x5A;
  TBitmap32 bitmap;
  const std::string error = Decode(bytes, bitmap);
  if (error.empty()) {
    EXPECT_EQ(bitmap.Width(), 64);
    for (int i = 0; i < 64 * 64; ++i) ASSERT_EQ(bitmap.Bits()[i] >> 24, 0xFFu);
  } else {
    EXPECT_EQ(error.find("JPEG error #"), std::string::npos) << error;
  }
}

// The open file is fed to the library in pieces; whatever the piece boundaries cut (scan data, a
// marker skipped across several pieces, data that ends early), the pixels are those of the bytes.
TEST(JpegImageTest, FileReadInPiecesDecodesAsTheBytes) {
  struct TCase {
    const char* name;
    TBytes bytes;
  };
  TBytes commented = Compress({.width = 1000, .height = 800});
  TBytes comment = {0xFF, 0xFE, 0xFF, 0xFF};  // a comment segment of the greatest length, 65535 bytes
  comment.resize(65535 + 2, 'c');
  commented.insert(commented.begin() + 2, comment.begin(), comment.end());
  TBytes truncated = Compress({.width = 1000, .height = 800});
  truncated.resize(truncated.size() / 2);
  const TCase cases[] = {
      {"baseline", Compress({.width = 1000, .height = 800})},
      {"progressive", Compress({.width = 1000, .height = 800, .progressive = true})},
      {"grayscale",
       Compress({.width = 1000, .height = 800, .components = 1, .hSampling = 1, .vSampling = 1})},
      {"comment over several pieces", commented},
      {"ends early", truncated},
  };
  TTestDir dir;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_GT(c.bytes.size(), 3 * 65536u);
    const std::string path = dir.File("picture.jpg");
    testing::WriteFile(path, c.bytes);
    TBitmap32 fromBytes, fromFile;
    ASSERT_EQ(Decode(c.bytes, fromBytes), "");
    TJPEGImage jpeg;
    jpeg.LoadFromFile(path);
    fromFile.AssignPicture(jpeg);
    ASSERT_EQ(fromFile.Width(), fromBytes.Width());
    ASSERT_EQ(fromFile.Height(), fromBytes.Height());
    ASSERT_GT(fromFile.Width(), 0);
    const std::size_t pixels = static_cast<std::size_t>(fromFile.Width()) * fromFile.Height();
    for (std::size_t i = 0; i < pixels; ++i) ASSERT_EQ(fromFile.Bits()[i], fromBytes.Bits()[i]) << i;
  }
}

}  // namespace
}  // namespace velquin
