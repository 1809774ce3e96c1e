#include "imaging/picture_loader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "imaging/available_memory.h"
#include "imaging/errors.h"
#include "imaging/test_support.h"

namespace velquin {
namespace {

using testing::TBytes;

// A 2 x 1 24-bit BMP: red, then blue.
TBytes SmallBmp() {
  return {'B', 'M', 62, 0, 0, 0, 0, 0,  0, 0, 54, 0, 0, 0, 40,  0,   0, 0, 2, 0, 0,
          0,   1,   0,  0, 0, 1, 0, 24, 0, 0, 0,  0, 0, 0, 0,   0,   0, 0, 0, 0, 0,
          0,   0,   0,  0, 0, 0, 0, 0,  0, 0, 0,  0, 0, 0, 255, 255, 0, 0, 0, 0};
}

class PictureLoaderTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const TBytes& bytes) {
    const std::string path = dir_.File(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    testing::WriteFile(path, bytes);
    return path;
  }
  // Loads with a bitmap that already holds a picture, so that emptying it shows.
  bool Load(const std::string& path) {
    bitmap_.Resize(5, 5);
    return LoadPicture(path, bitmap_, nullptr, [this](std::uint64_t bytes) { return bytes <= memoryLeft_; });
  }
  std::string LoadError(const std::string& path) {
    try {
      Load(path);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }

  TTestDir dir_;
  TBitmap32 bitmap_;
  std::uint64_t memoryLeft_ = AvailableMemory();
};

TEST_F(PictureLoaderTest, PicksTheDecoderByTheNameOfTheFileOnly) {
  struct TCase {
    const char* name;
    bool loads;
  };
  const TCase cases[] = {
      {"A.BMP", true},
      {"a.bmp", true},
      {"Mixed.bMp", true},
      {"A.BMPX", false},
      {"A.JPEG.BMP", true},
      {"HOLIDAY.BMP.BMP", false},
      {"X.BMP.bmp", false},
      {"BMP", false},
      {".BMP", true},
      {"old.JPG/in.bmp", true},
      {"PICS.BMP/pic.bmp", true},
      {"PICS.BMP/notes.txt", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write(c.name, SmallBmp());
    EXPECT_EQ(IsPictureFile(path), c.loads);
    EXPECT_EQ(Load(path), c.loads);
    EXPECT_EQ(bitmap_.Width(), c.loads ? 2 : 0);
    EXPECT_EQ(bitmap_.Height(), c.loads ? 1 : 0);
    if (c.loads) {
      EXPECT_EQ(bitmap_.ReadPixel(0, 0), 0xFFFF0000u);
      EXPECT_EQ(bitmap_.ReadPixel(1, 0), 0xFF0000FFu);
    }
  }
}

TEST_F(PictureLoaderTest, AllFormatsAddsExtensionsUnderTheSameRule) {
  struct TCase {
    const char* name;
    bool classic;
    bool all;
  };
  const TCase cases[] = {
      {"a.bmp", true, true},       {"a.JPEG", false, true},     {"a.jpe", false, true},
      {"a.png", false, true},      {"a.WebP", false, true},     {"a.tif", false, true},
      {"a.TIFF", false, true},     {"a.heic", false, true},     {"a.HEIF", false, true},
      {"a.jpegx", false, false},   {"a.tiffany", false, false}, {"HOLIDAY.PNG.PNG", false, false},
      {"X.JPE.JPEG", false, true}, {"a.jpg.png", false, true},  {"PNG", false, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write(c.name, SmallBmp());
    EXPECT_EQ(IsPictureFile(path), c.classic);
    EXPECT_EQ(IsPictureFile(path, TPictureFormats::kClassic), c.classic);
    EXPECT_EQ(IsPictureFile(path, TPictureFormats::kAll), c.all);
    std::filesystem::remove(path);
  }
}

TEST_F(PictureLoaderTest, JpegUnderEveryExtensionGivesTheSamePixels) {
  // .jpeg and .jpe files go through the very decoder .jpg files do: the signature cannot differ.
  const std::string jpg = dir_.File("p.jpg");
  const std::string command = "cjpeg -quality 90 '" + std::string(VELQUIN_SOURCE_DIR) +
                              "/imaging/testdata/pattern.ppm' > '" + jpg + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  TBitmap32 reference;
  ASSERT_TRUE(LoadPicture(jpg, reference));
  for (const char* name : {"p.jpeg", "p.JPE"}) {
    SCOPED_TRACE(name);
    const std::string path = Write(name, testing::ReadFile(jpg));
    EXPECT_FALSE(LoadPicture(path, bitmap_)) << "not without All formats";
    ASSERT_TRUE(LoadPicture(path, bitmap_, nullptr, {}, TPictureFormats::kAll));
    ASSERT_EQ(bitmap_.Width(), reference.Width());
    ASSERT_EQ(bitmap_.Height(), reference.Height());
    EXPECT_TRUE(
        std::equal(bitmap_.Bits(), bitmap_.Bits() + bitmap_.Width() * bitmap_.Height(), reference.Bits()));
  }
}

TEST_F(PictureLoaderTest, MissingFilesAndFoldersAreSkippedQuietly) {
  std::filesystem::create_directories(dir_.File("OLD.JPG"));
  for (const std::string& path : {dir_.File("none.jpg"), dir_.File("OLD.JPG")}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(IsPictureFile(path));
    EXPECT_FALSE(Load(path));
    EXPECT_TRUE(bitmap_.IsEmpty());
  }
}

TEST_F(PictureLoaderTest, AFileDatedBefore1980Loads) {
  const std::string old = Write("1975.bmp", SmallBmp());
  const struct timeval times[2] = {{157766400, 0}, {157766400, 0}};  // 1975-01-01
  ASSERT_EQ(utimes(old.c_str(), times), 0);
  EXPECT_TRUE(Load(old));
  EXPECT_FALSE(bitmap_.IsEmpty());
}

// The picture test looks at the name and the file's existence only, never at its bytes.
TEST_F(PictureLoaderTest, IsPictureFileReadsNothing) {
  const std::string text = Write("not-really.jpg", {'h', 'i'});
  EXPECT_TRUE(IsPictureFile(text));
  ASSERT_EQ(chmod(text.c_str(), 0), 0);
  EXPECT_TRUE(IsPictureFile(text));
  EXPECT_FALSE(IsPictureFile(Write("x.txt", {})));
}

TEST_F(PictureLoaderTest, EmptyAndBrokenFiles) {
  EXPECT_TRUE(Load(Write("empty.jpg", {})));
  EXPECT_TRUE(bitmap_.IsEmpty());
  EXPECT_EQ(bitmap_.Width(), 0);
  EXPECT_TRUE(Load(Write("empty.bmp", {})));
  EXPECT_EQ(bitmap_.Height(), 0);
  EXPECT_EQ(LoadError(Write("empty.gif", {})), "Premature end of data");

  EXPECT_EQ(LoadError(Write("text.jpg", {'h', 'e', 'l', 'l', 'o', '\n'})),
            "Not a JPEG file: starts with 0x68 0x65");
  EXPECT_TRUE(bitmap_.IsEmpty());
  EXPECT_EQ(bitmap_.Width(), 0);

  const std::string fifo = dir_.File("pipe.jpg");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(LoadError(fifo), "Cannot open file \"" + fifo + "\". Not a regular file");
  if (geteuid() != 0) {  // root reads every file
    const std::string locked = Write("locked.bmp", SmallBmp());
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    EXPECT_EQ(LoadError(locked), "Cannot open file \"" + locked + "\". Permission denied");
  }
}

TEST_F(PictureLoaderTest, RefusesPicturesLargerThanMemory) {
  TBytes huge = SmallBmp();
  huge[18] = huge[19] = huge[20] = huge[22] = huge[23] = huge[24] = 0xFF;
  huge[21] = huge[25] = 0x7F;  // 2147483647 x 2147483647
  EXPECT_EQ(LoadError(Write("huge.bmp", huge)),
            "Not enough memory for a picture of 2147483647 x 2147483647 pixels");
  EXPECT_TRUE(bitmap_.IsEmpty());
}

TEST_F(PictureLoaderTest, RefusesAPictureOneByteOverTheMemoryLeft) {
  struct TCase {
    std::uint64_t memoryLeft;
    bool loads;
  };
  const std::string bmp = Write("two.bmp", SmallBmp());  // 2 x 1 pixels: 8 bytes of bitmap
  for (const TCase& c : {TCase{8, true}, TCase{7, false}, TCase{0, false}}) {
    memoryLeft_ = c.memoryLeft;
    EXPECT_EQ(LoadError(bmp), c.loads ? "" : "Not enough memory for a picture of 2 x 1 pixels")
        << c.memoryLeft;
    EXPECT_EQ(bitmap_.Width(), c.loads ? 2 : 0);
  }
}

// Files far larger than memory that are no picture of their type: reading one whole would fail
// for want of memory; each is refused from its first bytes with its decoder's own text.
TEST_F(PictureLoaderTest, RefusesAHugeFileOfTheWrongKindFromItsFirstBytes) {
  struct TCase {
    const char* name;
    const char* error;
  };
  const TCase cases[] = {
      {"zeros.jpg", "Not a JPEG file: starts with 0x00 0x00"},
      {"zeros.gif", "Invalid GIF signature"},
      {"zeros.bmp", "Bitmap image is not valid"},
  };
  for (const TCase& c : cases) {
    const std::string path = Write(c.name, {});
    std::filesystem::resize_file(path, std::uint64_t{1} << 40);  // sparse: no disk space taken
    EXPECT_EQ(LoadError(path), c.error) << c.name;
    std::filesystem::remove(path);
  }
}

TEST_F(PictureLoaderTest, JpegDecodingStaysWithinTheMemoryLeft) {
  // A small progressive JPEG whose frame header is made to announce 65500 x 65500 pixels: its
  // bitmap (17 GB) fits in the memory left, but not together with the library's whole-image
  // coefficient buffer (26 GB), so the load must fail before touching either.
  memoryLeft_ = std::uint64_t{20} << 30;
  const std::string small = dir_.File("small.ppm"), jpeg = dir_.File("huge.jpg");
  testing::TBytes ppm = {'P', '6', ' ', '1', '6', ' ', '1', '6', ' ', '2', '5', '5', '\n'};
  ppm.resize(ppm.size() + 16 * 16 * 3, 0x80);
  testing::WriteFile(small, ppm);
  if (std::system(("cjpeg -progressive -sample 1x1 '" + small + "' > '" + jpeg + "' 2>/dev/null").c_str()) !=
      0)
    GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
  testing::TBytes bytes = testing::ReadFile(jpeg);
  bool patched = false;
  for (std::size_t i = 0; i + 9 < bytes.size() && !patched; ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC2) {
      bytes[i + 5] = bytes[i + 7] = 0xFF;  // height and width 65500 (0xFFDC)
      bytes[i + 6] = bytes[i + 8] = 0xDC;
      patched = true;
    }
  ASSERT_TRUE(patched);
  testing::WriteFile(jpeg, bytes);
  try {
    Load(jpeg);
    FAIL() << "loaded";
  } catch (const EOutOfResources& e) {
    EXPECT_STREQ(e.what(), "Not enough memory for a picture of 65500 x 65500 pixels");
  }
  EXPECT_TRUE(Load(Write("after.bmp", SmallBmp())));
}

}  // namespace
}  // namespace velquin
