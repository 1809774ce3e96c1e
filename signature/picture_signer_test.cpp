#include "signature/picture_signer.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "signature/gray_grid.h"

namespace velquin {
namespace {

// Noisy gradients (so that every Cell differs from its neighbours) drawn the way decoders draw: row by
// row with a notification for each (or all rows notified after drawing), failing after failAfter rows
// when asked.
class TRandomPicture : public TGraphic {
 public:
  TRandomPicture(int width, int height, std::uint32_t seed) : width_(width), height_(height) {
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const auto red = static_cast<TColor32>((x * 200 / width + rng() % 56) & 0xFF);
        const auto green = static_cast<TColor32>((y * 200 / height + rng() % 56) & 0xFF);
        pixels_.push_back(0xFF000000u | red << 16 | green << 8 | (rng() & 0xFF));
      }
    }
  }
  std::int32_t Width() const override { return width_; }
  std::int32_t Height() const override { return height_; }
  void Draw(TBitmap32& target) const override {
    for (int y = 0; y < height_; ++y) {
      if (y == failAfter) throw std::runtime_error("draw failed");
      std::copy_n(&pixels_[static_cast<std::size_t>(y * width_)], width_, target.ScanLine(y));
      if (everyRow) target.NotifyRowDrawn(y);
    }
  }
  bool KeepsAlpha() const override { return true; }
  bool DrawsEveryRowInOrder() const override { return everyRow; }

  bool everyRow = true;
  int failAfter = -1;

 private:
  int width_, height_;
  std::vector<TColor32> pixels_;
};

// What the signer must give: the signature of a copy of the bitmap as it stands.
TSignature Expected(const TBitmap32& bitmap, bool normalize) {
  TBitmap32 copy;
  copy.Resize(bitmap.Width(), bitmap.Height());
  copy.OuterColor = bitmap.OuterColor;
  for (int y = 0; y < bitmap.Height(); ++y) std::copy_n(bitmap.ScanLine(y), bitmap.Width(), copy.ScanLine(y));
  return normalize ? TEqualizer().EqualizeAndMakeSignature(copy) : MakeSignature(copy);
}

std::vector<TColor32> Pixels(const TBitmap32& bitmap) {
  if (bitmap.IsEmpty()) return {};
  return std::vector<TColor32>(bitmap.Bits(), bitmap.Bits() + bitmap.Width() * bitmap.Height());
}

struct TMode {
  bool normalize;
  bool helper;
  std::string Name() const {
    return std::string(normalize ? "normalize" : "plain") + (helper ? ", helper thread" : "");
  }
};
constexpr TMode kModes[] = {{false, false}, {true, false}, {true, true}};

// One signer over a run of pictures, as velquin-cli uses it: sizes around the helper's batches of rows,
// the grids' boundaries and the eight pixels of a vector step, pictures that fail halfway, and pictures
// whose rows arrive after drawing. The signature and the gray grid gathered from the rows must be those
// of the whole bitmap.
TEST(PictureSignerTest, SignsEachPictureAsItsWholeBitmap) {
  struct TLoad {
    int width, height;
    bool everyRow;
    int failAfter;
  };
  const TLoad loads[] = {{1, 1, true, -1},    {17, 33, true, -1}, {64, 48, true, -1},   {5, 100, true, 40},
                         {31, 16, true, -1},  {9, 7, false, -1},  {40, 30, true, 0},    {3, 2, true, -1},
                         {120, 90, true, 89}, {0, 0, true, -1},   {200, 150, true, -1}, {1, 9, true, -1},
                         {7, 5, true, -1},    {66, 2, true, -1}};
  for (const TMode mode : kModes) {
    SCOPED_TRACE(mode.Name());
    TBitmap32 bitmap;
    bitmap.OuterColor = 0xFF405060u;
    TPictureSigner signer(bitmap, mode.normalize, mode.helper);
    std::uint32_t seed = 1;
    for (const TLoad& load : loads) {
      SCOPED_TRACE(
          std::to_string(load.width) + " x " + std::to_string(load.height) +
          (load.failAfter >= 0 ? ", failing after " + std::to_string(load.failAfter) + " rows" : ""));
      TRandomPicture picture(load.width, load.height, seed++);
      picture.everyRow = load.everyRow;
      picture.failAfter = load.failAfter;
      signer.Reset();
      if (load.failAfter >= 0) {
        EXPECT_THROW(bitmap.AssignPicture(picture), std::runtime_error);
      } else {
        bitmap.AssignPicture(picture);
      }
      const std::vector<TColor32> before = Pixels(bitmap);
      const TSignature signature = signer.Sign();
      EXPECT_EQ(Pixels(bitmap), before);
      EXPECT_EQ(signature, Expected(bitmap, mode.normalize));
      EXPECT_EQ(signer.GrayGrid(), MakeGrayGrid(bitmap));
    }
  }
}

// A failed load is not signed; the next load must not wait for rows that never came.
TEST(PictureSignerTest, ResetAfterAFailedLoadOrWithoutALoad) {
  for (const TMode mode : kModes) {
    SCOPED_TRACE(mode.Name());
    TBitmap32 bitmap;
    TPictureSigner signer(bitmap, mode.normalize, mode.helper);
    TRandomPicture failing(50, 60, 7);
    failing.failAfter = 35;
    signer.Reset();
    EXPECT_THROW(bitmap.AssignPicture(failing), std::runtime_error);
    signer.Reset();
    signer.Reset();
    TRandomPicture picture(50, 60, 8);
    bitmap.AssignPicture(picture);
    const TSignature signature = signer.Sign();
    EXPECT_EQ(signature, Expected(bitmap, mode.normalize));
    signer.Reset();  // and the signer ends while its helper waits for rows
  }
}

}  // namespace
}  // namespace velquin
