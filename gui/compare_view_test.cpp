// The pair as the window shows it: the facts under each picture, one zoom for both pictures, and
// pictures turned as their EXIF orientation says.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/form1.h"
#include "app/test_support.h"
#include "gui/main_window.h"
#include "gui/matches_grid.h"
#include "gui/picture_facts.h"
#include "gui/picture_widget.h"
#include "gui/qt_desktop.h"
#include "gui/shared_zoom.h"
#include "gui/window_test_support.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

namespace fs = std::filesystem;

TEST(PictureFactsText, SizesAsTheDesktopWritesThemAndTheLargerInBold) {
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  const TPictureFacts left{"/p/a.jpg", 1604830, 4000, 3000, "JPEG", 0};
  const TPictureFacts right{"/p/b.gif", 999, 480, 360, "GIF", 0};
  const TFactsComparison comparison = CompareFacts(left, right);
  const QString leftText = FactsText(left, comparison, true, english);
  const QString rightText = FactsText(right, comparison, false, english);
  EXPECT_TRUE(
      leftText.startsWith(QStringLiteral("<b>1.6 MB</b> \u00B7 <b>4000 \u00D7 3000</b> \u00B7 JPEG<br>")))
      << leftText.toStdString();
  // Equal dates: neither is bold.
  EXPECT_FALSE(leftText.endsWith(QStringLiteral("</b>"))) << leftText.toStdString();
  EXPECT_TRUE(rightText.startsWith(QStringLiteral("999 bytes \u00B7 480 \u00D7 360 \u00B7 GIF<br>")))
      << rightText.toStdString();
  EXPECT_FALSE(rightText.contains(QStringLiteral("<b>")));
  EXPECT_TRUE(FactsToolTip(left, english).contains(QStringLiteral("1,604,830 bytes")));
  EXPECT_TRUE(FactsText(TPictureFacts{}, comparison, true, english).isEmpty());
}

class CompareViewTest : public WindowTest {
 protected:
  void SetUp() override {
    OpenWindow(desktop_);
    window_->resize(900, 640);
    ActivateWindow();
    form_->SetDirEditText(Folder());
  }

  // A pair put straight into Matches: the pair display shows it at once.
  void ShowPair(const std::string& file1, const std::string& file2, std::int32_t maxDiff = 1) {
    TTable& matches = form_->MatchesTable;
    matches.Append();
    matches.SetFieldValue("MaxDiff", maxDiff);
    matches.SetFieldValue("File1", file1);
    matches.SetFieldValue("File2", file2);
    matches.Post();
    Settle();
  }

  std::string Bmp(const std::string& name, int width, int height) {
    const std::string path = Folder() + name;
    // Each pixel's colour names its place, so a view shows which part of the picture it shows.
    WriteBmp(path, width, height, [](std::int32_t x, std::int32_t y) {
      return static_cast<std::uint32_t>(((x & 0xFF) << 16) | ((y & 0xFF) << 8) | 0x40);
    });
    return path;
  }

  void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    window_->Im1->repaint();
    window_->Im2->repaint();
  }

  // The point of the picture at the middle of the view, as fractions of the picture's sides.
  static QPointF CentreShown(TPictureWidget* widget) {
    TImage32& view = widget->Image();
    const TRect rect = view.PictureRect();
    return {(view.Width() / 2.0 - rect.Left) / rect.Width(),
            (view.Height() / 2.0 - rect.Top) / rect.Height()};
  }

  static std::string Text(QLabel* label) { return label->text().toStdString(); }

  TQtDesktop desktop_;
};

TEST_F(CompareViewTest, EachPictureHasItsFactsUnderItWithTheLargerMarked) {
  const std::string big = Bmp("big.bmp", 64, 48);
  const std::string copy = Bmp("copy.bmp", 32, 24);
  SetFileTime(big, 1'600'000'000);
  SetFileTime(copy, 1'700'000'000);
  ShowPair(big, copy);
  EXPECT_EQ(Text(window_->lFile1), "big.bmp");
  EXPECT_EQ(Text(window_->lFile2), "copy.bmp");
  const QLocale locale;
  const QString date1 = locale.toString(QDateTime::fromSecsSinceEpoch(1'600'000'000), QLocale::ShortFormat);
  const QString date2 = locale.toString(QDateTime::fromSecsSinceEpoch(1'700'000'000), QLocale::ShortFormat);
  const QString size1 = locale.formattedDataSize(54 + 64 * 48 * 3, 1, QLocale::DataSizeSIFormat);
  const QString size2 = locale.formattedDataSize(54 + 32 * 24 * 3, 1, QLocale::DataSizeSIFormat);
  EXPECT_EQ(window_->lFacts1->text(), QStringLiteral("<b>%1</b> \u00B7 <b>64 \u00D7 48</b> \u00B7 BMP<br>%2")
                                          .arg(size1.toHtmlEscaped(), date1.toHtmlEscaped()));
  EXPECT_EQ(
      window_->lFacts2->text(),
      QStringLiteral("%1 \u00B7 32 \u00D7 24 \u00B7 BMP<br><b>%2</b>").arg(size2, date2.toHtmlEscaped()));
  // "Bigger" still speaks of pixels.
  EXPECT_EQ(Text(window_->lComp), "<== Bigger");
  EXPECT_TRUE(window_->lFile1->toolTip().contains(QString::fromStdString(big)));

  // An empty table leaves nothing under the pictures.
  form_->MatchesTable.EmptyTable();
  Settle();
  EXPECT_EQ(Text(window_->lFile1), "");
  EXPECT_TRUE(window_->lFacts1->text().isEmpty());
  EXPECT_TRUE(window_->lFacts2->text().isEmpty());
}

// A 400 x 300 original and its 100 x 75 copy: fitted alike by default, at their true sizes in 1:1.
TEST_F(CompareViewTest, SpaceTogglesFitAndOneToOneForBothPictures) {
  ShowPair(Bmp("original.bmp", 400, 300), Bmp("copy.bmp", 100, 75));
  TSharedZoom& zoom = *window_->Zoom;
  TImage32& left = window_->Im1->Image();
  TImage32& right = window_->Im2->Image();
  ASSERT_TRUE(zoom.Fitted());
  EXPECT_NEAR(left.PictureSize().Width, right.PictureSize().Width, 2)
      << "fitted, a copy looks like its original";
  EXPECT_FALSE(window_->Zoom->OneToOneAction->isChecked());

  window_->DBGrid->setFocus();
  QTest::keyClick(window_->DBGrid, Qt::Key_Space);
  Settle();
  ASSERT_FALSE(zoom.Fitted());
  EXPECT_EQ(zoom.Scale(), 1);
  EXPECT_TRUE(window_->Zoom->OneToOneAction->isChecked());
  EXPECT_EQ(left.PictureSize(), (TSize{400, 300}));
  EXPECT_EQ(right.PictureSize(), (TSize{100, 75}));
  // Each shows the middle of its picture; the small copy stands whole in the middle of its view.
  const TRect copyRect = right.PictureRect();
  EXPECT_NEAR(copyRect.Left, (right.Width() - 100) / 2, 1);
  EXPECT_NEAR(copyRect.Top, (right.Height() - 75) / 2, 1);
  EXPECT_NEAR(CentreShown(window_->Im1).x(), 0.5, 0.01);
  // What reaches the screen is the picture 1:1: the pixel in the middle of the left view is the
  // picture's pixel there.
  const QImage shown = window_->Im1->grab().toImage();
  const TRect rect = left.PictureRect();
  const int x = left.Width() / 2, y = left.Height() / 2;
  EXPECT_EQ(shown.pixel(x, y) | 0xFF000000u, form_->Im1.ReadPixel(x - rect.Left, y - rect.Top) | 0xFF000000u);

  // A new pair keeps the zoom.
  ShowPair(Bmp("a.bmp", 300, 200), Bmp("b.bmp", 150, 100), 2);
  form_->MatchesTable.Last();
  Settle();
  EXPECT_EQ(window_->Im2->Image().PictureSize(), (TSize{150, 100}));

  QTest::keyClick(window_->DBGrid, Qt::Key_Space);
  Settle();
  EXPECT_TRUE(zoom.Fitted());
  EXPECT_EQ(left.ScaleMode(), TScaleMode::smResize);

  // In a text box Space is a space.
  window_->MarginEdit->setFocus();
  QTest::keyClick(window_->MarginEdit, Qt::Key_Space);
  Settle();
  EXPECT_TRUE(zoom.Fitted());
  EXPECT_TRUE(window_->MarginEdit->text().endsWith(' '));
}

// Both pictures larger than their views: zooming and dragging either keeps them on the same point,
// relative to each picture.
TEST_F(CompareViewTest, ZoomAndDragMoveBothPicturesTogether) {
  ShowPair(Bmp("original.bmp", 1600, 1200), Bmp("copy.bmp", 800, 600));
  TSharedZoom& zoom = *window_->Zoom;
  const TImage32& view = window_->Im1->Image();
  const double fitted = std::min(view.Width() / 1600.0, view.Height() / 1200.0);

  // Ctrl+wheel on the right picture zooms both, one step from the fitted scale.
  QWheelEvent wheel(QPointF(10, 10), window_->Im2->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(window_->Im2, &wheel);
  Settle();
  ASSERT_FALSE(zoom.Fitted());
  EXPECT_NEAR(zoom.Scale(), fitted * TSharedZoom::kStep, 1e-9);
  EXPECT_EQ(window_->Im1->Image().Scale(), window_->Im2->Image().Scale());
  // The keys step the same way, where the pictures have the focus.
  window_->Im1->setFocus();
  QTest::keyClick(window_->Im1, Qt::Key_Plus);
  EXPECT_NEAR(zoom.Scale(), fitted * TSharedZoom::kStep * TSharedZoom::kStep, 1e-9);
  QTest::keyClick(window_->Im1, Qt::Key_Minus);
  EXPECT_NEAR(zoom.Scale(), fitted * TSharedZoom::kStep, 1e-9);

  zoom.SetScale(1);
  Settle();
  const QPointF before = CentreShown(window_->Im1);
  EXPECT_NEAR(before.x(), 0.5, 0.01);
  // Drag the left picture 80 pixels left and 60 up: both show a point further right and down.
  const QPoint from = window_->Im1->rect().center();
  QTest::mousePress(window_->Im1, Qt::LeftButton, Qt::NoModifier, from);
  QTest::mouseMove(window_->Im1, from - QPoint(40, 30));
  QTest::mouseMove(window_->Im1, from - QPoint(80, 60));
  QTest::mouseRelease(window_->Im1, Qt::LeftButton, Qt::NoModifier, from - QPoint(80, 60));
  Settle();
  EXPECT_NEAR(zoom.Centre().x(), 0.5 + 80.0 / 1600, 1e-9);
  EXPECT_NEAR(zoom.Centre().y(), 0.5 + 60.0 / 1200, 1e-9);
  for (TPictureWidget* widget : {window_->Im1, window_->Im2}) {
    const QPointF shown = CentreShown(widget);
    const double pixel = 1.0 / widget->Image().Bitmap().Width();
    EXPECT_NEAR(shown.x(), zoom.Centre().x(), pixel);
    EXPECT_NEAR(shown.y(), zoom.Centre().y(), pixel);
  }

  // Dragging far past the edge stops where the larger picture's edge meets its view's.
  zoom.Pan(*window_->Im2, QPointF(5000, 5000));
  Settle();
  TImage32& left = window_->Im1->Image();
  EXPECT_EQ(left.PictureRect().Left, 0);
  EXPECT_EQ(left.PictureRect().Top, 0);
  zoom.Pan(*window_->Im1, QPointF(-50000, -50000));
  Settle();
  EXPECT_EQ(window_->Im1->Image().PictureRect().Right, left.Width());
  EXPECT_EQ(window_->Im2->Image().PictureRect().Right, window_->Im2->Image().Width());
}

// corner.jpg: 48 x 32, red in its top-left 16 x 16; the EXIF block says "turn a quarter clockwise".
TEST_F(CompareViewTest, APictureIsShownTurnedAsItsExifOrientationSays) {
  std::ifstream in(fs::path(VELQUIN_SOURCE_DIR) / "imaging/testdata/corner.jpg", std::ios::binary);
  const std::string plain((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string exif(
      "\xFF\xE1\x00\x22"
      "Exif\0\0"
      "MM\x00\x2A\x00\x00\x00\x08"
      "\x00\x01"
      "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00"
      "\x00\x00\x00\x00",
      36);
  const std::string turned = Folder() + "turned.jpg";
  std::ofstream(turned, std::ios::binary) << plain.substr(0, 2) << exif << plain.substr(2);
  ShowPair(turned, Bmp("flat.bmp", 48, 32));
  EXPECT_EQ(form_->Im1.Width(), 32);
  EXPECT_EQ(form_->Im1.Height(), 48);
  EXPECT_TRUE(window_->lFacts1->text().contains(QStringLiteral("32 \u00D7 48"))) << Text(window_->lFacts1);
  // The red corner stands at the top right of the picture as drawn, blue at its bottom left.
  const TRect rect = window_->Im1->Image().PictureRect();
  const QImage shown = window_->Im1->grab().toImage();
  const QColor topRight = shown.pixelColor(rect.Right - 3, rect.Top + 3);
  const QColor bottomLeft = shown.pixelColor(rect.Left + 3, rect.Bottom - 3);
  EXPECT_GT(topRight.red(), 180) << topRight.name().toStdString();
  EXPECT_LT(topRight.blue(), 80) << topRight.name().toStdString();
  EXPECT_GT(bottomLeft.blue(), 180) << bottomLeft.name().toStdString();
}

}  // namespace
}  // namespace velquin
