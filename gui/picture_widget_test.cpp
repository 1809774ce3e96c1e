#include "gui/picture_widget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

namespace velquin {
namespace {

TEST(PictureWidget, ShowsTheViewBufferPixelForPixelOnThePaletteButtonColour) {
  TImage32 image;
  image.SetScaleMode(TScaleMode::smResize);
  image.Bitmap().Resize(4, 2);
  const TColor32 colours[] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFF808080u};
  for (int x = 0; x < 4; ++x) {
    image.Bitmap().WritePixel(x, 0, colours[x]);
    image.Bitmap().WritePixel(x, 1, colours[3 - x]);
  }

  TPictureWidget widget(image);
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Button, QColor(0x12, 0x34, 0x56));
  widget.setPalette(palette);
  widget.resize(40, 30);
  widget.show();
  QApplication::processEvents();

  EXPECT_EQ(image.Width(), 40);
  EXPECT_EQ(image.Height(), 30);
  EXPECT_EQ(image.Color(), 0xFF123456u);
  const QImage shown = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shown.size(), QSize(40, 30));
  // 4 x 2 fitted into 40 x 30 is 40 x 20: every pixel the view rendered reaches the screen as it stands.
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      ASSERT_EQ(shown.pixel(x, y) | 0xFF000000u, image.Buffer().ReadPixel(x, y)) << x << "," << y;
    }
  }
  EXPECT_EQ(shown.pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(shown.pixel(39, 19), 0xFFFF0000u);
  EXPECT_EQ(shown.pixel(39, 0), 0xFF808080u);
  EXPECT_EQ(shown.pixel(20, 25), 0xFF123456u);
}

TEST(PictureWidget, RepaintsWhenThePictureChanges) {
  TImage32 image;
  image.SetScaleMode(TScaleMode::smResize);
  image.Bitmap().Resize(2, 2);
  image.Bitmap().Fill(0xFF00FF00u);
  TPictureWidget widget(image);
  widget.resize(20, 20);
  widget.show();
  QApplication::processEvents();
  EXPECT_EQ(widget.grab().toImage().pixel(10, 10), 0xFF00FF00u);

  image.Bitmap().Clear();
  EXPECT_FALSE(image.BufferValid());
  QApplication::processEvents();
  EXPECT_TRUE(image.BufferValid()) << "the change reached Qt as a repaint";
  EXPECT_EQ(widget.grab().toImage().pixel(10, 10), 0xFF000000u);
}

}  // namespace
}  // namespace velquin
