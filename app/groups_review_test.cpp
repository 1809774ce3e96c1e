#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "app/copy_review.h"
#include "app/groups_form.h"
#include "app/test_support.h"
#include "platform/file_utils.h"
#include "platform/text_utils.h"
#include "signature/signature.h"
#include "tablestore/notification_hold.h"

namespace velquin {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Trash the rest and undo on a real trash of the test's own (XDG_DATA_HOME).
class GroupsReviewTest : public FormTest {
 protected:
  void SetUp() override {
    Desktop.RealTrash = true;
    Form.SetNormalizeCB(false);
    ChooseFolder();
  }

  // A picture with its Sigs row, dated as the file is.
  std::string Picture(const std::string& name, std::int32_t size, std::int32_t gray) {
    const std::string path = Pictures.File(name);
    WriteBmp(path, size, size, 0x808080);
    SetFileTime(path, 1'700'000'000);
    TTable& sigs = Form.SigsTable;
    sigs.Append();
    sigs.SetFieldValue("FileName", name);
    sigs.SetFieldValue("FilePath", Pictures.Path());
    sigs.SetFieldValue("FileDate", GetFileDate(path));
    sigs.SetFieldValue("Signature", GraySignature(gray));
    sigs.Post();
    return path;
  }
  // A pair of two pictures of the folder, by name.
  void AddPair(std::int32_t maxDiff, const std::string& file1, const std::string& file2) {
    AddMatchRow(maxDiff, Pictures.File(file1), Pictures.File(file2));
  }
  std::vector<std::string> SortedSigsNames() {
    std::vector<std::string> names = SigsNames();
    std::sort(names.begin(), names.end());
    return names;
  }

  TTestTrash Trash;
  TGroupsForm Groups{Form};
};

TEST_F(GroupsReviewTest, TrashTheRestMovesOnlySafeMembersAndUndoPutsEverythingBack) {
  Picture("keep.bmp", 16, 100);
  Picture("copy.bmp", 8, 102);
  Picture("chain.bmp", 8, 104);    // paired with copy only
  Picture("changed.bmp", 8, 100);  // written again after its signature was made
  Picture("far.bmp", 8, 130);      // recorded, but not alike at the Margin of now
  Picture("other1.bmp", 12, 50);
  Picture("other2.bmp", 6, 50);
  ASSERT_EQ(::link(Pictures.File("keep.bmp").c_str(), Pictures.File("samefile.bmp").c_str()), 0);
  Picture("samefile.bmp", 16, 100);
  Picture("gone.bmp", 8, 100);  // removed once its pair is recorded
  AddPair(2, "keep.bmp", "copy.bmp");
  AddPair(2, "copy.bmp", "chain.bmp");
  AddPair(0, "keep.bmp", "changed.bmp");
  AddPair(9, "keep.bmp", "far.bmp");
  AddPair(0, "keep.bmp", "samefile.bmp");
  AddPair(0, "keep.bmp", "gone.bmp");
  AddPair(0, "other1.bmp", "other2.bmp");
  SetFileTime(Pictures.File("changed.bmp"), 1'700'000'100);
  fs::remove(Pictures.File("gone.bmp"));
  const std::vector<std::string> rowsBefore = MatchRows();
  const std::vector<std::string> sigsBefore = SortedSigsNames();
  const std::vector<std::string> filesBefore = NamesIn(Pictures.Path());

  Groups.Refresh();
  ASSERT_EQ(Groups.Groups().size(), 2u);
  EXPECT_EQ(Groups.Groups()[0].Members.front().FullName, Pictures.File("keep.bmp"));
  EXPECT_EQ(Groups.ConfirmAllText(false), "Move 2 files (" +
                                              IntToStrSep(GetFileSize(Pictures.File("copy.bmp")) +
                                                          GetFileSize(Pictures.File("other2.bmp"))) +
                                              " bytes) to the trash?\nKeeping:\n" +
                                              Pictures.File("keep.bmp") + "\n" + Pictures.File("other1.bmp"));

  Groups.TrashAllClick(false);
  ASSERT_TRUE(Desktop.Errors.empty()) << Desktop.Errors.front();
  ASSERT_EQ(Desktop.Messages.size(), 1u);
  const std::map<std::string, std::string> why = {
      {"chain.bmp", "not paired with the keeper"},
      {"changed.bmp", "changed since its signature was made"},
      {"far.bmp", "no longer alike under the current Margin"},
      {"samefile.bmp", "another name of the keeper's file"},
      {"gone.bmp", "missing"},
  };
  for (const auto& [name, reason] : why) {
    EXPECT_NE(Desktop.Messages[0].find(Pictures.File(name) + ": " + reason), std::string::npos) << name;
  }
  EXPECT_EQ(Desktop.Messages[0].rfind("Moved 2 files to the trash.\nStayed:", 0), 0u) << Desktop.Messages[0];

  // The two moved files lie in the trash with their info files; everything else stays.
  EXPECT_EQ(NamesIn(Trash.Path() + "files"), (std::vector<std::string>{"copy.bmp", "other2.bmp"}));
  EXPECT_EQ(NamesIn(Trash.Path() + "info"),
            (std::vector<std::string>{"copy.bmp.trashinfo", "other2.bmp.trashinfo"}));
  std::vector<std::string> filesLeft = filesBefore;
  std::erase_if(filesLeft,
                [](const std::string& name) { return name == "copy.bmp" || name == "other2.bmp"; });
  EXPECT_EQ(NamesIn(Pictures.Path()), filesLeft);
  // Their Sigs rows and every pair naming them are gone; the other rows stay as they were.
  std::vector<std::string> sigsLeft = sigsBefore;
  std::erase_if(sigsLeft, [](const std::string& name) { return name == "copy.bmp" || name == "other2.bmp"; });
  EXPECT_EQ(SortedSigsNames(), sigsLeft);
  std::vector<std::string> rowsLeft = rowsBefore;
  std::erase_if(rowsLeft, [](const std::string& row) {
    return row.find("/copy.bmp") != std::string::npos || row.find("/other2.bmp") != std::string::npos;
  });
  EXPECT_EQ(MatchRows(), rowsLeft);
  EXPECT_EQ(Form.lMatchesDB(), "Matches DB (" + std::to_string(rowsLeft.size()) + ")");
  EXPECT_EQ(Groups.Groups().size(), 1u);  // read afresh: copy~chain went with copy

  ASSERT_TRUE(Form.CanUndo());
  Form.EditUndoClick();
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_FALSE(Form.CanUndo());
  EXPECT_EQ(NamesIn(Pictures.Path()), filesBefore);
  EXPECT_TRUE(NamesIn(Trash.Path() + "files").empty());
  EXPECT_TRUE(NamesIn(Trash.Path() + "info").empty());
  EXPECT_EQ(SortedSigsNames(), sigsBefore);
  EXPECT_EQ(MatchRows(), rowsBefore);
  EXPECT_EQ(Desktop.Messages.size(), 1u);  // nothing to say
}

TEST_F(GroupsReviewTest, TheChosenKeeperStaysAndAPairOnlyWithIt) {
  Picture("big.bmp", 16, 100);
  Picture("small.bmp", 8, 100);
  Picture("third.bmp", 8, 101);
  AddPair(0, "big.bmp", "small.bmp");
  AddPair(1, "small.bmp", "third.bmp");
  AddPair(1, "big.bmp", "third.bmp");
  Groups.Refresh();
  Groups.Select(0);
  Groups.KeepThisOne(Pictures.File("small.bmp"));
  EXPECT_EQ(Groups.ConfirmSelectedText(),
            "Move 2 files (" +
                IntToStrSep(GetFileSize(Pictures.File("big.bmp")) + GetFileSize(Pictures.File("third.bmp"))) +
                " bytes) to the trash?");
  Groups.TrashSelectedClick();
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_EQ(NamesIn(Pictures.Path()),
            (std::vector<std::string>{"Matches.DAT", "Matches.IDX", "Sigs.DAT", "Sigs.IDX", "small.bmp"}));
  EXPECT_TRUE(MatchRows().empty());
  EXPECT_EQ(SigsNames(), std::vector<std::string>{"small.bmp"});
}

// The message after trashing names the first twenty files that stayed and counts the others.
TEST_F(GroupsReviewTest, TheMessageCountsTheStaysBeyondTwenty) {
  Picture("keep.bmp", 16, 100);
  Picture("a.bmp", 8, 100);
  AddPair(0, "keep.bmp", "a.bmp");
  for (int i = 0; i < 22; ++i) {
    const std::string name = "b" + std::to_string(100 + i) + ".bmp";
    Picture(name, 8, 100);
    AddPair(0, "a.bmp", name);
  }
  Groups.Refresh();
  Groups.TrashAllClick(false);
  ASSERT_EQ(Desktop.Messages.size(), 1u);
  const std::string& text = Desktop.Messages[0];
  EXPECT_EQ(text.rfind("Moved 1 file to the trash.\nStayed:\n" + Pictures.File("b100.bmp") +
                           ": not paired with the keeper\n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find(Pictures.File("b119.bmp") + ": not paired with the keeper\nand 2 files more"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("b120.bmp"), std::string::npos);
}

// A pair recorded only through Gray or Turned counts for "all groups" only when the user includes it.
TEST_F(GroupsReviewTest, PairsOnlyThroughGrayOrTurnedGoOnlyWhenIncluded) {
  Picture("big.bmp", 16, 100);
  Picture("small.bmp", 8, 100);
  const TCopyGroups groups({{Pictures.File("big.bmp"), Pictures.File("small.bmp"), true}});
  for (const bool include : {false, true}) {
    const TRestPlan plan = PlanTrashTheRest(Form, groups, 0, include);
    EXPECT_EQ(plan.Keeper, Pictures.File("big.bmp"));
    ASSERT_EQ(plan.Steps.size(), 1u);
    EXPECT_EQ(plan.Steps[0].Skip, include ? "" : "paired with the keeper only through Gray or Turned");
  }
}

// A Delete in the pair view is undone like a "trash the rest"; a place taken again is not overwritten.
TEST_F(GroupsReviewTest, UndoOfADeleteWhosePlaceIsTakenSaysSo) {
  Picture("a.bmp", 8, 100);
  Picture("b.bmp", 8, 100);
  Picture("c.bmp", 8, 100);
  AddPair(0, "a.bmp", "b.bmp");
  AddPair(0, "a.bmp", "c.bmp");
  Form.MatchesTable.First();
  Form.lDeleteButtonClick();  // a.bmp
  Form.MatchesTable.First();
  ASSERT_EQ(Form.MatchesTable.RecordCount(), 0);
  ASSERT_TRUE(FileExists(Pictures.File("b.bmp")));
  std::ofstream(Pictures.File("a.bmp")) << "a new file";
  Form.EditUndoClick();
  ASSERT_EQ(Desktop.Messages.size(), 1u);
  EXPECT_EQ(Desktop.Messages[0], "Cannot restore file \"" + fs::canonical(Pictures.Path()).string() +
                                     "/a.bmp\". Its place is taken again; it stays in the trash as \"" +
                                     Trash.Path() + "files/a.bmp\".");
  EXPECT_EQ(ReadWholeFile(Pictures.File("a.bmp")), "a new file");
  EXPECT_EQ(NamesIn(Trash.Path() + "files"), std::vector<std::string>{"a.bmp"});
  // The rows of a file that stayed in the trash stay out of the tables.
  EXPECT_TRUE(MatchRows().empty());
  EXPECT_EQ(SortedSigsNames(), (std::vector<std::string>{"b.bmp", "c.bmp"}));
  EXPECT_FALSE(Form.CanUndo());
}

// A run stopped midway keeps what it moved: those files are in the trash without their rows, the others
// stay with theirs, and the moves are one undo step. Nothing else changes the groups meanwhile.
TEST_F(GroupsReviewTest, AStoppedRunKeepsItsMovesAsOneUndoStep) {
  Picture("k.bmp", 16, 100);
  for (const char* copy : {"c1.bmp", "c2.bmp", "c3.bmp", "c4.bmp", "c5.bmp"}) {
    Picture(copy, 8, 100);
    AddPair(0, "k.bmp", copy);
  }
  Picture("o1.bmp", 12, 50);
  Picture("o2.bmp", 6, 50);
  AddPair(0, "o1.bmp", "o2.bmp");
  const std::vector<std::string> rowsBefore = MatchRows();
  const std::vector<std::string> sigsBefore = SortedSigsNames();
  const std::vector<std::string> filesBefore = NamesIn(Pictures.Path());
  Groups.Refresh();
  ASSERT_EQ(Groups.Groups().size(), 2u);

  bool busyThroughout = true;
  bool triedOthers = false;
  bool stopped = false;
  Desktop.OnMessages = [&] {
    busyThroughout = busyThroughout && Form.Busy();
    if (!triedOthers) {
      // The run owns the groups and the tables: a second run, a re-read and a new keeper all wait.
      triedOthers = true;
      Groups.TrashAllClick(false);
      Groups.Refresh();
      Groups.KeepThisOne(Pictures.File("c5.bmp"));
      Form.EditUndoClick();
    }
    if (!stopped && NamesIn(Trash.Path() + "files").size() == 2) {
      stopped = true;
      Form.StopButtonClick();
    }
  };
  Groups.TrashAllClick(false);
  Desktop.OnMessages = nullptr;

  ASSERT_TRUE(Desktop.Errors.empty()) << Desktop.Errors.front();
  EXPECT_TRUE(busyThroughout);
  EXPECT_FALSE(Form.Busy());
  EXPECT_FALSE(Form.StopRequested());
  EXPECT_EQ(Desktop.Messages, std::vector<std::string>{"Stopped: Moved 2 files to the trash."});
  EXPECT_EQ(Form.Progress().ItemsDone(), 2);
  EXPECT_EQ(Form.Progress().ItemsToDo(), 6);
  EXPECT_TRUE(Form.ProgressLine().empty());
  EXPECT_EQ(NamesIn(Trash.Path() + "files"), (std::vector<std::string>{"c1.bmp", "c2.bmp"}));
  const auto moved = [](const std::string& text) {
    return text.find("c1.bmp") != std::string::npos || text.find("c2.bmp") != std::string::npos;
  };
  std::vector<std::string> filesLeft = filesBefore;
  std::erase_if(filesLeft, moved);
  EXPECT_EQ(NamesIn(Pictures.Path()), filesLeft);
  std::vector<std::string> sigsLeft = sigsBefore;
  std::erase_if(sigsLeft, moved);
  EXPECT_EQ(SortedSigsNames(), sigsLeft);
  std::vector<std::string> rowsLeft = rowsBefore;
  std::erase_if(rowsLeft, moved);
  EXPECT_EQ(MatchRows(), rowsLeft);
  // Read afresh once the run ended: the group of k.bmp keeps its three copies left, k.bmp still keeper.
  ASSERT_EQ(Groups.Groups().size(), 2u);
  EXPECT_EQ(Groups.Groups()[0].Members.size(), 4u);
  EXPECT_EQ(Groups.Groups()[0].Members.front().FullName, Pictures.File("k.bmp"));

  ASSERT_TRUE(Form.CanUndo());
  Form.EditUndoClick();
  EXPECT_FALSE(Form.CanUndo());
  EXPECT_EQ(NamesIn(Pictures.Path()), filesBefore);
  EXPECT_TRUE(NamesIn(Trash.Path() + "files").empty());
  EXPECT_EQ(SortedSigsNames(), sigsBefore);
  EXPECT_EQ(MatchRows(), rowsBefore);
}

// The rows of the moved files go in one pass over Matches that lets messages run; a click in the grid
// meanwhile moves the cursor, or the pass's row goes, and the pass still removes every row it must.
TEST_F(GroupsReviewTest, RemovingRowsGoesOnWhereItWasWhenMessagesMoveTheCursor) {
  constexpr int kPairs = 150;  // more than two calls' worth of rows
  std::vector<std::string> gone;
  for (int i = 0; i < kPairs; ++i) {
    // The pair display drops a row whose file is missing.
    Pictures.WriteFile("a" + std::to_string(1000 + i) + ".bmp");
    Pictures.WriteFile("b" + std::to_string(1000 + i) + ".bmp");
    if (i % 2 == 0) gone.push_back(Pictures.File("b" + std::to_string(1000 + i) + ".bmp"));
  }
  TTable& matches = Form.MatchesTable;
  // The pairs a_i~b_i and the Sigs rows of the b_i, put in afresh; the cursor on the tenth row.
  const auto fill = [&] {
    TNotificationHold hold(matches);
    for (TTable* table : {&matches, &Form.SigsTable}) {
      table->First();
      while (!table->Eof()) table->Delete();
    }
    for (int i = 0; i < kPairs; ++i) {
      AddPair(i % 3, "a" + std::to_string(1000 + i) + ".bmp", "b" + std::to_string(1000 + i) + ".bmp");
      AddSigsRow("b" + std::to_string(1000 + i) + ".bmp", Pictures.Path(), GraySignature(100));
    }
    matches.First();
    matches.MoveBy(9);
    hold.Resume();
  };
  fill();
  const std::vector<std::string> rowsBefore = MatchRows();
  const auto named = [&](const std::string& row) {
    return std::any_of(gone.begin(), gone.end(), [&](const std::string& file) {
      return row.size() >= file.size() && row.compare(row.size() - file.size(), file.size(), file) == 0;
    });
  };

  enum class TMeanwhile { kToFirst, kToLast, kRowReachedDeleted };
  for (const TMeanwhile meanwhile :
       {TMeanwhile::kToFirst, TMeanwhile::kToLast, TMeanwhile::kRowReachedDeleted}) {
    SCOPED_TRACE(static_cast<int>(meanwhile));
    fill();
    int calls = 0;
    std::string deleted;
    TTrashAction action;
    RemoveRecords(Form.SigsTable, matches, gone, action, [&] {
      // The first calls come after the Sigs rows, one each; the pass's come after them.
      if (++calls <= static_cast<int>(gone.size())) return;
      if (meanwhile == TMeanwhile::kToFirst) matches.First();
      if (meanwhile == TMeanwhile::kToLast) matches.Last();
      if (meanwhile == TMeanwhile::kRowReachedDeleted && deleted.empty()) {
        deleted = std::to_string(matches.FieldAsInteger("MaxDiff")) + "|" + matches.FieldAsString("File1") +
                  "|" + matches.FieldAsString("File2");
        matches.Delete();
      }
    });
    EXPECT_GT(calls, static_cast<int>(gone.size()) + 1);

    std::vector<std::string> rowsLeft = rowsBefore;
    std::erase_if(rowsLeft, [&](const std::string& row) { return named(row) || row == deleted; });
    EXPECT_EQ(MatchRows(), rowsLeft);
    std::vector<std::string> removed;
    for (const TMatchesRowCopy& row : action.MatchesRows)
      removed.push_back(std::to_string(row.MaxDiff) + "|" + row.File1 + "|" + row.File2);
    std::sort(removed.begin(), removed.end());
    std::vector<std::string> expected;
    std::copy_if(rowsBefore.begin(), rowsBefore.end(), std::back_inserter(expected),
                 [&](const std::string& row) { return named(row) && row != deleted; });
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(removed, expected);
    EXPECT_EQ(action.SigsRows.size(), gone.size());
    EXPECT_EQ(SigsNames().size(), static_cast<std::size_t>(kPairs) - gone.size());
    EXPECT_EQ(matches.RecNo(), 10);
  }
}

}  // namespace
}  // namespace velquin
