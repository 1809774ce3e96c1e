// The window from the keyboard and the menu bar, Stop, and the list of problems.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/test_support.h"
#include "gui/folder_box.h"
#include "gui/folder_list.h"
#include "gui/main_window.h"
#include "gui/matches_grid.h"
#include "gui/picture_widget.h"
#include "gui/qt_desktop.h"
#include "gui/window_test_support.h"
#include "tablestore/table.h"
#include "usage/program_usage.h"

namespace velquin {
namespace {

namespace fs = std::filesystem;

class MainWindowKeysTest : public WindowTest {
 protected:
  void SetUp() override {
    OpenWindow(desktop_);
    ActivateWindow();
  }

  // Pairs of alike pictures: every two of them match.
  void WritePictures(int count, int side = 8) {
    for (int i = 0; i < count; ++i)
      WriteBmp(Folder() + "p" + std::to_string(i) + ".bmp", side, side,
               0x404040u + static_cast<std::uint32_t>(i));
    form_->SetDirEditText(Folder());
  }

  void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
    QApplication::processEvents();
  }

  TDialogAnswerer dialogs_;
  TQtDesktop desktop_;
};

TEST_F(MainWindowKeysTest, TheGridHasTheFocusAtStartAndTabFollowsTheScreen) {
  QApplication::processEvents();
  EXPECT_EQ(QApplication::focusWidget(), window_->DBGrid);
  const std::vector<QWidget*> order = {
      window_->CompSigsButton, window_->CompMatchesButton, window_->AutoButton,  window_->ClearButton,
      window_->MarginEdit,     window_->ForceCB,           window_->NormalizeCB, window_->IncrMatchCB,
      window_->ColorsCB,       window_->SubfoldersCB,      window_->TurnedCB,    window_->GrayCB,
      window_->AllFormatsCB,   window_->QuitButton};
  order.front()->setFocus();
  for (std::size_t i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), order[i])
        << "after " << order[i - 1]->objectName().toStdString() << " #" << i;
  }
  // Past the top strip: the folder box, then on to the grid and the pair's buttons.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_TRUE(window_->DirEdit->isAncestorOf(QApplication::focusWidget()));
  for (int i = 0; i < 10 && QApplication::focusWidget() != window_->DBGrid; ++i)
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), window_->DBGrid);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), window_->lViewButton);
}

TEST_F(MainWindowKeysTest, DeleteKeysInTheGridAreTheDeleteButtonsAndRepeatsAreIgnored) {
  WritePictures(3);
  form_->SetIncrMatchCB(false);
  Click(window_->CompSigsButton);
  Click(window_->CompMatchesButton);
  ASSERT_EQ(form_->MatchesTable.RecordCount(), 3);
  struct TCase {
    Qt::KeyboardModifiers modifiers;
    bool left;
  };
  for (const TCase c : {TCase{Qt::NoModifier, true}, TCase{Qt::ControlModifier, false}}) {
    SCOPED_TRACE(c.left ? "Delete" : "Ctrl+Delete");
    const std::string doomed =
        c.left ? form_->MatchesTable.FieldAsString("File1") : form_->MatchesTable.FieldAsString("File2");
    ActivateWindow();
    window_->DBGrid->setFocus();
    // A held key: the repeats that follow the first press do nothing more.
    QTest::keyPress(window_->DBGrid, Qt::Key_Delete, c.modifiers);
    for (int i = 0; i < 2; ++i)
      QTest::simulateEvent(window_->DBGrid, true, Qt::Key_Delete, c.modifiers, {}, true);
    QTest::keyRelease(window_->DBGrid, Qt::Key_Delete, c.modifiers);
    QApplication::processEvents();
    EXPECT_FALSE(fs::exists(doomed)) << doomed;
    EXPECT_EQ(form_->SigsTable.RecordCount(), c.left ? 2 : 1) << "one file per press";
  }
  // Elsewhere Delete is not a deletion.
  const auto rows = form_->SigsTable.RecordCount();
  window_->MarginEdit->setFocus();
  QTest::keyClick(window_->MarginEdit, Qt::Key_Delete);
  EXPECT_EQ(form_->SigsTable.RecordCount(), rows);
}

// The match pass is stopped while the window repaints the pairs it finds: the stop ends the pass,
// never a repaint.
TEST_F(MainWindowKeysTest, EscapeStopsTheRunningCommandAndTheDialogSaysSo) {
  // Enough work that the window's event loop, which runs at most once a frame, comes round in it.
  constexpr int kCount = 24;
  WritePictures(kCount, 160);
  form_->SetIncrMatchCB(false);
  struct TCase {
    QPushButton* button;
    bool matchPass;
  };
  for (const TCase c : {TCase{window_->CompSigsButton, false}, TCase{window_->CompMatchesButton, true}}) {
    SCOPED_TRACE(c.button->text().toStdString());
    dialogs_.Texts.clear();
    bool stopUsable = false;
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
      if (!form_->Busy() || !form_->Progress().ItemsRunning()) return;
      stopUsable = window_->StopButton->isEnabled();
      QTest::keyClick(window_.get(), Qt::Key_Escape);
    });
    stopper.start(0);
    QTest::qWait(20);
    Click(c.button);
    stopper.stop();
    EXPECT_TRUE(stopUsable);
    EXPECT_FALSE(window_->StopButton->isEnabled());
    for (int i = 0; i < 100 && dialogs_.Texts.empty(); ++i) QTest::qWait(10);
    ASSERT_EQ(dialogs_.Texts.size(), 1u);
    EXPECT_TRUE(dialogs_.Texts[0].starts_with("Stopped: ")) << dialogs_.Texts[0];
    // What was stored before the stop stays (the form's own tests count it); the rest was not done.
    const TTable& table = c.matchPass ? form_->MatchesTable : form_->SigsTable;
    EXPECT_LT(table.RecordCount(), c.matchPass ? kCount * (kCount - 1) / 2 : kCount);
    if (!c.matchPass) {
      // The pass that follows needs every picture.
      ActivateWindow();
      Click(window_->CompSigsButton);
      ASSERT_EQ(form_->SigsTable.RecordCount(), kCount);
    }
    ActivateWindow();
  }
  // Escape with nothing running does nothing.
  QTest::keyClick(window_.get(), Qt::Key_Escape);
  EXPECT_FALSE(form_->StopRequested());
}

TEST_F(MainWindowKeysTest, ProblemsHaveATabOfTheirOwnAndTheDialogPointsToIt) {
  WritePictures(2);
  constexpr int kBad = 40;
  for (int i = 0; i < kBad; ++i) std::ofstream(Folder() + "bad" + std::to_string(i) + ".jpg") << "no picture";
  form_->SetIncrMatchCB(false);
  EXPECT_EQ(window_->LogTabs->tabText(window_->LogTabs->indexOf(window_->ProblemList)), "Problems");
  Click(window_->CompSigsButton);
  for (int i = 0; i < 100 && dialogs_.Texts.empty(); ++i) QTest::qWait(10);
  ASSERT_EQ(dialogs_.Texts.size(), 1u);
  EXPECT_TRUE(dialogs_.Texts[0].ends_with("\n" + std::to_string(kBad) +
                                          " files could not be processed: see Problems"))
      << dialogs_.Texts[0];
  // Never capped, unlike the log pane.
  EXPECT_EQ(window_->ProblemList->count(), kBad);
  EXPECT_EQ(window_->LogTabs->currentWidget(), window_->ProblemList);
  EXPECT_EQ(window_->LogTabs->tabText(window_->LogTabs->indexOf(window_->ProblemList)),
            QStringLiteral("Problems (%1)").arg(kBad));
  // The next command starts a new list.
  Click(window_->CompMatchesButton);
  EXPECT_EQ(window_->ProblemList->count(), 0);
}

TEST_F(MainWindowKeysTest, MenuBarCarriesTheCommandsCtrlQQuitsAndAboutGivesTheVersion) {
  QStringList menus;
  for (QAction* menu : window_->menuBar()->actions()) menus << menu->text();
  EXPECT_EQ(menus, (QStringList{"&Commands", "&Edit", "&Pair", "&Help"}));
  EXPECT_EQ(window_->StopAction->shortcut(), QKeySequence(Qt::Key_Escape));
  EXPECT_EQ(window_->lDeleteAction->shortcut(), QKeySequence(Qt::Key_Delete));
  EXPECT_EQ(window_->rDeleteAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Delete));

  window_->AboutAction->trigger();
  for (int i = 0; i < 100 && dialogs_.Texts.empty(); ++i) QTest::qWait(10);
  ASSERT_EQ(dialogs_.Texts.size(), 1u);
  EXPECT_NE(dialogs_.Texts[0].find("Velquin " + std::string(VersionNumber())), std::string::npos)
      << dialogs_.Texts[0];

  ActivateWindow();
  QTest::keyClick(window_.get(), Qt::Key_Q, Qt::ControlModifier);
  for (int i = 0; i < 100 && window_->isVisible(); ++i) QTest::qWait(10);
  EXPECT_FALSE(window_->isVisible());
}

}  // namespace
}  // namespace velquin

namespace velquin {
namespace {

// Every control shown at the window's smallest saved size keeps room for its caption, and the
// picture panes keep room for a picture.
TEST_F(MainWindowKeysTest, AtTheDesignSizeNoControlOrPaneCollapses) {
  WritePictures(2);
  window_->resize(696, 480);
  QApplication::processEvents();
  for (QAbstractButton* button : window_->findChildren<QAbstractButton*>()) {
    if (!button->isVisible() || button->text().isEmpty()) continue;
    SCOPED_TRACE(button->text().toStdString());
    EXPECT_GE(button->width(), button->minimumSizeHint().width());
    EXPECT_GE(button->height(), button->minimumSizeHint().height());
  }
  for (QWidget* pane : {static_cast<QWidget*>(window_->Im1), static_cast<QWidget*>(window_->Im2),
                        static_cast<QWidget*>(window_->DBGrid), static_cast<QWidget*>(window_->LB)}) {
    EXPECT_GE(pane->width(), 60);
    EXPECT_GE(pane->height(), 40);
  }
  EXPECT_GE(window_->Im1->width() + 2, window_->Im2->width()) << "the pictures share the room alike";
  EXPECT_GE(window_->Im2->width() + 2, window_->Im1->width());
  // The Quit button stays inside the window.
  const QRect quit(window_->QuitButton->mapTo(window_.get(), QPoint(0, 0)), window_->QuitButton->size());
  EXPECT_TRUE(window_->rect().contains(quit));
}

TEST_F(MainWindowKeysTest, APlacementFromALargerScreenIsBroughtOntoThisOne) {
  const QRect room = window_->screen()->availableGeometry();
  TFormLayout& layout = form_->Layout();
  layout.Left = room.right() + 500;
  layout.Top = -300;
  layout.Width = room.width() * 2;
  layout.Height = room.height() * 2;
  window_->ShowForm();
  QApplication::processEvents();
  const QRect frame = window_->frameGeometry();
  EXPECT_TRUE(room.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                    << frame.height();
}

// With VELQUIN_SCREENSHOTS naming a folder, the window at the size the screen allows is saved there.
// VELQUIN_SCREENSHOT_PICTURES may name a folder of real pictures to review in place of small made ones.
TEST_F(MainWindowKeysTest, Screenshot) {
  const char* folder = ::getenv("VELQUIN_SCREENSHOTS");
  if (folder == nullptr) GTEST_SKIP() << "VELQUIN_SCREENSHOTS not set";
  if (const char* pictures = ::getenv("VELQUIN_SCREENSHOT_PICTURES")) {
    for (const auto& entry : fs::directory_iterator(pictures)) {
      const fs::path copy = Folder() + entry.path().filename().string();
      fs::copy(entry.path(), copy);
      fs::last_write_time(copy, fs::last_write_time(entry.path()));
    }
    form_->SetDirEditText(Folder());
  } else {
    WritePictures(4);
  }
  std::ofstream(Folder() + "bad.jpg") << "no picture";
  form_->SetIncrMatchCB(false);
  Click(window_->CompSigsButton);
  Click(window_->CompMatchesButton);
  const char* size = ::getenv("VELQUIN_SCREENSHOT_SIZE");
  int width = 696;
  int height = 480;
  if (size != nullptr) std::sscanf(size, "%dx%d", &width, &height);
  window_->resize(width, height);
  for (int i = 0; i < 20; ++i) QTest::qWait(10);
  const std::string name = std::string(folder) + "/window-" + std::to_string(width) + "x" +
                           std::to_string(height) +
                           (::getenv("QT_SCALE_FACTOR") != nullptr ? "-scale2" : "") + ".png";
  ASSERT_TRUE(window_->grab().save(QString::fromStdString(name)));
}

}  // namespace
}  // namespace velquin
