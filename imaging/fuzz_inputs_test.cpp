// The fuzzers' seed files: good ones decode; "broken-<outcome>" ones, found by fuzzing, end in the
// outcome their name spells (an error text, or "big": loaded, too large for a fuzz run to draw).
// Every input that ever crashed a decoder (fuzz/regressions/) now ends cleanly.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "fuzz/decode_picture.h"
#include "imaging/bitmap.h"
#include "imaging/errors.h"
#include "imaging/gif_image.h"
#include "imaging/heif_image.h"
#include "imaging/jpeg_image.h"
#include "imaging/png_image.h"
#include "imaging/test_support.h"
#include "imaging/tiff_image.h"
#include "imaging/webp_image.h"

namespace velquin {
namespace {

// "Bogus marker length" -> "bogus-marker-length", as the broken files are named.
std::string Slug(const std::string& text) {
  std::string slug;
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)))
      slug += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    else if (!slug.empty() && slug.back() != '-')
      slug += '-';
  }
  while (!slug.empty() && slug.back() == '-') slug.pop_back();
  return slug;
}

template <class TDecoder>
std::string Outcome(const testing::TBytes& bytes) {
  TDecoder decoder;
  try {
    decoder.LoadFromBytes(bytes);
    if (static_cast<std::int64_t>(decoder.Width()) * decoder.Height() > kMaxFuzzPixels) return "big";
    TBitmap32 bitmap;
    bitmap.AssignPicture(decoder);
    return bitmap.Width() > 0 && bitmap.Height() > 0 ? "decoded" : "empty";
  } catch (const EDecoderError& e) {
    return Slug(e.what());
  } catch (const EOutOfResources& e) {
    return Slug(e.what());
  }
}

std::filesystem::path FuzzFolder(const char* kind, const std::string& target) {
  return std::filesystem::path(VELQUIN_SOURCE_DIR) / "fuzz" / kind / target;
}

template <class TDecoder>
void CheckSeeds(const std::string& target) {
  int good = 0, broken = 0;
  for (const auto& entry : std::filesystem::directory_iterator(FuzzFolder("corpus", target))) {
    const std::string name = entry.path().stem().string();
    SCOPED_TRACE(entry.path().string());
    const std::string outcome = Outcome<TDecoder>(testing::ReadFile(entry.path().string()));
    if (name.starts_with("broken-")) {
      ++broken;
      EXPECT_EQ(outcome, name.substr(7));
    } else {
      ++good;
      EXPECT_EQ(outcome, "decoded");
    }
  }
  EXPECT_GT(good, 0);
  EXPECT_GT(broken, 0);
}

template <class TDecoder>
void CheckRegressions(const std::string& target) {
  for (const auto& entry : std::filesystem::directory_iterator(FuzzFolder("regressions", target))) {
    if (entry.path().filename().string().starts_with(".")) continue;
    SCOPED_TRACE(entry.path().string());
    const testing::TBytes bytes = testing::ReadFile(entry.path().string());
    EXPECT_EQ(DecodePicture<TDecoder>(bytes.data(), bytes.size()), 0);
  }
}

TEST(FuzzInputsTest, SeedsEndInTheirNamedOutcome) {
  CheckSeeds<TJPEGImage>("jpeg");
  CheckSeeds<TGIFImage>("gif");
  CheckSeeds<TBitmap>("bmp");
  CheckSeeds<TPngImage>("png");
  CheckSeeds<TWebPImage>("webp");
  CheckSeeds<TTiffImage>("tiff");
  CheckSeeds<THeifImage>("heif");
}

// Runs under the sanitizers: reaching the end without a report is what is tested.
TEST(FuzzInputsTest, FormerCrashersEndCleanly) {
  CheckRegressions<TJPEGImage>("jpeg");
  CheckRegressions<TGIFImage>("gif");
  CheckRegressions<TBitmap>("bmp");
}

}  // namespace
}  // namespace velquin
