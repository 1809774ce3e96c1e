#include "imaging/bitmap32.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "imaging/errors.h"

namespace velquin {
namespace {

using Events = std::vector<std::string>;

// A bitmap whose notifications are written to a log that outlives it.
class BitmapTest : public ::testing::Test {
 protected:
  BitmapTest() { Watch(bitmap_); }

  void Watch(TBitmap32& bitmap) {
    bitmap.OnChange = [this](TBitmap32&) { events_.push_back("change"); };
    bitmap.OnResize = [this](TBitmap32&) { events_.push_back("resize"); };
    bitmap.OnHandleChanged = [this](TBitmap32&) { events_.push_back("handle"); };
  }

  // Returns the events logged since the last call.
  Events Take() {
    Events taken;
    taken.swap(events_);
    return taken;
  }

  // Number of pixels that hold the value.
  int Count(TColor32 value) const {
    int count = 0;
    for (int y = 0; y < bitmap_.Height(); ++y)
      for (int x = 0; x < bitmap_.Width(); ++x) count += bitmap_.ReadPixel(x, y) == value ? 1 : 0;
    return count;
  }

  Events events_;
  TBitmap32 bitmap_;
};

const Events kResized = {"handle", "change", "resize"};

TEST_F(BitmapTest, ResizeKeepsTheOtherSizeAndNotifiesInOrder) {
  EXPECT_TRUE(bitmap_.IsEmpty());
  EXPECT_TRUE(bitmap_.Resize(640, 480));
  EXPECT_EQ(Take(), kResized);
  EXPECT_FALSE(bitmap_.IsEmpty());

  bitmap_.SetHeight(0);
  EXPECT_EQ(Take(), kResized);
  EXPECT_EQ(bitmap_.Width(), 640);
  EXPECT_EQ(bitmap_.Height(), 0);
  EXPECT_TRUE(bitmap_.IsEmpty());
  EXPECT_EQ(bitmap_.Bits(), nullptr);

  bitmap_.SetWidth(0);
  EXPECT_EQ(Take(), kResized);
  EXPECT_EQ(bitmap_.Width(), 0);

  bitmap_.SetHeight(0);
  bitmap_.SetWidth(0);
  EXPECT_FALSE(bitmap_.Resize(0, 0));
  EXPECT_TRUE(Take().empty());
}

TEST_F(BitmapTest, ExchangeTradesPicturesButKeepsHandlersAndNotifiesBoth) {
  TBitmap32 other;
  other.Resize(3, 2);
  other.WritePixel(2, 1, 0xFF123456u);
  const TColor32* otherPixels = other.Bits();
  Events otherEvents;
  other.OnChange = [&](TBitmap32&) { otherEvents.push_back("change"); };
  bitmap_.Resize(1, 1);
  Take();

  bitmap_.Exchange(other);
  EXPECT_EQ(Take(), kResized) << "the handlers stayed with their bitmap";
  EXPECT_EQ(otherEvents, Events{"change"});
  EXPECT_EQ(bitmap_.Bits(), otherPixels) << "no copy";
  EXPECT_EQ(bitmap_.Width(), 3);
  EXPECT_EQ(bitmap_.Height(), 2);
  EXPECT_EQ(bitmap_.ReadPixel(2, 1), 0xFF123456u);
  EXPECT_EQ(other.Width(), 1);
  EXPECT_EQ(other.Height(), 1);

  // With an empty bitmap: the picture moves and the giver is left empty.
  TBitmap32 empty;
  empty.Exchange(bitmap_);
  EXPECT_TRUE(bitmap_.IsEmpty());
  EXPECT_EQ(empty.ReadPixel(2, 1), 0xFF123456u);
}

TEST_F(BitmapTest, NegativeSizesBecomeZero) {
  EXPECT_TRUE(bitmap_.Resize(-5, 10));
  EXPECT_EQ(bitmap_.Width(), 0);
  EXPECT_EQ(bitmap_.Height(), 10);
  EXPECT_TRUE(bitmap_.IsEmpty());
  EXPECT_FALSE(bitmap_.Resize(-1, 10));
}

TEST_F(BitmapTest, ResizeToTheSameSizeKeepsPixelsSilently) {
  bitmap_.Resize(4, 3);
  bitmap_.WritePixel(1, 1, 0x12345678u);
  Take();
  EXPECT_FALSE(bitmap_.Resize(4, 3));
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(bitmap_.ReadPixel(1, 1), 0x12345678u);

  // Any real change gives fresh memory that reads 0x00000000.
  bitmap_.Fill(0xFFFFFFFFu);
  bitmap_.Resize(3, 4);
  EXPECT_EQ(Count(0x00000000u), 12);
}

TEST_F(BitmapTest, ReadAndWriteOutsideTheBitmap) {
  bitmap_.Resize(5, 4);
  bitmap_.Fill(0xFFFFFFFFu);
  Take();
  const struct {
    int x, y;
  } outside[] = {{-1, 0}, {5, 0}, {0, 4}, {0, -1}, {-2147483647 - 1, 0}, {0, 2147483647}};
  for (const auto& p : outside) {
    SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.y));
    EXPECT_EQ(bitmap_.ReadPixel(p.x, p.y), 0x00000000u);
    bitmap_.WritePixel(p.x, p.y, 0x11111111u);
  }
  EXPECT_EQ(Count(0xFFFFFFFFu), 20);
  bitmap_.WritePixel(4, 3, 0x00ABCDEFu);  // alpha 0 is stored as it is
  EXPECT_EQ(bitmap_.ReadPixel(4, 3), 0x00ABCDEFu);
  EXPECT_EQ(bitmap_.Bits()[4 + 3 * 5], 0x00ABCDEFu);
  EXPECT_TRUE(Take().empty());

  TBitmap32 empty;
  EXPECT_EQ(empty.ReadPixel(0, 0), 0x00000000u);
}

TEST_F(BitmapTest, FillAndClear) {
  bitmap_.Clear();
  bitmap_.Fill(0x12345678u);
  bitmap_.Resize(100, 0);
  Take();
  bitmap_.Clear();
  EXPECT_TRUE(Take().empty());

  bitmap_.Resize(100, 50);
  Take();
  bitmap_.Clear();
  EXPECT_EQ(Take(), Events{"change"});
  EXPECT_EQ(bitmap_.Width(), 100);
  EXPECT_EQ(bitmap_.Height(), 50);
  EXPECT_EQ(Count(kOpaqueBlack), 5000);
}

TEST_F(BitmapTest, FillRectIsHalfOpenAndClipped) {
  const struct {
    const char* name;
    int x1, y1, x2, y2;
    int filledX1, filledY1, filledX2, filledY2;  // expected half-open block, empty when x1 == x2
  } cases[] = {
      {"top left corner", -10, -10, 5, 5, 0, 0, 5, 5},
      {"empty width", 3, 3, 3, 9, 0, 0, 0, 0},
      {"reversed", 6, 3, 2, 9, 0, 0, 0, 0},
      {"inside", 2, 3, 4, 5, 2, 3, 4, 5},
      {"bottom right overhang", 8, 7, 20, 20, 8, 7, 10, 10},
      {"right of the bitmap", 10, 0, 12, 5, 0, 0, 0, 0},
      {"above the bitmap", 0, -5, 10, 0, 0, 0, 0, 0},
      {"whole bitmap", -2147483647 - 1, -1, 2147483647, 10, 0, 0, 10, 10},
  };
  constexpr TColor32 kColour = 0x00C0FFEEu;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap32 bitmap;
    bitmap.Resize(10, 10);
    int changes = 0;
    bitmap.OnChange = [&](TBitmap32&) { ++changes; };
    bitmap.FillRect(c.x1, c.y1, c.x2, c.y2, kColour);
    const bool fills = c.filledX1 < c.filledX2;
    EXPECT_EQ(changes, fills ? 1 : 0);
    for (int y = 0; y < 10; ++y) {
      for (int x = 0; x < 10; ++x) {
        const bool inside = x >= c.filledX1 && x < c.filledX2 && y >= c.filledY1 && y < c.filledY2;
        ASSERT_EQ(bitmap.ReadPixel(x, y), inside ? kColour : 0u) << x << "," << y;
      }
    }
  }
}

TEST_F(BitmapTest, MakeOpaqueSetsAlphaOnlyAndAlwaysNotifies) {
  bitmap_.MakeOpaque();
  EXPECT_EQ(Take(), Events{"change"});
  bitmap_.Resize(2, 1);
  bitmap_.WritePixel(0, 0, 0x00123456u);
  bitmap_.WritePixel(1, 0, 0x7F654321u);
  Take();
  bitmap_.MakeOpaque();
  EXPECT_EQ(Take(), Events{"change"});
  EXPECT_EQ(bitmap_.ReadPixel(0, 0), 0xFF123456u);
  EXPECT_EQ(bitmap_.ReadPixel(1, 0), 0xFF654321u);
}

TEST_F(BitmapTest, UpdateCounterHoldsBackOnlyTheChangeNotification) {
  bitmap_.StartUpdate();
  bitmap_.StartUpdate();
  bitmap_.Resize(3, 3);
  bitmap_.Clear();
  EXPECT_EQ(Take(), (Events{"handle", "resize"}));
  bitmap_.EndUpdate();
  bitmap_.NotifyChange();
  EXPECT_TRUE(Take().empty());
  bitmap_.EndUpdate();
  bitmap_.NotifyChange();
  EXPECT_EQ(Take(), Events{"change"});
}

TEST_F(BitmapTest, AllocationFailureLeavesTheBitmapEmpty) {
  bitmap_.Resize(10, 10);
  Take();
  try {
    bitmap_.Resize(1 << 30, 1 << 30);
    ADD_FAILURE() << "no error";
  } catch (const EOutOfResources& e) {
    EXPECT_EQ(std::string(e.what()), "Can't allocate the DIB handle");
  }
  EXPECT_EQ(Take(), kResized);
  EXPECT_EQ(bitmap_.Width(), 0);
  EXPECT_EQ(bitmap_.Height(), 0);
  EXPECT_TRUE(bitmap_.IsEmpty());
  EXPECT_TRUE(bitmap_.Resize(2, 2));
  EXPECT_EQ(Count(0u), 4);
}

TEST_F(BitmapTest, LockIsRecursiveAndCounted) {
  bitmap_.Lock();
  bitmap_.Lock();
  EXPECT_EQ(bitmap_.LockCount(), 2);
  bitmap_.Unlock();
  bitmap_.Unlock();
  EXPECT_EQ(bitmap_.LockCount(), 0);
}

TEST_F(BitmapTest, DestructionReleasesPixelsWithoutChangeNotification) {
  auto bitmap = std::make_unique<TBitmap32>();
  bitmap->Resize(8, 8);
  Watch(*bitmap);
  bitmap.reset();
  EXPECT_EQ(Take(), (Events{"handle", "resize"}));
}

// A picture of a given size that paints chosen pixels, or fails on request.
class FakePicture : public TGraphic {
 public:
  FakePicture(int width, int height) : width_(width), height_(height) {}
  std::int32_t Width() const override {
    if (failSize) throw std::runtime_error("size unreadable");
    return width_;
  }
  std::int32_t Height() const override { return height_; }
  void Draw(TBitmap32& target) const override {
    if (failDraw && !everyRow) throw std::runtime_error("draw failed");
    for (int y = 0; y < height_; ++y) {
      if (everyRow) {
        if (failDraw && y == height_ - 1) throw std::runtime_error("draw failed");
        for (int x = 0; x < width_; ++x) target.WritePixel(x, y, 0xFF000000u | static_cast<TColor32>(x + y));
        drawnRows.push_back(y);
        target.NotifyRowDrawn(y);
      } else {
        target.WritePixel(0, y, 0x00123456u);
      }
    }
  }
  bool KeepsAlpha() const override { return keepsAlpha || everyRow; }
  bool DrawsEveryRowInOrder() const override { return everyRow; }

  bool failSize = false;
  bool failDraw = false;
  bool keepsAlpha = false;
  bool everyRow = false;
  mutable std::vector<int> drawnRows;

 private:
  int width_, height_;
};

TEST_F(BitmapTest, AssignPictureOfNothingNotifiesOnce) {
  bitmap_.AssignPicture(FakePicture(0, 0));
  EXPECT_TRUE(bitmap_.IsEmpty());
  EXPECT_EQ(Take(), Events{"change"});
}

TEST_F(BitmapTest, AssignPictureLeavesUndrawnPixelsOpaqueBlack) {
  bitmap_.AssignPicture(FakePicture(3, 2));
  EXPECT_EQ(Take(), (Events{"handle", "resize", "change"}));
  EXPECT_EQ(bitmap_.Width(), 3);
  EXPECT_EQ(bitmap_.Height(), 2);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(bitmap_.ReadPixel(0, y), 0xFF123456u);
    EXPECT_EQ(bitmap_.ReadPixel(1, y), kOpaqueBlack);
    EXPECT_EQ(bitmap_.ReadPixel(2, y), kOpaqueBlack);
  }
  EXPECT_EQ(bitmap_.UpdateCount(), 0);
}

TEST_F(BitmapTest, AssignPictureOfARawRasterKeepsItsAlpha) {
  FakePicture picture(3, 2);
  picture.keepsAlpha = true;
  bitmap_.AssignPicture(picture);
  EXPECT_EQ(bitmap_.ReadPixel(0, 1), 0x00123456u);
  EXPECT_EQ(bitmap_.ReadPixel(2, 1), 0x00000000u);
}

TEST_F(BitmapTest, AssignPictureFailuresStillNotifyOnce) {
  FakePicture drawFails(3, 2);
  drawFails.failDraw = true;
  EXPECT_THROW(bitmap_.AssignPicture(drawFails), std::runtime_error);
  EXPECT_EQ(Take(), (Events{"handle", "resize", "change"}));
  EXPECT_EQ(bitmap_.Width(), 3);
  EXPECT_EQ(bitmap_.Height(), 2);
  EXPECT_EQ(Count(0x00000000u), 6);
  EXPECT_EQ(bitmap_.UpdateCount(), 0);

  bitmap_.SetHeight(0);
  bitmap_.SetWidth(0);
  Take();
  FakePicture sizeFails(3, 2);
  sizeFails.failSize = true;
  EXPECT_THROW(bitmap_.AssignPicture(sizeFails), std::runtime_error);
  EXPECT_EQ(Take(), Events{"change"});
  EXPECT_TRUE(bitmap_.IsEmpty());
  EXPECT_EQ(bitmap_.UpdateCount(), 0);
}

// OnRowDrawn sees each row once, top first, holding its final pixels: during Draw for a picture that
// reports its rows, afterwards (made opaque) for any other.
TEST_F(BitmapTest, AssignPictureHandsOutEveryFinishedRowInOrder) {
  for (const bool everyRow : {false, true}) {
    SCOPED_TRACE(everyRow ? "rows reported by Draw" : "rows after Draw");
    FakePicture picture(4, 3);
    picture.everyRow = everyRow;
    std::vector<int> rows;
    std::vector<std::size_t> drawnBefore;
    bitmap_.OnRowDrawn = [&](TBitmap32& bitmap, std::int32_t y) {
      rows.push_back(y);
      drawnBefore.push_back(picture.drawnRows.size());
      const TColor32 first = everyRow ? 0xFF000000u | static_cast<TColor32>(y) : 0xFF123456u;
      EXPECT_EQ(bitmap.ReadPixel(0, y), first);
      EXPECT_EQ(bitmap.ReadPixel(3, y), everyRow ? 0xFF000000u | static_cast<TColor32>(3 + y) : kOpaqueBlack);
    };
    bitmap_.SetHeight(0);
    bitmap_.AssignPicture(picture);
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 2}));
    // Reported rows fire as Draw goes; other pictures' rows only once Draw has finished.
    EXPECT_EQ(drawnBefore,
              everyRow ? (std::vector<std::size_t>{1, 2, 3}) : (std::vector<std::size_t>{0, 0, 0}));
  }
}

// A picture that would have drawn every pixel gets no cleared memory; when it fails halfway, the
// bitmap must still not show what the memory held before, nor change the rows it handed out.
TEST_F(BitmapTest, FailedDrawOfAnUnclearedPictureLeavesZerosBelowTheDrawnRows) {
  FakePicture picture(5, 4);
  picture.everyRow = true;
  picture.failDraw = true;
  EXPECT_THROW(bitmap_.AssignPicture(picture), std::runtime_error);
  EXPECT_EQ(bitmap_.Width(), 5);
  EXPECT_EQ(bitmap_.Height(), 4);
  EXPECT_EQ(picture.drawnRows, (std::vector<int>{0, 1, 2}));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(bitmap_.ReadPixel(x, y), y < 3 ? 0xFF000000u | static_cast<TColor32>(x + y) : 0u)
          << x << "," << y;
  EXPECT_EQ(bitmap_.UpdateCount(), 0);
}

}  // namespace
}  // namespace velquin
