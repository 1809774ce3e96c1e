// The window on a Folder whose tables cannot be written: the pairs are listed, what would write is
// disabled (buttons, menu items, keys, the Groups tab's trash buttons) and the status line says why;
// a Folder that can be written enables it all again. The form's WriteProblemOf stands in for the
// system, since the tests run as root.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/form1.h"
#include "app/program_tables.h"
#include "app/test_support.h"
#include "gui/groups_view.h"
#include "gui/main_window.h"
#include "gui/matches_grid.h"
#include "gui/window_test_support.h"
#include "signature/signature.h"

namespace velquin {
namespace {

namespace fs = std::filesystem;

class ReadOnlyWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    MakePairs();
    OpenWindow(desktop_, [this](TForm1& form) {
      form.WriteProblemOf = [this](const std::string& folder) {
        return folder == Folder() ? "Read-only file system" : "";
      };
    });
  }

  // Pictures a, a2, b and b2 with their Sigs rows and the pairs (a, a2) and (b, b2).
  void MakePairs() {
    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    OpenTables(sigs, matches, Folder());
    for (const auto& [name, gray] :
         {std::pair{"a.bmp", 100}, {"a2.bmp", 101}, {"b.bmp", 200}, {"b2.bmp", 202}}) {
      WriteBmp(Folder() + name, 8, 8, 0x808080);
      sigs.Append();
      sigs.SetFieldValue("FileName", std::string(name));
      sigs.SetFieldValue("FilePath", Folder());
      sigs.SetFieldValue("Signature", GraySignature(gray));
      sigs.Post();
    }
    for (const auto& [diff, file1, file2] : {std::tuple{1, "a.bmp", "a2.bmp"}, {2, "b.bmp", "b2.bmp"}}) {
      matches.Append();
      matches.SetFieldValue("MaxDiff", diff);
      matches.SetFieldValue("File1", Folder() + file1);
      matches.SetFieldValue("File2", Folder() + file2);
      matches.Post();
    }
  }

  void Choose(const std::string& folder) {
    form_->SetDirEditText(folder);
    QApplication::processEvents();
  }

  // What writes, each with its control; true where a control is enabled.
  std::vector<std::pair<std::string, bool>> WritingControls() {
    std::vector<std::pair<std::string, bool>> enabled;
    const std::pair<const char*, QWidget*> buttons[] = {
        {"Signatures", window_->CompSigsButton},
        {"Matches", window_->CompMatchesButton},
        {"Auto", window_->AutoButton},
        {"ClearDBs", window_->ClearButton},
        {"Delete left", window_->lDeleteButton},
        {"Delete right", window_->rDeleteButton},
        {"Trash the rest", window_->GroupsView->TrashGroupButton},
        {"Trash the rest of all groups", window_->GroupsView->TrashAllButton},
    };
    for (const auto& [name, button] : buttons) enabled.emplace_back(name, button->isEnabled());
    const std::pair<const char*, QAction*> actions[] = {
        {"Commands > Signatures", window_->CompSigsAction},
        {"Commands > Matches", window_->CompMatchesAction},
        {"Commands > Auto", window_->AutoAction},
        {"Commands > ClearDBs", window_->ClearAction},
        {"Pair > Delete left", window_->lDeleteAction},
        {"Pair > Delete right", window_->rDeleteAction},
    };
    for (const auto& [name, action] : actions) enabled.emplace_back(name, action->isEnabled());
    return enabled;
  }

  // Shows the Groups tab with its first group selected, so that its trash buttons would be usable.
  void SelectFirstGroup() {
    window_->ReviewTabs->setCurrentWidget(window_->GroupsView);
    window_->GroupsView->Refresh();
    QTreeWidget* tree = window_->GroupsView->GroupTree;
    ASSERT_GE(tree->topLevelItemCount(), 1);
    tree->topLevelItem(0)->setSelected(true);
    QApplication::processEvents();
  }

  TTestDir Other;
  TRecordingDesktop desktop_;
};

TEST_F(ReadOnlyWindowTest, PairsAreListedAndWhatWouldWriteIsDisabledWithTheReason) {
  const auto before = ListingOf(Folder());
  Choose(Folder());
  ASSERT_TRUE(desktop_.Errors.empty()) << desktop_.Errors.front();

  EXPECT_EQ(window_->DBGrid->model()->rowCount(), 2);
  EXPECT_EQ(window_->lMatchesDB->text().toStdString(), "Matches DB (2)");
  EXPECT_EQ(window_->lSigsDB->text().toStdString(), "Signatures DB (4/4)");
  EXPECT_EQ(window_->lFile1->text().toStdString(), "a.bmp");
  EXPECT_TRUE(window_->lViewButton->isEnabled());
  EXPECT_TRUE(window_->rViewButton->isEnabled());
  SelectFirstGroup();
  EXPECT_EQ(window_->GroupsView->GroupTree->topLevelItemCount(), 2);
  for (const auto& [name, enabled] : WritingControls()) EXPECT_FALSE(enabled) << name;
  EXPECT_TRUE(window_->ReadOnlyLine->isVisible());
  EXPECT_EQ(window_->ReadOnlyLine->text().toStdString(),
            "This folder cannot be written: Read-only file system");

  // Delete in the grid does nothing: its menu item is disabled.
  window_->ReviewTabs->setCurrentIndex(0);
  window_->DBGrid->setFocus();
  QTest::keyClick(window_->DBGrid, Qt::Key_Delete);
  QTest::keyClick(window_->DBGrid, Qt::Key_Delete, Qt::ControlModifier);
  QApplication::processEvents();
  EXPECT_TRUE(desktop_.Recycled.empty());
  EXPECT_TRUE(desktop_.Errors.empty()) << desktop_.Errors.front();
  EXPECT_EQ(window_->DBGrid->model()->rowCount(), 2);

  // Another Folder that can be written enables the commands again, and the reason goes; back on
  // this one, they are disabled again.
  Choose(Other.Path());
  EXPECT_TRUE(window_->CompSigsButton->isEnabled());
  EXPECT_TRUE(window_->ClearAction->isEnabled());
  EXPECT_TRUE(window_->lDeleteAction->isEnabled());
  EXPECT_FALSE(window_->ReadOnlyLine->isVisible());
  Choose(Folder());
  for (const auto& [name, enabled] : WritingControls()) EXPECT_FALSE(enabled) << name;
  EXPECT_TRUE(window_->ReadOnlyLine->isVisible());
  EXPECT_EQ(ListingOf(Folder()), before) << "nothing was written into the folder";

  // Once this Folder can be written, everything that writes is usable on it.
  form_->WriteProblemOf = [](const std::string&) { return std::string(); };
  Choose(Other.Path());
  Choose(Folder());
  SelectFirstGroup();
  for (const auto& [name, enabled] : WritingControls()) EXPECT_TRUE(enabled) << name;
  EXPECT_FALSE(window_->ReadOnlyLine->isVisible());
  EXPECT_EQ(window_->DBGrid->model()->rowCount(), 2);
}

// Closing the window writes its settings and folder list, beside the program, not into the Folder.
TEST_F(ReadOnlyWindowTest, ClosingWritesNothingIntoTheFolder) {
  const auto before = ListingOf(Folder());
  Choose(Folder());
  window_->close();
  EXPECT_TRUE(fs::exists(AppFolder() + "Velquin2.INI"));
  EXPECT_EQ(ListingOf(Folder()), before);
}

}  // namespace
}  // namespace velquin
