#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/copy_review.h"
#include "app/groups_form.h"
#include "app/test_support.h"
#include "platform/file_utils.h"
#include "platform/text_utils.h"
#include "signature/signature.h"

namespace velquin {
namespace {

namespace fs = std::filesystem;

std::string GraySignature(std::int32_t level) {
  TSignature signature;
  signature.Cells.fill({level, level, level});
  return SignatureToText(signature);
}

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
  void AddPair(std::int32_t maxDiff, const std::string& file1, const std::string& file2) {
    TTable& matches = Form.MatchesTable;
    matches.Append();
    matches.SetFieldValue("MaxDiff", maxDiff);
    matches.SetFieldValue("File1", Pictures.File(file1));
    matches.SetFieldValue("File2", Pictures.File(file2));
    matches.Post();
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

}  // namespace
}  // namespace velquin
