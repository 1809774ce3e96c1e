// Every fuzzer seed decodes cleanly, and every input that ever crashed a decoder now fails or
// succeeds cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fuzz/decode_picture.h"
#include "imaging/bitmap.h"
#include "imaging/errors.h"
#include "imaging/gif_image.h"
#include "imaging/jpeg_image.h"
#include "imaging/test_support.h"

namespace velquin {
namespace {

template <class TDecoder>
void LoadEach(const std::string& target, bool mustDecode) {
  const std::filesystem::path folder =
      std::filesystem::path(VELQUIN_SOURCE_DIR) / "fuzz" / (mustDecode ? "corpus" : "regressions") / target;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with(".")) continue;
    SCOPED_TRACE(entry.path().string());
    ++files;
    const testing::TBytes bytes = testing::ReadFile(entry.path().string());
    if (mustDecode) {
      TDecoder decoder;
      ASSERT_NO_THROW(decoder.LoadFromBytes(bytes));
      TBitmap32 bitmap;
      ASSERT_NO_THROW(bitmap.AssignPicture(decoder));
      EXPECT_GT(bitmap.Width(), 0);
    } else {
      EXPECT_EQ(DecodePicture<TDecoder>(bytes.data(), bytes.size()), 0);
    }
  }
  if (mustDecode) {
    EXPECT_GT(files, 0);
  }
}

TEST(FuzzInputsTest, SeedsDecode) {
  LoadEach<TJPEGImage>("jpeg", true);
  LoadEach<TGIFImage>("gif", true);
  LoadEach<TBitmap>("bmp", true);
}

TEST(FuzzInputsTest, FormerCrashersFailCleanly) {
  LoadEach<TJPEGImage>("jpeg", false);
  LoadEach<TGIFImage>("gif", false);
  LoadEach<TBitmap>("bmp", false);
}

}  // namespace
}  // namespace velquin
