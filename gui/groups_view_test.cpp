// The Groups tab in the real window over the real form: following Matches while a scan appends pairs,
// and a "trash the rest" of every group that the Stop button ends midway.
#include "gui/groups_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/test_support.h"
#include "gui/main_window.h"
#include "gui/matches_grid.h"
#include "gui/qt_desktop.h"
#include "gui/window_test_support.h"
#include "platform/file_utils.h"
#include "signature/signature.h"
#include "tablestore/notification_hold.h"

namespace velquin {
namespace {

namespace fs = std::filesystem;

std::size_t FilesIn(const fs::path& folder) {
  std::error_code error;
  std::size_t count = 0;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
    ++count;
  return count;
}

class GroupsViewTest : public WindowTest {
 protected:
  void SetUp() override {
    OpenWindow(desktop_);
    form_->SetDirEditText(Folder());
    ASSERT_TRUE(form_->MatchesTable.Active());
  }

  fs::path TrashFiles() const { return root_ / "data" / "Trash" / "files"; }
  int GridRows() const { return window_->DBGrid->model()->rowCount(); }

  // `copies` copies of a keeper per group, each a picture file with its Sigs row and a pair with the
  // keeper, as a scan and a match pass would leave them.
  void FillGroups(int groups, int copies) {
    TSignature signature;
    signature.Cells.fill({120, 120, 120});
    // The grid and the pair display take the rows up once, at the end.
    TNotificationHold hold(form_->MatchesTable);
    for (int g = 0; g < groups; ++g) {
      const std::string keeper = "g" + std::to_string(100 + g) + "_0.bmp";
      for (int m = 0; m <= copies; ++m) {
        const std::string name = "g" + std::to_string(100 + g) + "_" + std::to_string(m) + ".bmp";
        WriteBmp(Folder() + name, m == 0 ? 16 : 8, m == 0 ? 16 : 8, 0x808080);
        TTable& sigs = form_->SigsTable;
        sigs.Append();
        sigs.SetFieldValue("FileName", name);
        sigs.SetFieldValue("FilePath", Folder());
        sigs.SetFieldValue("FileDate", GetFileDate(Folder() + name));
        sigs.SetFieldValue("Signature", SignatureToText(signature));
        sigs.Post();
        if (m == 0) continue;
        TTable& matches = form_->MatchesTable;
        matches.Append();
        matches.SetFieldValue("MaxDiff", 0);
        matches.SetFieldValue("File1", Folder() + keeper);
        matches.SetFieldValue("File2", Folder() + name);
        matches.Post();
      }
    }
    hold.Resume();
  }

  TQtDesktop desktop_;
  TDialogAnswerer dialogs_;
};

// The tab in front follows the pairs a scan appends, without being shown again, and is usable once the
// scan has ended.
TEST_F(GroupsViewTest, TheTabShowsTheGroupsAScanAppends) {
  window_->ReviewTabs->setCurrentWidget(window_->GroupsView);
  QTreeWidget* tree = window_->GroupsView->GroupTree;
  ASSERT_EQ(tree->topLevelItemCount(), 0);
  ASSERT_TRUE(form_->IncrMatchCB());
  // The scan pairs a picture with the later ones in signature order: a2, written last, is a shade
  // darker than a1.
  const auto pattern = [](std::uint32_t lift) {
    return [lift](std::int32_t x, std::int32_t y) {
      return (static_cast<std::uint32_t>(x * 4 / 40 * 50) + lift) << 16 |
             (static_cast<std::uint32_t>(y * 4 / 30 * 50) + lift) << 8 | (60u + lift);
    };
  };
  form_->SetNormalizeCB(false);
  WriteBmp(Folder() + "a1.bmp", 40, 30, pattern(2));
  WriteBmp(Folder() + "a2.bmp", 40, 30, pattern(0));
  WriteBmp(Folder() + "c.bmp", 20, 20, 0xF0F0F0);

  form_->CompSigsButtonClick();
  ASSERT_EQ(GridRows(), 1);
  QTRY_COMPARE_WITH_TIMEOUT(tree->topLevelItemCount(), 1, 20 * TGroupsView::kFollowMs);
  ASSERT_EQ(tree->topLevelItem(0)->childCount(), 2);
  EXPECT_EQ(tree->topLevelItem(0)->child(1)->toolTip(TGroupsView::ColumnFile).toStdString(),
            Folder() + "a2.bmp");
  QTRY_VERIFY_WITH_TIMEOUT(window_->GroupsView->TrashAllButton->isEnabled(), 20 * TGroupsView::kFollowMs);
}

// Stop ends a long "trash the rest" of every group: the files moved so far are in the trash and their
// rows gone from the grid, the others stay, and Edit > Undo brings the moved ones back in one step.
TEST_F(GroupsViewTest, StopEndsTrashingAllGroupsAndUndoBringsBackWhatMoved) {
  constexpr int kGroups = 60;
  constexpr int kCopies = 5;
  FillGroups(kGroups, kCopies);
  const std::size_t files = FilesIn(root_ / "pics");
  window_->ReviewTabs->setCurrentWidget(window_->GroupsView);
  ASSERT_EQ(window_->GroupsView->GroupTree->topLevelItemCount(), kGroups);
  ASSERT_EQ(GridRows(), kGroups * kCopies);
  EXPECT_FALSE(window_->StopButton->isEnabled());

  bool stopSeen = false;
  QTimer stopper;
  QObject::connect(&stopper, &QTimer::timeout, [&] {
    if (!window_->StopButton->isEnabled() || FilesIn(TrashFiles()) == 0) return;
    stopSeen = true;
    QTest::mouseClick(window_->StopButton, Qt::LeftButton);
  });
  stopper.start(0);
  QTest::mouseClick(window_->GroupsView->TrashAllButton, Qt::LeftButton);
  stopper.stop();
  QApplication::processEvents();

  ASSERT_TRUE(stopSeen);
  const std::size_t moved = FilesIn(TrashFiles());
  ASSERT_GT(moved, 0u);
  ASSERT_LT(moved, static_cast<std::size_t>(kGroups * kCopies));
  ASSERT_FALSE(dialogs_.Texts.empty());
  EXPECT_EQ(dialogs_.Texts.back(),
            "Stopped: Moved " + std::to_string(moved) + (moved == 1 ? " file" : " files") + " to the trash.");
  EXPECT_EQ(FilesIn(root_ / "pics"), files - moved);
  EXPECT_EQ(GridRows(), static_cast<int>(kGroups * kCopies - moved));
  EXPECT_EQ(form_->SigsTable.RecordCount(), static_cast<int>(kGroups * (kCopies + 1) - moved));
  EXPECT_FALSE(window_->StopButton->isEnabled());
  EXPECT_FALSE(form_->Busy());
  ASSERT_TRUE(window_->EditUndo->isEnabled());

  window_->EditUndo->trigger();
  QApplication::processEvents();
  EXPECT_EQ(FilesIn(TrashFiles()), 0u);
  EXPECT_EQ(FilesIn(root_ / "pics"), files);
  EXPECT_EQ(GridRows(), kGroups * kCopies);
  EXPECT_EQ(window_->GroupsView->GroupTree->topLevelItemCount(), kGroups);
  EXPECT_FALSE(window_->EditUndo->isEnabled());
}

}  // namespace
}  // namespace velquin
