#include "imaging/picture_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velquin {
namespace {

constexpr TColor32 kBackground = 0xFF123456u;

// Every pixel distinct and opaque: 0xFF, then the row in 12 bits, then the column in 12 bits.
TColor32 PixelOf(std::int32_t x, std::int32_t y) {
  return 0xFF000000u | (static_cast<TColor32>(y) << 12) | static_cast<TColor32>(x);
}

void FillPicture(TBitmap32& bitmap, std::int32_t width, std::int32_t height) {
  bitmap.Resize(width, height);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) bitmap.WritePixel(x, y, PixelOf(x, y));
}

// The view as the review window sets it up: fitted, aligned top-left.
void SetUpReviewView(TImage32& view, std::int32_t width, std::int32_t height) {
  view.SetScaleMode(TScaleMode::smResize);
  view.SetColor(kBackground);
  view.SetSize(width, height);
}

// Renders the view and returns its visible pixels, row-major.
std::vector<TColor32> Render(TImage32& view) {
  std::vector<TColor32> shown;
  view.Paint([&](const TBitmap32& buffer) {
    for (std::int32_t y = 0; y < view.Height(); ++y)
      for (std::int32_t x = 0; x < view.Width(); ++x) shown.push_back(buffer.ReadPixel(x, y));
  });
  return shown;
}

struct FitCase {
  std::int32_t pictureWidth, pictureHeight, viewWidth, viewHeight;
  TRect expected;
};

class PictureViewFit : public ::testing::TestWithParam<FitCase> {};

TEST_P(PictureViewFit, DrawsPictureInRectAndBackgroundAround) {
  const FitCase& c = GetParam();
  TImage32 view;
  SetUpReviewView(view, c.viewWidth, c.viewHeight);
  FillPicture(view.Bitmap(), c.pictureWidth, c.pictureHeight);

  const TRect rect = view.PictureRect();
  EXPECT_EQ(rect, c.expected);
  const std::vector<TColor32> shown = Render(view);
  ASSERT_EQ(shown.size(), static_cast<std::size_t>(c.viewWidth * c.viewHeight));
  for (std::int32_t y = 0; y < c.viewHeight; ++y) {
    for (std::int32_t x = 0; x < c.viewWidth; ++x) {
      const bool inside = x >= rect.Left && x < rect.Right && y >= rect.Top && y < rect.Bottom;
      const TColor32 pixel = shown[static_cast<std::size_t>(x + y * c.viewWidth)];
      if (inside != (pixel != kBackground)) {
        FAIL() << "pixel (" << x << ", " << y << ") " << std::hex << pixel
               << (inside ? " inside" : " outside");
      }
    }
  }
  if (rect.Width() >= 2 && rect.Height() >= 2) {
    // The corners of the picture land on the corners of its rectangle.
    EXPECT_EQ(shown[0], PixelOf(0, 0));
    EXPECT_EQ(shown[static_cast<std::size_t>(rect.Right - 1 + (rect.Bottom - 1) * c.viewWidth)],
              PixelOf(c.pictureWidth - 1, c.pictureHeight - 1));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PictureViewFit,
    ::testing::Values(FitCase{1000, 1000, 270, 205, {0, 0, 205, 205}},  // background on columns 205..269
                      FitCase{640, 480, 270, 205, {0, 0, 270, 202}},    // 202.5 rounds to the even 202
                      FitCase{50, 40, 270, 205, {0, 0, 256, 205}},      // enlarged until it meets an edge
                      FitCase{600, 400, 300, 200, {0, 0, 300, 200}},    // equal factors: no background
                      FitCase{4, 1, 10, 10, {0, 0, 10, 2}},             // 2.5 rounds to 2
                      FitCase{600, 1, 270, 205, {0, 0, 270, 0}},        // height 0: background only
                      FitCase{600, 2, 270, 205, {0, 0, 270, 1}},
                      FitCase{0, 0, 270, 205, {0, 0, 0, 0}},    // empty picture
                      FitCase{640, 480, 0, 0, {0, 0, 0, 0}}));  // empty view

TEST(PictureView, SingleRowTakesTheMiddleSourceRow) {
  TImage32 view;
  SetUpReviewView(view, 270, 205);
  FillPicture(view.Bitmap(), 600, 2);
  const std::vector<TColor32> shown = Render(view);
  EXPECT_EQ(shown[0], PixelOf(0, 0));
  EXPECT_EQ(shown[269], PixelOf(599, 0));
  EXPECT_EQ(shown[270], kBackground);
}

TEST(StretchTo, MapsColumnsAndRowsToNearestWithTiesToEven) {
  struct Case {
    std::int32_t source, destination;
    std::vector<std::int32_t> expected;
  };
  const Case cases[] = {
      {3, 5, {0, 0, 1, 2, 2}},
      {4, 7, {0, 0, 1, 2, 2, 2, 3}},
      {5, 1, {2}},  // (SW - 1) div 2
      {4, 1, {1}},
      {7, 3, {0, 3, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.source) + " into " + std::to_string(c.destination));
    TBitmap32 source;
    FillPicture(source, c.source, c.source);
    TBitmap32 destination;
    destination.Resize(c.destination, c.destination);
    StretchTo(source, destination, {0, 0, c.destination, c.destination});
    for (std::int32_t y = 0; y < c.destination; ++y) {
      for (std::int32_t x = 0; x < c.destination; ++x) {
        EXPECT_EQ(destination.ReadPixel(x, y),
                  PixelOf(c.expected[static_cast<std::size_t>(x)], c.expected[static_cast<std::size_t>(y)]))
            << "column " << x << ", row " << y;
      }
    }
  }
}

TEST(StretchTo, CopiesOneToOneAndClipsToTheDestination) {
  TBitmap32 source;
  FillPicture(source, 4, 3);
  TBitmap32 destination;
  destination.Resize(5, 5);
  destination.Fill(kBackground);
  StretchTo(source, destination, {2, 3, 6, 6});  // 4 x 3 rectangle, clipped to 3 x 2
  for (std::int32_t y = 0; y < 5; ++y) {
    for (std::int32_t x = 0; x < 5; ++x) {
      const bool inside = x >= 2 && y >= 3;
      EXPECT_EQ(destination.ReadPixel(x, y), inside ? PixelOf(x - 2, y - 3) : kBackground) << x << "," << y;
    }
  }
  StretchTo(source, destination, {10, 10, 20, 20});  // wholly outside: nothing drawn
  EXPECT_EQ(destination.ReadPixel(4, 4), PixelOf(2, 1));
}

TEST(PictureView, ClearShowsBlackRectangleWithBackgroundBelow) {
  TImage32 view;
  SetUpReviewView(view, 270, 205);
  FillPicture(view.Bitmap(), 640, 480);
  Render(view);
  int requests = 0;
  view.OnRepaintRequest = [&] { ++requests; };

  view.Bitmap().Clear();
  EXPECT_GE(requests, 1);
  EXPECT_FALSE(view.BufferValid());
  const std::vector<TColor32> shown = Render(view);
  EXPECT_TRUE(view.BufferValid());
  for (std::int32_t y = 0; y < 205; ++y) {
    for (std::int32_t x = 0; x < 270; ++x) {
      const TColor32 expected = y < 202 ? kOpaqueBlack : kBackground;
      ASSERT_EQ(shown[static_cast<std::size_t>(x + y * 270)], expected) << x << "," << y;
    }
  }
}

TEST(PictureView, ReloadOfSameSizeRequestsRepaintUnlessUpdating) {
  TImage32 view;
  SetUpReviewView(view, 270, 205);
  FillPicture(view.Bitmap(), 64, 48);
  Render(view);
  int requests = 0;
  int changes = 0;
  view.OnRepaintRequest = [&] { ++requests; };
  view.OnChange = [&] { ++changes; };

  view.Bitmap().Fill(0xFF00FF00u);
  EXPECT_GE(requests, 1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(Render(view)[0], 0xFF00FF00u);

  view.StartUpdate();
  requests = 0;
  view.Bitmap().Fill(0xFF0000FFu);
  EXPECT_EQ(requests, 0);
  EXPECT_TRUE(view.BufferValid());
  view.EndUpdate();
}

TEST(PictureView, BufferIsReplacedOnlyWhenOutgrownOrMuchLarger) {
  TImage32 view;
  SetUpReviewView(view, 270, 205);
  FillPicture(view.Bitmap(), 40, 100);  // tall: always meets the bottom edge
  Render(view);
  const TColor32* bits = view.Buffer().Bits();
  ASSERT_NE(bits, nullptr);

  struct Step {
    std::int32_t width, height;
    bool replaced;
    std::int32_t bufferWidth, bufferHeight;
  };
  const Step steps[] = {
      {250, 190, false, 270, 205},  // small shrink: kept
      {230, 165, false, 270, 205},  // exactly 40 smaller: kept
      {229, 200, true, 229, 200},   // 41 smaller in one direction
      {230, 200, true, 230, 200},   // grows by one
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.width) + " x " + std::to_string(s.height));
    view.SetSize(s.width, s.height);
    EXPECT_FALSE(view.BufferValid());
    const std::vector<TColor32> shown = Render(view);
    EXPECT_EQ(view.Buffer().Width(), s.bufferWidth);
    EXPECT_EQ(view.Buffer().Height(), s.bufferHeight);
    if (!s.replaced) {
      EXPECT_EQ(view.Buffer().Bits(), bits);
    }
    bits = view.Buffer().Bits();
    // The picture still fits the view itself, not the buffer.
    EXPECT_EQ(view.PictureRect().Bottom, s.height);
    EXPECT_EQ(shown[static_cast<std::size_t>(s.width - 1)], kBackground);
  }
}

TEST(PictureView, AutoSizeTakesThePictureSize) {
  TImage32 view;
  view.AutoSize = true;
  FillPicture(view.Bitmap(), 50, 40);
  EXPECT_EQ(view.Width(), 50);
  EXPECT_EQ(view.Height(), 40);
  view.SetScaleMode(TScaleMode::smScale);
  view.SetScale(2.0f);
  view.Bitmap().Resize(30, 20);
  EXPECT_EQ(view.Width(), 60);
  EXPECT_EQ(view.Height(), 40);
  view.Bitmap().Resize(0, 0);  // an empty picture leaves the view as it is
  EXPECT_EQ(view.Width(), 60);
}

TEST(PictureView, OtherModesAndAlignments) {
  struct Case {
    TScaleMode mode;
    TBitmapAlign align;
    float scale;
    TRect expected;
  };
  const Case cases[] = {
      {TScaleMode::smNormal, TBitmapAlign::baTopLeft, 1.0f, {0, 0, 50, 40}},
      {TScaleMode::smNormal, TBitmapAlign::baCenter, 1.0f, {110, 82, 160, 122}},
      {TScaleMode::smStretch, TBitmapAlign::baTopLeft, 1.0f, {0, 0, 270, 205}},
      {TScaleMode::smScale, TBitmapAlign::baTopLeft, 2.5f, {0, 0, 125, 100}},
      {TScaleMode::smScale, TBitmapAlign::baTopLeft, 0.0f, {0, 0, 0, 0}},  // Scale floors at 0.001
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode) * 10 + static_cast<int>(c.align));
    TImage32 view;
    view.SetSize(270, 205);
    FillPicture(view.Bitmap(), 50, 40);
    view.SetScaleMode(c.mode);
    view.SetBitmapAlign(c.align);
    view.SetScale(c.scale);
    EXPECT_EQ(view.PictureRect(), c.expected);
  }
}

TEST(PictureView, ShowsAPictureOwnedElsewhereAndLetsGoOfIt) {
  TBitmap32 picture;
  {
    TImage32 view(picture);
    SetUpReviewView(view, 270, 205);
    EXPECT_EQ(&view.Bitmap(), &picture);
    int requests = 0;
    view.OnRepaintRequest = [&] { ++requests; };
    FillPicture(picture, 640, 480);
    EXPECT_GE(requests, 1);
    EXPECT_EQ(view.PictureRect(), (TRect{0, 0, 270, 202}));
    EXPECT_EQ(Render(view)[0], PixelOf(0, 0));
  }
  // The view is gone: the picture's notifications reach nothing.
  EXPECT_FALSE(picture.OnChange);
  EXPECT_FALSE(picture.OnResize);
  picture.Clear();
  picture.Resize(3, 3);
}

}  // namespace
}  // namespace velquin
