#include "scan/decode_ahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "imaging/errors.h"
#include "imaging/jpeg_test_support.h"
#include "imaging/picture_loader.h"
#include "platform/test_dir.h"
#include "signature/equalizer.h"
#include "signature/gray_grid.h"

namespace velquin {
namespace {

// A width x height 24-bit BMP of one colour (0xRRGGBB); returns its path.
std::string WriteBmp(const TTestDir& dir, const std::string& name, std::int32_t width, std::int32_t height,
                     std::uint32_t rgb) {
  const auto put = [](std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  const std::uint32_t rowSize = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
  std::string out = "BM";
  put(out, 54 + rowSize * static_cast<std::uint32_t>(height), 4);
  put(out, 0, 4);
  put(out, 54, 4);
  put(out, 40, 4);
  put(out, static_cast<std::uint32_t>(width), 4);
  put(out, static_cast<std::uint32_t>(height), 4);
  put(out, 1, 2);
  put(out, 24, 2);
  for (int i = 0; i < 6; ++i) put(out, 0, 4);
  for (std::int32_t y = 0; y < height; ++y) {
    std::string row;
    for (std::int32_t x = 0; x < width; ++x) put(row, rgb, 3);
    row.resize(rowSize, '\0');
    out += row;
  }
  return dir.WriteFile(name, out);
}

// The signature text of the file decoded on its own by the plain steps, or the text of its failure.
std::string SignatureOf(const std::string& path) {
  TBitmap32 bitmap;
  try {
    EXPECT_TRUE(LoadPicture(path, bitmap)) << path;
  } catch (const std::exception& e) {
    return e.what();
  }
  return SignatureToText(MakeSignature(bitmap));
}

std::string TextOf(const TDecodedPicture& picture) {
  if (picture.Failure == nullptr) return SignatureToText(picture.Signature);
  try {
    std::rethrow_exception(picture.Failure);
  } catch (const std::exception& e) {
    return e.what();
  }
}

// Waits until done() holds, for a few seconds at most.
template <typename TDone>
bool WaitUntil(TDone done) {
  for (int i = 0; i < 5000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return done();
}

// Every way the caller may walk the plan answers as decoding each file there and then: in plan
// order, passing pictures over, asking for one twice, for one not planned, and on any thread count.
TEST(DecodeAheadTest, AnswersAsDecodingThereAndThen) {
  TTestDir dir;
  std::vector<std::string> files;
  for (int i = 0; i < 6; ++i)
    files.push_back(WriteBmp(dir, "p" + std::to_string(i) + ".bmp", 5 + i, 3, 0x102030u * (i + 1)));
  const std::string broken = dir.WriteFile("broken.bmp", "BM not really");
  ASSERT_EQ(SignatureOf(broken), "Stream read error");
  const std::string unplanned = WriteBmp(dir, "unplanned.bmp", 4, 4, 0xABCDEFu);
  const std::vector<std::string> plan = {files[0], files[1], broken, files[2], files[3], files[4], files[5]};
  struct TCase {
    const char* walk;
    std::vector<std::string> asked;
  };
  const TCase cases[] = {
      {"in order", plan},
      {"passing over", {files[1], files[3], files[5]}},
      {"twice and unplanned", {files[0], files[0], unplanned, broken, files[2], files[2]}},
      {"backwards", {files[5], files[4], files[0]}},
  };
  for (unsigned threads : {1u, 2u, 4u}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::to_string(threads) + " threads, " + c.walk);
      TMemoryBudget memory;
      TDecodeAhead decoder(plan, threads, false, memory);
      EXPECT_EQ(decoder.Workers(), threads == 1 ? 0u : threads);
      for (const std::string& path : c.asked) {
        const auto picture = decoder.Take(path);
        EXPECT_EQ(TextOf(*picture), SignatureOf(path)) << path;
      }
    }
  }
}

// What a picture decoded ahead must carry: the signature and gray grid of the file decoded on its own
// into a bitmap that is then read whole, or the text of its failure.
std::string WholeBitmapTexts(const std::string& path, bool normalize) {
  TBitmap32 bitmap;
  try {
    EXPECT_TRUE(LoadPicture(path, bitmap)) << path;
  } catch (const std::exception& e) {
    return e.what();
  }
  const std::string gray = GrayGridToText(MakeGrayGrid(bitmap));
  return SignatureToText(normalize ? TEqualizer().EqualizeAndMakeSignature(bitmap) : MakeSignature(bitmap)) +
         gray;
}

std::string DecodedTexts(const TDecodedPicture& picture) {
  return picture.Failure == nullptr ? TextOf(picture) + picture.Gray : TextOf(picture);
}

// The signature and gray grid gathered from the rows as libjpeg hands them out equal those of the whole
// bitmap, for the layouts the decoder meets, broken files included, on any thread count.
TEST(DecodeAheadTest, JpegRowsSignAsTheWholeBitmap) {
  struct TCase {
    const char* name;
    testing::TJpegParams params;
    double keep = 1.0;  // share of the file kept: data that ends early
  };
  const TCase cases[] = {
      {"colour 4:2:0, sides not multiples of 4", {.width = 67, .height = 45}},
      {"colour 4:4:4, one pixel", {.width = 1, .height = 1, .hSampling = 1, .vSampling = 1}},
      {"colour 4:2:2, thin", {.width = 3, .height = 90, .hSampling = 2, .vSampling = 1}},
      {"grayscale", {.width = 61, .height = 37, .components = 1, .hSampling = 1, .vSampling = 1}},
      {"progressive", {.width = 80, .height = 63, .progressive = true}},
      {"CMYK", {.width = 20, .height = 20, .components = 4, .hSampling = 1, .vSampling = 1}},
      {"truncated", {.width = 96, .height = 81}, 0.55},
      {"no JPEG data", {.width = 8, .height = 8}, 0.0},
  };
  TTestDir dir;
  std::vector<std::string> plan;
  for (const TCase& c : cases) {
    std::vector<std::uint8_t> bytes = testing::Compress(c.params);
    bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * c.keep));
    if (bytes.empty()) bytes = {'n', 'o', 't', ' ', 'J', 'P', 'E', 'G'};
    plan.push_back(
        dir.WriteFile("p" + std::to_string(plan.size()) + ".jpg", std::string(bytes.begin(), bytes.end())));
  }
  for (const bool normalize : {false, true}) {
    for (const unsigned threads : {1u, 2u}) {
      SCOPED_TRACE(std::string(normalize ? "normalising, " : "") + std::to_string(threads) + " threads");
      TMemoryBudget memory;
      TDecodeAhead decoder(plan, threads, normalize, memory);
      for (std::size_t i = 0; i < plan.size(); ++i)
        EXPECT_EQ(DecodedTexts(*decoder.Take(plan[i])), WholeBitmapTexts(plan[i], normalize))
            << cases[i].name;
    }
  }
}

// A file written again after it was decoded ahead is decoded again when it is asked for.
TEST(DecodeAheadTest, AFileChangedSinceItWasDecodedIsDecodedAgain) {
  TTestDir dir;
  const std::string first = WriteBmp(dir, "a.bmp", 8, 8, 0x112233u);
  const std::string second = WriteBmp(dir, "b.bmp", 8, 8, 0x445566u);
  // A picture's memory is checked as it decodes: both are being decoded, or done, once checked.
  std::atomic<int> checks = 0;
  TMemoryBudget memory([&] {
    ++checks;
    return std::uint64_t{1} << 30;
  });
  TDecodeAhead decoder({first, second}, 2, false, memory);
  ASSERT_TRUE(WaitUntil([&] { return checks >= 2; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  WriteBmp(dir, "a.bmp", 9, 8, 0x778899u);
  EXPECT_EQ(TextOf(*decoder.Take(first)), SignatureOf(first));
  EXPECT_EQ(TextOf(*decoder.Take(second)), SignatureOf(second));
}

// A picture that fits in memory alone, refused while the workers decoded ahead beside memory held
// elsewhere: decoded again alone when it is asked for. One that does not fit even alone keeps its
// refusal.
TEST(DecodeAheadTest, APictureRefusedForMemoryIsDecodedAgainAlone) {
  TTestDir dir;
  const std::string small = WriteBmp(dir, "small.bmp", 4, 4, 0x101010u);  // 64 bytes
  const std::string big = WriteBmp(dir, "big.bmp", 40, 40, 0x202020u);    // 6,400 bytes
  const std::string huge = WriteBmp(dir, "huge.bmp", 50, 50, 0x303030u);  // 10,000 bytes
  std::atomic<int> checks = 0;
  TMemoryBudget memory([&] {
    ++checks;
    return std::uint64_t{6400 + 63};
  });
  TMemoryShare elsewhere;
  ASSERT_TRUE(memory.Take(64, elsewhere));
  TDecodeAhead decoder({small, big, huge}, 2, false, memory);
  // Every picture's memory was checked while the 64 bytes were held.
  ASSERT_TRUE(WaitUntil([&] { return checks >= 4; }));
  elsewhere.GiveBack();
  EXPECT_EQ(TextOf(*decoder.Take(small)), SignatureOf(small));
  EXPECT_EQ(TextOf(*decoder.Take(big)), SignatureOf(big));
  const auto third = decoder.Take(huge);
  ASSERT_NE(third->Failure, nullptr);
  EXPECT_THROW(std::rethrow_exception(third->Failure), EOutOfResources);
  EXPECT_EQ(TextOf(*third), "Not enough memory for a picture of 50 x 50 pixels");
  // A picture holds its memory only while it is decoded and signed.
  EXPECT_EQ(memory.Taken(), 0u);
}

// A caller waiting for a worker runs its own work meanwhile. When that work throws, the failure
// passes on, and the pictures after the one waited for still come as decoding them then would.
TEST(DecodeAheadTest, ACallerWaitingForAWorkerRunsItsOwnWork) {
  for (const bool throws : {false, true}) {
    SCOPED_TRACE(throws ? "the work throws" : "the work returns");
    TTestDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i)
      files.push_back(WriteBmp(dir, "p" + std::to_string(i) + ".bmp", 4 + i, 4, 0x203040u * (i + 1)));
    // The workers are held in their memory check until the caller's work has run twice (or, should
    // it never run, for a few seconds).
    std::atomic<bool> open = false;
    TMemoryBudget memory([&] {
      WaitUntil([&] { return open.load(); });
      return std::uint64_t{1} << 30;
    });
    TDecodeAhead decoder(files, 2, false, memory);
    int runs = 0;
    const auto work = [&] {
      if (++runs < 2) return;
      open = true;
      if (throws) throw std::runtime_error("stopped");
    };
    if (throws) {
      EXPECT_THROW(decoder.Take(files[0], work), std::runtime_error);
    } else {
      EXPECT_EQ(TextOf(*decoder.Take(files[0], work)), SignatureOf(files[0]));
    }
    EXPECT_GE(runs, 2);
    for (std::size_t i = 1; i < files.size(); ++i)
      EXPECT_EQ(TextOf(*decoder.Take(files[i])), SignatureOf(files[i]));
  }
}

TEST(MemoryBudgetTest, SharesCountAgainstTheMemoryLeftUntilGivenBack) {
  std::uint64_t left = 100;
  TMemoryBudget memory([&] { return left; });
  TMemoryShare a, b;
  EXPECT_TRUE(memory.Take(60, a));
  EXPECT_FALSE(memory.Take(41, b));
  EXPECT_EQ(b.Bytes(), 0u);
  EXPECT_TRUE(memory.Take(40, b));
  EXPECT_EQ(memory.Taken(), 100u);
  left = 50;  // the system has less to give than is already taken
  TMemoryShare c;
  EXPECT_FALSE(memory.Take(1, c));
  {
    TMemoryShare moved = std::move(a);
    EXPECT_EQ(a.Bytes(), 0u);
    EXPECT_EQ(memory.Taken(), 100u);
  }
  EXPECT_EQ(memory.Taken(), 40u);
  EXPECT_TRUE(memory.Take(10, b)) << "taking again gives back what the share held";
  EXPECT_EQ(memory.Taken(), 10u);
}

}  // namespace
}  // namespace velquin
