#include "gui/qt_desktop.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace velquin {
namespace {

Qt::CursorShape OverrideShape() {
  return QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::BitmapCursor;
}

TEST(QtDesktop, HourglassWhileBusyArrowOverMessageBoxesAndNothingLeftBehind) {
  TQtDesktop desktop;
  ASSERT_EQ(QApplication::overrideCursor(), nullptr);
  desktop.SetCursor(TCursor::crHourGlass);
  desktop.SetCursor(TCursor::crHourGlass);  // once on the stack, however often it is asked for
  EXPECT_EQ(desktop.Cursor(), TCursor::crHourGlass);
  EXPECT_EQ(OverrideShape(), Qt::WaitCursor);

  struct Seen {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::CursorShape cursor = Qt::BitmapCursor;
  };
  std::vector<Seen> seen;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      seen.push_back({box->text(), box->icon(), OverrideShape()});
      box->accept();
    }
  });
  closer.start(5);
  desktop.ShowMessage("5 records added");
  desktop.ShowError("Tabrix Engine Error # 1 bad");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].text, "5 records added");
  EXPECT_EQ(seen[0].icon, QMessageBox::Information);
  EXPECT_EQ(seen[1].text, "Tabrix Engine Error # 1 bad");
  EXPECT_EQ(seen[1].icon, QMessageBox::Critical);
  EXPECT_EQ(seen[0].cursor, Qt::ArrowCursor);
  EXPECT_EQ(seen[1].cursor, Qt::ArrowCursor);
  EXPECT_EQ(OverrideShape(), Qt::WaitCursor);

  desktop.SetCursor(TCursor::crDefault);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtDesktop, GivesBackItsHourglassWhenDestroyed) {
  {
    TQtDesktop desktop;
    desktop.SetCursor(TCursor::crHourGlass);
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace velquin
