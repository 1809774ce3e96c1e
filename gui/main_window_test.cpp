// Drives the real window over the real form: widgets are clicked and typed into as a user would,
// message boxes are read and closed as they appear.
#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/form1.h"
#include "app/program_tables.h"
#include "cli/command_line.h"
#include "gui/folder_box.h"
#include "gui/folder_list.h"
#include "gui/groups_thumbnails.h"
#include "gui/groups_view.h"
#include "gui/matches_grid.h"
#include "gui/picture_widget.h"
#include "gui/qt_desktop.h"
#include "gui/window_test_support.h"

namespace velquin {
namespace {

namespace fs = std::filesystem;

// Writes a 24-bit BMP whose pixel (x, y) has the colour pixel(x, y) = 0xRRGGBB.
void WriteBmp(const fs::path& path, int width, int height,
              const std::function<std::uint32_t(int, int)>& pixel) {
  const int rowBytes = (width * 3 + 3) / 4 * 4;
  const std::uint32_t dataSize = static_cast<std::uint32_t>(rowBytes * height);
  std::string bytes;
  const auto put16 = [&](std::uint32_t v) {
    bytes += static_cast<char>(v & 0xFF);
    bytes += static_cast<char>((v >> 8) & 0xFF);
  };
  const auto put32 = [&](std::uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  bytes += "BM";
  put32(54 + dataSize);
  put32(0);
  put32(54);
  put32(40);
  put32(static_cast<std::uint32_t>(width));
  put32(static_cast<std::uint32_t>(height));
  put16(1);
  put16(24);
  put32(0);
  put32(dataSize);
  put32(2835);
  put32(2835);
  put32(0);
  put32(0);
  for (int y = height - 1; y >= 0; --y) {
    std::string row;
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = pixel(x, y);
      row += static_cast<char>(c & 0xFF);
      row += static_cast<char>((c >> 8) & 0xFF);
      row += static_cast<char>((c >> 16) & 0xFF);
    }
    row.resize(static_cast<std::size_t>(rowBytes), '\0');
    bytes += row;
  }
  std::ofstream(path, std::ios::binary) << bytes;
}

// A picture pattern, uniform on each cell of a 4 x 4 grid so that any size divisible by 4 has the
// same signature: red rising across and green rising down (or blue across for the other pattern),
// every channel lifted by `lift`.
std::function<std::uint32_t(int, int)> Pattern(bool blue, int lift, int width, int height) {
  return [=](int x, int y) {
    const auto across = static_cast<std::uint32_t>(20 + x * 4 / width * 50 + lift);
    const auto down = static_cast<std::uint32_t>(20 + y * 4 / height * 50 + lift);
    const auto flat = static_cast<std::uint32_t>(60 + lift);
    return blue ? (flat << 16) | (down << 8) | across : (across << 16) | (down << 8) | flat;
  };
}

class MainWindowTest : public WindowTest {
 protected:
  void SetUp() override { OpenWindow(desktop_); }

  // Two near-duplicate pairs and one unrelated picture: pair a differs by 1, pair b by 2.
  void WritePictures() {
    WriteBmp(folder_ / "a1.bmp", 40, 30, Pattern(false, 0, 40, 30));
    WriteBmp(folder_ / "a2.bmp", 40, 30, Pattern(false, 1, 40, 30));
    WriteBmp(folder_ / "b1.bmp", 48, 36, Pattern(true, 0, 48, 36));
    WriteBmp(folder_ / "b2.bmp", 32, 24, Pattern(true, 2, 32, 24));
    WriteBmp(folder_ / "c.bmp", 20, 20, [](int, int) { return 0xF0F0F0u; });
  }

  void ChooseFolderByTyping(const std::string& text) {
    QLineEdit* edit = window_->DirEdit->Edit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromStdString(text));
    QTest::keyClick(edit, Qt::Key_Return);
    QApplication::processEvents();
  }

  void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
    QApplication::processEvents();
  }

  // Signatures, then Matches, with plain (not equalised) signatures so the lifts stay visible.
  void ScanAndMatch() {
    WritePictures();
    ChooseFolderByTyping(folder_.string());
    if (window_->NormalizeCB->isChecked()) Click(window_->NormalizeCB);
    ASSERT_FALSE(form_->NormalizeCB());
    Click(window_->CompSigsButton);
    // The review buttons, looked at whenever the pass lets messages run.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [this] {
      if (form_->Progress().MatchPassRunning())
        reviewButtonsSeenDuringPass_.push_back(window_->lDeleteButton->isEnabled());
    });
    watch.start(0);
    QTest::qWait(20);  // the window's event loop runs at most once a frame: the pass's first ask is answered
    Click(window_->CompMatchesButton);
  }

  QString Cell(int row, int column) { return window_->DBGrid->model()->index(row, column).data().toString(); }

  void ClickRow(int row) {
    TMatchesGrid* grid = window_->DBGrid;
    const QRect place = grid->visualRect(grid->model()->index(row, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, place.center());
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
  }

  std::string Label(QLabel* label) { return label->text().toStdString(); }

  const fs::path folder_ = root_ / "pics";
  std::vector<bool> reviewButtonsSeenDuringPass_;
  TDialogAnswerer boxes_;
  TQtDesktop desktop_;
};

TEST_F(MainWindowTest, ChoosingAFolderOpensItsTablesAndSetsTheLabels) {
  WritePictures();
  ChooseFolderByTyping(folder_.string());

  EXPECT_EQ(window_->DirEdit->Text().toStdString(), Folder());
  EXPECT_EQ(form_->DirEditText(), Folder());
  EXPECT_TRUE(form_->SigsTable.Active());
  EXPECT_TRUE(form_->MatchesTable.Active());
  EXPECT_EQ(Label(window_->lSigsDB), "Signatures DB (0/5)");
  EXPECT_EQ(Label(window_->lMatchesDB), "Matches DB (0)");
  ASSERT_EQ(window_->LB->count(), 1);
  EXPECT_EQ(window_->LB->item(0)->text().toStdString(), Folder());
  EXPECT_EQ(window_->DBGrid->model()->rowCount(), 0);

  // Delete in the folder list drops the entry, not the Folder.
  window_->LB->setCurrentRow(0);
  window_->LB->setFocus();
  QTest::keyClick(window_->LB, Qt::Key_Delete);
  QApplication::processEvents();
  EXPECT_EQ(window_->LB->count(), 0);
  EXPECT_TRUE(form_->LBItems().empty());
  EXPECT_EQ(form_->DirEditText(), Folder());
  EXPECT_TRUE(boxes_.Texts.empty()) << boxes_.Texts.front();
}

TEST_F(MainWindowTest, SignaturesThenMatchesFillTheGridInMaxDiffOrder) {
  ScanAndMatch();

  EXPECT_EQ(Label(window_->lSigsDB), "Signatures DB (5/5)");
  EXPECT_EQ(Label(window_->lMatchesDB), "Matches DB (2)");
  EXPECT_EQ(boxes_.Texts.size(), 2u) << "the closing dialogs of the scan and the pass";
  QAbstractItemModel* model = window_->DBGrid->model();
  ASSERT_EQ(model->rowCount(), 2);
  EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "MaxDiff");
  EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "File1");
  EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "File2");
  EXPECT_LT(Cell(0, 0).toInt(), Cell(1, 0).toInt());
  EXPECT_TRUE(Cell(0, 1).startsWith(QString::fromStdString(Folder() + "a")));
  EXPECT_TRUE(Cell(1, 2).startsWith(QString::fromStdString(Folder() + "b")));
  // The grid's current row and its marker stand on the table's current row.
  const int current = form_->MatchesTable.RecNo() - 1;
  ASSERT_TRUE(current == 0 || current == 1);
  EXPECT_FALSE(model->headerData(current, Qt::Vertical).toString().isEmpty());
  EXPECT_TRUE(model->headerData(1 - current, Qt::Vertical).toString().isEmpty());
  EXPECT_EQ(window_->DBGrid->currentIndex().row(), current);
  // The log pane shows the form's log lines, in order.
  QStringList lines;
  for (const std::string& line : form_->Memo1()) lines << QString::fromStdString(line);
  EXPECT_FALSE(lines.isEmpty());
  EXPECT_EQ(window_->Memo1->toPlainText(), lines.join('\n'));
  ASSERT_FALSE(reviewButtonsSeenDuringPass_.empty()) << "the pass let no messages run";
  EXPECT_EQ(std::count(reviewButtonsSeenDuringPass_.begin(), reviewButtonsSeenDuringPass_.end(), true), 0);
  // The four review buttons are usable again after the pass.
  EXPECT_TRUE(window_->lDeleteButton->isEnabled());
  EXPECT_TRUE(window_->rViewButton->isEnabled());
}

// A typed folder that does not exist is refused in plain words; pictures the scan could not
// process are listed under the log pane with their reasons.
TEST_F(MainWindowTest, RefusedFolderAndProblemsInPlainWords) {
  EXPECT_TRUE(window_->ProblemList->isHidden());
  const std::string missing = (root_ / "nowhere").string();
  ChooseFolderByTyping(missing);
  EXPECT_EQ(boxes_.Texts, std::vector<std::string>{missing + ": no such folder"});
  EXPECT_EQ(window_->LB->count(), 0);
  EXPECT_FALSE(form_->SigsTable.Active());

  WritePictures();
  std::ofstream(folder_ / "bad.jpg") << "not a picture";
  ChooseFolderByTyping(folder_.string());
  Click(window_->CompSigsButton);
  ASSERT_EQ(window_->ProblemList->count(), 1);
  EXPECT_EQ(window_->ProblemList->item(0)->text().toStdString(),
            "Unable to process \"" + Folder() + "bad.jpg\": Not a JPEG file: starts with 0x6e 0x6f");
  EXPECT_TRUE(window_->ProblemList->isVisible());
}

TEST_F(MainWindowTest, MovingTheCurrentRowLoadsBothViews) {
  ScanAndMatch();
  ASSERT_EQ(window_->DBGrid->model()->rowCount(), 2);
  ClickRow(0);
  EXPECT_EQ(form_->MatchesTable.RecNo(), 1);
  EXPECT_EQ(Label(window_->lComp), "Same Size");  // pair a: both 40 x 30

  ClickRow(1);
  EXPECT_EQ(form_->MatchesTable.RecNo(), 2);
  const std::string file1 = Cell(1, 1).toStdString();
  const std::string file2 = Cell(1, 2).toStdString();
  const bool bigFirst = file1.ends_with("b1.bmp");
  EXPECT_EQ(form_->Im1.Width(), bigFirst ? 48 : 32);
  EXPECT_EQ(form_->Im2.Width(), bigFirst ? 32 : 48);
  EXPECT_EQ(Label(window_->lFile1), fs::path(file1).filename().string());
  EXPECT_TRUE(window_->lFacts1->text().contains(bigFirst ? "48 \u00D7 36" : "32 \u00D7 24"))
      << Label(window_->lFacts1);
  EXPECT_EQ(Label(window_->lFile2), fs::path(file2).filename().string());
  EXPECT_EQ(Label(window_->lComp), bigFirst ? "<== Bigger" : "Bigger ==>");
  EXPECT_EQ(window_->DBGrid->currentIndex().row(), 1);
  EXPECT_FALSE(window_->DBGrid->model()->headerData(1, Qt::Vertical).toString().isEmpty());

  // The picture views show the pair: the left view's first pixel is the picture's.
  QApplication::processEvents();
  const QImage shown = window_->Im1->grab().toImage();
  EXPECT_EQ(shown.pixel(0, 0) | 0xFF000000u, form_->Im1.ReadPixel(0, 0) | 0xFF000000u);

  // A move of the table (a keyboard move in the grid) is followed by the grid.
  QTest::keyClick(window_->DBGrid, Qt::Key_Up);
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  EXPECT_EQ(form_->MatchesTable.RecNo(), 1);
  EXPECT_EQ(Label(window_->lComp), "Same Size");
}

TEST_F(MainWindowTest, DeleteSendsTheFileToTheTrashAndRemovesItsRows) {
  ScanAndMatch();
  ASSERT_EQ(window_->DBGrid->model()->rowCount(), 2);
  ClickRow(0);
  const std::string file1 = Cell(0, 1).toStdString();
  const std::string name = fs::path(file1).filename().string();

  Click(window_->lDeleteButton);
  for (int i = 0; i < 5; ++i) QApplication::processEvents();

  EXPECT_FALSE(fs::exists(file1));
  EXPECT_TRUE(fs::exists(root_ / "data" / "Trash" / "files" / name));
  EXPECT_TRUE(fs::exists(root_ / "data" / "Trash" / "info" / (name + ".trashinfo")));
  ASSERT_EQ(window_->DBGrid->model()->rowCount(), 1);
  EXPECT_TRUE(Cell(0, 1).startsWith(QString::fromStdString(Folder() + "b")));
  EXPECT_EQ(Label(window_->lSigsDB), "Signatures DB (4/4)");
  EXPECT_EQ(Label(window_->lMatchesDB), "Matches DB (1)");
  EXPECT_EQ(Label(window_->lFile1), fs::path(Cell(0, 1).toStdString()).filename().string());
  EXPECT_EQ(boxes_.Texts.size(), 2u) << "a deletion asks and reports nothing";
}

// The Groups tab beside the grid: the groups with their thumbnails, "Trash the rest" asking first, and
// Edit > Undo bringing the file and its pair back.
TEST_F(MainWindowTest, GroupsTabTrashesTheRestAndEditUndoBringsItBack) {
  ScanAndMatch();
  ASSERT_EQ(window_->DBGrid->model()->rowCount(), 2);
  EXPECT_FALSE(window_->EditUndo->isEnabled());
  window_->ReviewTabs->setCurrentWidget(window_->GroupsView);
  QTreeWidget* tree = window_->GroupsView->GroupTree;
  ASSERT_EQ(tree->topLevelItemCount(), 2);
  QTreeWidgetItem* group = tree->topLevelItem(0);
  ASSERT_EQ(group->childCount(), 2);
  EXPECT_EQ(group->child(0)->text(TGroupsView::ColumnFile).toStdString(), "a1.bmp");
  EXPECT_EQ(group->child(0)->toolTip(TGroupsView::ColumnFile).toStdString(), Folder() + "a1.bmp");
  EXPECT_EQ(group->child(0)->text(TGroupsView::ColumnPixels), QStringLiteral("40 x 30"));
  EXPECT_EQ(group->child(0)->text(TGroupsView::ColumnFormat), QStringLiteral("BMP"));
  EXPECT_EQ(group->child(0)->text(TGroupsView::ColumnNote), QStringLiteral("keeper"));

  group->setSelected(true);
  TGroupsThumbnails* strip = window_->GroupsView->Thumbnails;
  ASSERT_EQ(strip->count(), 2);
  QTRY_VERIFY_WITH_TIMEOUT(strip->Complete(), 1000);
  EXPECT_FALSE(strip->item(0)->icon().isNull());
  EXPECT_FALSE(strip->item(1)->icon().isNull());

  Click(window_->GroupsView->TrashGroupButton);
  ASSERT_GE(boxes_.Texts.size(), 2u);
  EXPECT_EQ(boxes_.Texts[boxes_.Texts.size() - 2].rfind("Move 1 file (", 0), 0u);
  EXPECT_EQ(boxes_.Texts.back(), "Moved 1 file to the trash.");
  EXPECT_FALSE(fs::exists(folder_ / "a2.bmp"));
  EXPECT_TRUE(fs::exists(root_ / "data" / "Trash" / "files" / "a2.bmp"));
  EXPECT_EQ(window_->DBGrid->model()->rowCount(), 1);
  EXPECT_EQ(tree->topLevelItemCount(), 1);
  EXPECT_TRUE(window_->EditUndo->isEnabled());

  window_->EditUndo->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(fs::exists(folder_ / "a2.bmp"));
  EXPECT_FALSE(fs::exists(root_ / "data" / "Trash" / "files" / "a2.bmp"));
  EXPECT_EQ(window_->DBGrid->model()->rowCount(), 2);
  EXPECT_EQ(tree->topLevelItemCount(), 2);
  EXPECT_FALSE(window_->EditUndo->isEnabled());
}

TEST_F(MainWindowTest, AMoveToTheTrashThatFailsIsReportedAndKeepsTheFileAndItsRows) {
  ScanAndMatch();
  ASSERT_EQ(window_->DBGrid->model()->rowCount(), 2);
  ClickRow(0);
  const std::string file1 = Cell(0, 1).toStdString();
  // A trash whose files/ is no folder takes nothing.
  fs::create_directories(root_ / "data" / "Trash");
  std::ofstream(root_ / "data" / "Trash" / "files") << "";
  const std::size_t before = boxes_.Texts.size();

  Click(window_->lDeleteButton);
  for (int i = 0; i < 200 && boxes_.Texts.size() == before; ++i) QTest::qWait(10);

  ASSERT_EQ(boxes_.Texts.size(), before + 1);
  EXPECT_EQ(boxes_.Texts.back(), "Cannot move file \"" + file1 + "\" to the trash. Not a directory");
  EXPECT_EQ(boxes_.Icons.back(), QMessageBox::Critical);
  EXPECT_TRUE(fs::exists(file1));
  EXPECT_EQ(window_->DBGrid->model()->rowCount(), 2);
  EXPECT_EQ(Cell(0, 1).toStdString(), file1);
  EXPECT_EQ(Label(window_->lSigsDB), "Signatures DB (5/5)");
  EXPECT_EQ(Label(window_->lMatchesDB), "Matches DB (2)");
}

TEST_F(MainWindowTest, ADecodingErrorIsReportedAndTheWindowStaysUsable) {
  ScanAndMatch();
  ASSERT_EQ(window_->DBGrid->model()->rowCount(), 2);
  ClickRow(0);
  const std::string broken = Cell(1, 1).toStdString();
  std::ofstream(broken, std::ios::binary | std::ios::trunc) << "BM this is not a picture";
  const std::size_t before = boxes_.Texts.size();

  ClickRow(1);
  for (int i = 0; i < 200 && boxes_.Texts.size() == before; ++i) QTest::qWait(10);
  ASSERT_EQ(boxes_.Texts.size(), before + 1);
  EXPECT_FALSE(boxes_.Texts.back().empty());
  EXPECT_EQ(boxes_.Icons.back(), QMessageBox::Critical);
  EXPECT_TRUE(window_->isVisible());

  // The window still answers: back to the first pair, which shows as before.
  ClickRow(0);
  EXPECT_EQ(form_->MatchesTable.RecNo(), 1);
  EXPECT_EQ(Label(window_->lComp), "Same Size");
  EXPECT_EQ(boxes_.Texts.size(), before + 1);
}

// Counts the repaints the window starts while `counting` holds.
class TRepaintCounter : public QObject {
 public:
  explicit TRepaintCounter(std::function<bool()> counting) : counting_(std::move(counting)) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::UpdateRequest && counting_()) ++Count;
    return false;
  }
  int Count = 0;

 private:
  std::function<bool()> counting_;
};

// The incremental search makes each pair it appends the current one. While the scan runs, the
// window decodes a pair only as it repaints, at most one per repaint; a window not shown decodes
// none until the scan is done. Either way the current pair is shown at the end.
TEST_F(MainWindowTest, WhileAScanRunsPairsAreDecodedOnlyAsTheWindowRepaints) {
  // Fourteen near-duplicate pairs, large enough for the scan to let messages run many times.
  for (int pair = 0; pair < 14; ++pair) {
    const int lift = pair / 2 * 12;
    for (int copy = 0; copy < 2; ++copy) {
      const std::string name = "p" + std::to_string(pair) + "-" + std::to_string(copy) + ".bmp";
      WriteBmp(folder_ / name, 320, 240, Pattern(pair % 2 == 1, lift + copy, 320, 240));
    }
  }
  ChooseFolderByTyping(folder_.string());
  if (window_->NormalizeCB->isChecked()) Click(window_->NormalizeCB);
  // The scan's closing dialog ends its work; what follows is the command's end.
  std::size_t dialogs = 0;
  const auto scanning = [&] { return form_->Busy() && boxes_.Texts.size() == dialogs; };
  int decodesWhileScanning = 0;
  int decodesAtEnd = 0;
  const TBitmap32::TNotifyEvent view = form_->Im1.OnResize;
  form_->Im1.OnResize = [&, view](TBitmap32& bitmap) {
    if (!bitmap.IsEmpty()) ++(scanning() ? decodesWhileScanning : decodesAtEnd);
    view(bitmap);
  };
  TRepaintCounter repaints(scanning);
  window_->installEventFilter(&repaints);
  const auto showsCurrentPair = [this] {
    EXPECT_EQ(Label(window_->lFile1),
              fs::path(form_->MatchesTable.FieldAsString("File1")).filename().string());
    EXPECT_EQ(Label(window_->lFile2),
              fs::path(form_->MatchesTable.FieldAsString("File2")).filename().string());
  };

  // Pairs are decoded aside while the scan runs and shown at a later repaint: the scan's message runs
  // wait (a few seconds at most) once a pair is current until one is shown, so that a fast scan
  // cannot end first.
  QTimer stall;
  const auto stallUntil = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  QObject::connect(&stall, &QTimer::timeout, [&] {
    if (scanning() && decodesWhileScanning == 0 && form_->MatchesTable.RecordCount() > 0 &&
        std::chrono::steady_clock::now() < stallUntil)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  });
  stall.start(0);
  dialogs = boxes_.Texts.size();
  QTest::qWait(20);  // the scan's first ask runs the event loop
  Click(window_->CompSigsButton);
  stall.stop();
  // Only the pairs the incremental search sees: those whose lower signature is scanned second.
  const std::int32_t pairs = form_->MatchesTable.RecordCount();
  EXPECT_GT(pairs, 1);
  EXPECT_GT(repaints.Count, 0);
  EXPECT_GT(decodesWhileScanning, 0);
  EXPECT_LE(decodesWhileScanning, repaints.Count);
  EXPECT_LE(decodesAtEnd, 1);
  showsCurrentPair();

  Click(window_->ClearButton);
  window_->hide();
  decodesWhileScanning = decodesAtEnd = 0;
  dialogs = boxes_.Texts.size();
  QTest::qWait(20);
  form_->CompSigsButtonClick();
  EXPECT_EQ(form_->MatchesTable.RecordCount(), pairs);
  EXPECT_EQ(decodesWhileScanning, 0);
  EXPECT_EQ(decodesAtEnd, 1);
  showsCurrentPair();
  window_->removeEventFilter(&repaints);
  form_->Im1.OnResize = view;
}

TEST_F(MainWindowTest, ClearDBsEmptiesTheGrid) {
  ScanAndMatch();
  ASSERT_EQ(window_->DBGrid->model()->rowCount(), 2);
  ASSERT_TRUE(fs::exists(folder_ / "Matches.DAT"));
  Click(window_->ClearButton);
  EXPECT_EQ(window_->DBGrid->model()->rowCount(), 0);
  EXPECT_FALSE(fs::exists(folder_ / "Matches.DAT"));
  EXPECT_FALSE(fs::exists(folder_ / "Sigs.DAT"));
}

TEST_F(MainWindowTest, ClosingDuringACommandWaitsForItsEnd) {
  WritePictures();
  ChooseFolderByTyping(folder_.string());
  // The user closes the window as soon as the scan lets messages run.
  const fs::path settings = root_ / "app" / "Velquin2.INI";
  bool closedWhileBusy = false;
  bool savedWhileBusy = false;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (!form_->Busy()) return;
    if (!closedWhileBusy) {
      closedWhileBusy = true;
      window_->close();
    }
    // Checked here, while the scan still runs: once it has returned, the deferred close may save
    // at any moment.
    savedWhileBusy = savedWhileBusy || fs::exists(settings);
  });
  closer.start(0);
  QTest::qWait(20);  // the scan's first ask runs the event loop
  Click(window_->CompSigsButton);
  closer.stop();
  ASSERT_TRUE(closedWhileBusy);
  EXPECT_EQ(form_->SigsTable.RecordCount(), 5) << "the scan ran to its end";
  EXPECT_FALSE(savedWhileBusy) << "not saved while the scan ran";
  for (int i = 0; i < 200 && window_->isVisible(); ++i) QTest::qWait(10);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_TRUE(fs::exists(settings));
}

TEST_F(MainWindowTest, SettingsAreSavedAtQuitAndRestoredAtStart) {
  window_->MarginEdit->setFocus();
  window_->MarginEdit->selectAll();
  QTest::keyClicks(window_->MarginEdit, "7");
  Click(window_->ForceCB);
  ChooseFolderByTyping(folder_.string());
  window_->resize(760, 520);  // within the 800 x 600 test screen: larger is clamped to it
  QApplication::processEvents();
  EXPECT_EQ(form_->Layout().Width, window_->frameGeometry().width());

  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  EXPECT_EQ(window_->QuitButton->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Q));
  EXPECT_EQ(window_->AutoButton->shortcut(), QKeySequence(Qt::ALT | Qt::Key_A));
  QTest::keySequence(window_->windowHandle(), QKeySequence(Qt::ALT | Qt::Key_Q));
  // A shortcut presses the button visibly: the click follows a moment later.
  for (int i = 0; i < 200 && window_->isVisible(); ++i) QTest::qWait(10);
  QApplication::processEvents();
  EXPECT_FALSE(window_->isVisible());
  ASSERT_TRUE(fs::exists(root_ / "app" / "Velquin2.INI"));
  ASSERT_TRUE(fs::exists(root_ / "app" / "DirList.Txt"));

  // A second start shows what the first one left.
  CloseWindow();
  OpenWindow(desktop_);
  EXPECT_EQ(window_->MarginEdit->text(), "7");
  EXPECT_FALSE(window_->ForceCB->isChecked());
  EXPECT_TRUE(window_->NormalizeCB->isChecked());
  EXPECT_EQ(window_->DirEdit->Text().toStdString(), Folder());
  ASSERT_EQ(window_->LB->count(), 1);
  EXPECT_EQ(window_->frameGeometry().width(), 760 + window_->frameGeometry().width() - window_->width());
  EXPECT_EQ(Label(window_->lSigsDB), "Signatures DB (0/0)");
  EXPECT_TRUE(boxes_.Texts.empty());
}

// A real folder as users have them: a long folder path and long names that agree in their first
// 100 bytes. Every step must keep the names whole, so the pair names the right files and Delete
// moves the picture the grid shows, not one that merely shares its beginning.
TEST_F(MainWindowTest, LongFolderAndNamesGoWholeThroughScanMatchPairsAndDelete) {
  std::string folderText = root_.string() + "/";
  folderText += std::string(149 - folderText.size(), 'f') + "/";
  ASSERT_EQ(folderText.size(), 150u);
  fs::create_directories(folderText);
  const std::string common(100, 'q');
  const std::string first = common + std::string(96, 'a') + ".bmp";
  const std::string second = common + std::string(96, 'b') + ".bmp";
  const std::string decoy = common + std::string(96, 'c') + ".bmp";
  for (const std::string* name : {&first, &second, &decoy}) ASSERT_EQ(name->size(), 200u);
  WriteBmp(folderText + first, 40, 30, Pattern(false, 0, 40, 30));
  WriteBmp(folderText + second, 40, 30, Pattern(false, 1, 40, 30));
  WriteBmp(folderText + decoy, 40, 30, Pattern(true, 0, 40, 30));
  const auto bytesOf = [](const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::map<std::string, std::string> written = {{first, bytesOf(folderText + first)},
                                                      {second, bytesOf(folderText + second)}};

  const auto run = [](const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunCommandLine(args, out, err);
    EXPECT_EQ(status, kExitOk) << args[0] << ": " << err.str();
    return out.str();
  };
  run({"scan", "--no-normalize", folderText});
  run({"match", folderText});
  const std::string pairs = run({"pairs", folderText});
  std::istringstream fields(pairs);
  std::string maxDiff, file1, file2, rest;
  std::getline(fields, maxDiff, '\t');
  std::getline(fields, file1, '\t');
  std::getline(fields, file2, '\n');
  std::getline(fields, rest);
  EXPECT_EQ(rest, "") << "one pair only: " << pairs;
  std::set<std::string> pairNames = {file1, file2};
  EXPECT_EQ(pairNames, (std::set<std::string>{folderText + first, folderText + second})) << pairs;

  ChooseFolderByTyping(folderText);
  ASSERT_EQ(window_->DBGrid->model()->rowCount(), 1);
  ClickRow(0);
  const std::string shown = Cell(0, 1).toStdString();
  ASSERT_TRUE(written.count(fs::path(shown).filename().string())) << shown;
  const std::string name = fs::path(shown).filename().string();
  Click(window_->lDeleteButton);
  for (int i = 0; i < 5; ++i) QApplication::processEvents();

  EXPECT_FALSE(fs::exists(shown));
  const fs::path trashed = root_ / "data" / "Trash" / "files" / name;
  ASSERT_TRUE(fs::exists(trashed));
  EXPECT_EQ(bytesOf(trashed), written.at(name)) << "the trash holds the picture the grid showed";
  const std::string kept = name == first ? second : first;
  EXPECT_TRUE(fs::exists(folderText + kept));
  EXPECT_TRUE(fs::exists(folderText + decoy));
  EXPECT_EQ(window_->DBGrid->model()->rowCount(), 0);
  EXPECT_EQ(Label(window_->lSigsDB), "Signatures DB (2/2)");
}

TEST_F(MainWindowTest, TheFourFindOptionsFollowTheFormBothWays) {
  struct TOption {
    QCheckBox* box;
    const char* caption;
    bool (TForm1::*checked)() const;
    void (TForm1::*set)(bool);
  };
  const TOption options[] = {
      {window_->SubfoldersCB, "Subfolders", &TForm1::SubfoldersCB, &TForm1::SetSubfoldersCB},
      {window_->TurnedCB, "Turned", &TForm1::TurnedCB, &TForm1::SetTurnedCB},
      {window_->GrayCB, "Gray", &TForm1::GrayCB, &TForm1::SetGrayCB},
      {window_->AllFormatsCB, "All formats", &TForm1::AllFormatsCB, &TForm1::SetAllFormatsCB},
  };
  for (const TOption& option : options) {
    SCOPED_TRACE(option.caption);
    EXPECT_EQ(option.box->text(), option.caption);
    EXPECT_FALSE(option.box->isChecked());
    Click(option.box);
    EXPECT_TRUE((form_.get()->*option.checked)());
    (form_.get()->*option.set)(false);
    EXPECT_FALSE(option.box->isChecked());
  }
  // They sit in the top strip, under Colors and the other scan options.
  EXPECT_EQ(window_->SubfoldersCB->parentWidget(), window_->Panel1);
  EXPECT_GT(window_->SubfoldersCB->geometry().top(), window_->ColorsCB->geometry().bottom());
}

}  // namespace
}  // namespace velquin

namespace velquin {
namespace {

// The status line counts pictures, not ticks: from the first picture to the last, never past the
// pictures to do, and it is gone when the closing dialog comes up.
TEST_F(MainWindowTest, ProgressCountsPicturesAndIsGoneByTheDialog) {
  WritePictures();
  ChooseFolderByTyping(folder_.string());
  std::vector<std::string> lines;
  std::vector<int> bar;
  std::string lineAtDialog = "(no dialog)";
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (QApplication::activeModalWidget() != nullptr && lineAtDialog == "(no dialog)")
      lineAtDialog = window_->ProgressLine->text().toStdString();
    if (!form_->Busy()) return;
    const std::string line = window_->ProgressLine->text().toStdString();
    if (!line.empty() && (lines.empty() || lines.back() != line)) lines.push_back(line);
    if (window_->ProgressBar->isVisible()) bar.push_back(window_->ProgressBar->value());
  });
  watch.start(0);
  QTest::qWait(20);
  Click(window_->CompSigsButton);
  watch.stop();
  ASSERT_FALSE(lines.empty()) << "no progress while the scan ran";
  EXPECT_TRUE(lines.front().starts_with("0 out of 5 in ")) << lines.front();
  for (const std::string& line : lines) {
    const int done = std::stoi(line);
    EXPECT_TRUE(done >= 0 && done <= 5) << line;
    EXPECT_NE(line.find(" out of 5 in "), std::string::npos) << line;
  }
  for (int value : bar) EXPECT_LE(value, window_->ProgressBar->maximum());
  EXPECT_EQ(lineAtDialog, "");
  EXPECT_EQ(boxes_.Texts.size(), 1u);
  EXPECT_TRUE(window_->ProgressLine->text().isEmpty());
  EXPECT_TRUE(window_->ProgressBar->isHidden());
}

}  // namespace
}  // namespace velquin
