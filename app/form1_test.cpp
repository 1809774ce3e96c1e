#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "app/form_view.h"
#include "app/program_tables.h"
#include "app/test_support.h"
#include "platform/file_utils.h"

namespace velquin {
namespace {

using FolderTest = FormTest;

// Counts how often each part of the form was announced.
class TCountingView : public TFormView {
 public:
  void FormChanged(TFormPart part) override { ++Changes[static_cast<int>(part)]; }
  void MemoChanged(TMemoChange, const std::string&) override { ++MemoChanges; }
  void CloseRequested() override { ++Closes; }
  bool ShowsPairPictures() const override { return true; }
  int Changes[16] = {};
  int MemoChanges = 0;
  int Closes = 0;
};

TEST_F(FolderTest, FolderWithoutSeparatorGainsOneAndEntersTheListOnce) {
  const std::string folder = Pictures.Path().substr(0, Pictures.Path().size() - 1);
  Form.SetDirEditText(folder);
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_EQ(Form.DirEditText(), Pictures.Path());
  EXPECT_EQ(Form.LBItems(), std::vector<std::string>{Pictures.Path()});
  EXPECT_TRUE(FileExists(Pictures.Path() + "Sigs.DAT") || FileExists(Pictures.Path() + "Sigs.Dat"));
  EXPECT_EQ(Form.lSigsDB(), "Signatures DB (0/0)");
  EXPECT_EQ(Form.lMatchesDB(), "Matches DB (0)");
}

TEST_F(FolderTest, FolderInTheListWithOtherCaseAddsNoEntry) {
  std::string upper = Pictures.Path();
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return std::toupper(c); });
  Form.AddLBItem(upper);
  ChooseFolder();
  EXPECT_EQ(Form.LBItems(), std::vector<std::string>{upper});
}

TEST_F(FolderTest, BlankTextKeepsThePreviousTablesOpen) {
  ChooseFolder();
  for (const std::string blank : {"", "  ", " \r\n"}) {
    SCOPED_TRACE("[" + blank + "]");
    Form.SetDirEditText(blank);
    EXPECT_TRUE(Desktop.Errors.empty());
    EXPECT_TRUE(Form.SigsTable.Active());
    EXPECT_EQ(Form.LBItems().size(), 1u);
  }
}

// A folder text that names no folder is refused in plain words before anything happens: no list
// entry, no table files, and the previous Folder's tables stay open; the commands refuse it too.
TEST_F(FolderTest, TextNamingNoFolderIsRefused) {
  Pictures.WriteFile("a.bmp", "x");
  for (const std::string& text : {Pictures.Path() + "nowhere", Pictures.Path() + "nowhere/",
                                  Pictures.Path() + "a.bmp", std::string("relative-nowhere")}) {
    SCOPED_TRACE(text);
    Desktop.Errors.clear();
    ChooseFolder();
    Form.SetDirEditText(text);
    EXPECT_EQ(Desktop.Errors, std::vector<std::string>{text + ": no such folder"});
    EXPECT_EQ(Form.DirEditText(), text);
    EXPECT_EQ(Form.LBItems(), std::vector<std::string>{Pictures.Path()});
    EXPECT_TRUE(Form.SigsTable.Active());
    EXPECT_EQ(Form.SigsTable.DatabaseName, Pictures.Path());
    EXPECT_FALSE(FolderExists(Pictures.Path() + "nowhere"));

    Desktop.Errors.clear();
    Form.CompSigsButtonClick();
    Form.CompMatchesButtonClick();
    Form.ClearButtonClick();
    EXPECT_EQ(Desktop.Errors, std::vector<std::string>(3, text + ": no such folder"));
    EXPECT_TRUE(Desktop.Messages.empty()) << "no command ran";
    EXPECT_FALSE(FileExists(AppDir.Path() + "log.txt"));
    // The text's folder part may name the Folder: ClearDBs left its tables alone all the same.
    EXPECT_TRUE(Form.SigsTable.Active());
    EXPECT_TRUE(FileExists(Pictures.Path() + "Sigs.DAT"));
  }
}

// The tables of a folder are held by another open (another Velquin): the store's error says so, and
// the form opens the folder once they are free.
// Matches can be made again by the match pass: damaged beyond repair, it is moved aside, never
// deleted, and made anew with a line in the log. A damaged Sigs is an error, and stays where it is.
TEST_F(FolderTest, DamagedMatchesIsMovedAsideAndMadeAnew) {
  Pictures.WriteFile("Matches.DAT", "not a table");
  Pictures.WriteFile("Matches.DAT.damaged", "an older one");
  Form.SetDirEditText(Pictures.Path());
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_TRUE(Form.MatchesTable.Active());
  EXPECT_EQ(Form.lMatchesDB(), "Matches DB (0)");
  EXPECT_EQ(ReadWholeFile(Pictures.Path() + "Matches.DAT.damaged"), "an older one");
  EXPECT_EQ(ReadWholeFile(Pictures.Path() + "Matches.DAT.damaged-2"), "not a table");
  ASSERT_FALSE(Form.Memo1().empty());
  EXPECT_EQ(
      Form.Memo1().back(),
      "Tabrix Engine Error # 12100 The files of the table 'Matches' are damaged beyond repair; moved aside "
      "as Matches.DAT.damaged-2 and made anew");

  TTestDir other;
  other.WriteFile("Sigs.DAT", "not a table");
  Form.SetDirEditText(other.Path());
  ASSERT_EQ(Desktop.Errors.size(), 1u);
  EXPECT_NE(Desktop.Errors[0].find("'Sigs' are damaged beyond repair"), std::string::npos)
      << Desktop.Errors[0];
  EXPECT_EQ(ReadWholeFile(other.Path() + "Sigs.DAT"), "not a table");
}

TEST_F(FolderTest, FolderInUseByAnotherVelquinSaysSo) {
  TTable otherSigs("SigsTable");
  TTable otherMatches("MatchesTable");
  OpenTables(otherSigs, otherMatches, Pictures.Path());
  Form.SetDirEditText(Pictures.Path());
  EXPECT_EQ(Desktop.Errors, std::vector<std::string>{"Tabrix Engine Error # 11013 Access denied to table "
                                                     "'Sigs' (another Velquin is using this folder)"});
  EXPECT_FALSE(Form.SigsTable.Active());
  otherSigs.Close();
  otherMatches.Close();
  Desktop.Errors.clear();
  Form.DirEditChange();
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_TRUE(Form.SigsTable.Active());
}

// Access denied for another reason keeps the store's text alone. Here a program that is not Velquin
// reads Sigs under a shared lock: the store can open the table for reading only, and refuses to
// ready it for writing.
TEST_F(FolderTest, AccessDeniedOtherwiseNamesNoOtherVelquin) {
  ChooseFolder();
  Form.SigsTable.Close();
  Form.MatchesTable.Close();
  const int reader = open((Pictures.Path() + "Sigs.DAT").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  ASSERT_EQ(flock(reader, LOCK_SH), 0);
  Form.DirEditChange();
  close(reader);
  EXPECT_EQ(Desktop.Errors,
            std::vector<std::string>{"Tabrix Engine Error # 11013 Access denied to table 'Sigs'"});
}

TEST_F(FolderTest, ListClickAndDeleteKey) {
  Form.AddLBItem("/zz/");
  Form.AddLBItem(Pictures.Path());
  std::uint16_t key = 46;
  Form.LBKeyDown(key);  // no selection: nothing removed, the key is consumed all the same
  EXPECT_EQ(key, 0);
  EXPECT_EQ(Form.LBItems().size(), 2u);

  Form.SetLBItemIndex(0);
  Form.LBClick();
  EXPECT_EQ(Form.DirEditText(), Pictures.Path());
  EXPECT_TRUE(Form.SigsTable.Active());

  key = 65;
  Form.LBKeyDown(key);
  EXPECT_EQ(key, 65);
  key = 46;
  Form.LBKeyDown(key);
  EXPECT_EQ(Form.LBItems(), std::vector<std::string>{"/zz/"});
  EXPECT_EQ(Form.DirEditText(), Pictures.Path());  // the Folder is not affected
  EXPECT_TRUE(Form.SigsTable.Active());
}

TEST_F(FolderTest, ResizeArithmetic) {
  TCountingView view;
  Form.SetView(&view);
  TFormLayout& l = Form.Layout();
  l.Width = 696;
  l.Panel6Width = 231;
  l.Panel5Width = 233;
  l.GridColumn0Width = 64;
  l.DirEditHeight = 21;
  Form.FormResize();
  EXPECT_EQ(l.Panel3Width, 224);
  EXPECT_EQ(l.DirEditWidth, 229);
  EXPECT_EQ(l.Panel6Height, 23);
  EXPECT_EQ(l.GridFileColumnWidth, (696 - 233 - 64 - 48) / 2);
  l.Width = 100;  // truncation toward zero of a negative quotient
  Form.FormResize();
  EXPECT_EQ(l.Panel3Width, (100 - 231) / 2 - 8);
  EXPECT_EQ(view.Changes[static_cast<int>(TFormPart::Layout)], 2);
  Form.SetView(nullptr);
}

TEST_F(FolderTest, CountPictureFilesByExtensionOnly) {
  for (const char* name : {"a.jpg", "b.JPG", "c.Bmp", "d.gif", "e.jpeg", "f.png", "g", "h.jpg.txt"}) {
    Pictures.WriteFile(name, "x");
  }
  mkdir((Pictures.Path() + "old.JPG").c_str(), 0700);
  ChooseFolder();
  EXPECT_EQ(Form.CountPictureFiles(), "5");
  EXPECT_EQ(Form.lSigsDB(), "Signatures DB (0/5)");
  Form.SetDirEditText(Pictures.Path() + "old.JPG/");
  EXPECT_EQ(Form.CountPictureFiles(), "0");
}

TEST_F(FolderTest, QuitAsksTheViewToClose) {
  TCountingView view;
  Form.SetView(&view);
  Form.QuitButtonClick();
  EXPECT_EQ(view.Closes, 1);
  Form.SetView(nullptr);
}

}  // namespace
}  // namespace velquin
