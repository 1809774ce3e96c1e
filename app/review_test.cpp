#include <filesystem>

#include "app/test_support.h"
#include "platform/file_utils.h"
#include "platform/text_utils.h"

namespace velquin {
namespace {

class ReviewTest : public FormTest {
 protected:
  void SetUp() override { ChooseFolder(); }

  std::string Picture(const std::string& name, std::int32_t width, std::int32_t height) {
    const std::string path = Pictures.Path() + name;
    WriteBmp(path, width, height, 0x808080);
    return path;
  }
  void GoToRow(std::int32_t row) {
    Form.MatchesTable.First();
    Form.MatchesTable.MoveBy(row - 1);
  }
};

TEST_F(ReviewTest, PairDisplayDescribesAndComparesSizes) {
  struct TCase {
    std::int32_t w1, h1, w2, h2;
    const char* comparison;
  };
  for (const TCase c :
       {TCase{80, 60, 64, 48, "<== Bigger"}, TCase{64, 48, 102, 76, "Bigger ==>"}, TCase{80, 60, 60, 80, ""},
        TCase{64, 48, 64, 40, ""}, TCase{30, 20, 30, 20, "Same Size"}}) {
    SCOPED_TRACE(c.comparison);
    Form.MatchesTable.EmptyTable();
    const std::string left = Picture("l.bmp", c.w1, c.h1);
    const std::string right = Picture("r.bmp", c.w2, c.h2);
    AddMatchRow(3, left, right);
    EXPECT_TRUE(Desktop.Errors.empty());
    EXPECT_EQ(Form.lComp(), c.comparison);
    EXPECT_EQ(Form.lFile1(), left + ": " + IntToStrSep(GetFileSize(left)) + "; " + std::to_string(c.w1) +
                                 " x " + std::to_string(c.h1));
    EXPECT_EQ(Form.Im2.Width(), c.w2);
    EXPECT_EQ(Form.Im2.Height(), c.h2);
  }
}

TEST_F(ReviewTest, SizeIsGroupedInTheDescription) {
  const std::string left = Picture("big.bmp", 700, 587);  // 54 + 2100 * 587 = 1,232,754 bytes
  const std::string right = Picture("r.bmp", 4, 4);
  AddMatchRow(0, left, right);
  EXPECT_EQ(Form.lFile1(), left + ": 1,232,754; 700 x 587");
}

TEST_F(ReviewTest, DeletingAFileKeepsTheRowNumber) {
  const std::string f = Picture("f.bmp", 4, 4);
  std::vector<std::string> others;
  for (int i = 0; i < 6; ++i) others.push_back(Picture("o" + std::to_string(i) + ".bmp", 4, 4));
  Form.SigsTable.Append();
  Form.SigsTable.SetFieldValue("FileName", "f.bmp");
  Form.SigsTable.SetFieldValue("FilePath", Pictures.Path());
  Form.SigsTable.Post();
  // Rows 1, 3 and 5 name f (as File1 or File2).
  AddMatchRow(1, f, others[0]);
  AddMatchRow(2, others[1], others[2]);
  AddMatchRow(3, f, others[3]);
  AddMatchRow(4, others[4], others[5]);
  AddMatchRow(5, others[0], f);
  AddMatchRow(6, others[2], others[3]);
  GoToRow(3);
  Form.lDeleteButtonClick();
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_EQ(Desktop.Recycled, std::vector<std::string>{f});
  EXPECT_EQ(Form.SigsTable.RecordCount(), 0);
  EXPECT_EQ(Form.MatchesTable.RecordCount(), 3);
  EXPECT_EQ(Form.MatchesTable.RecNo(), 3);
  EXPECT_EQ(Form.MatchesTable.FieldAsInteger("MaxDiff"), 6);
  EXPECT_EQ(Form.lFile1(), others[2] + ": " + std::to_string(GetFileSize(others[2])) + "; 4 x 4");
  EXPECT_EQ(Form.lMatchesDB(), "Matches DB (3)");

  // The right button deletes File2; fewer rows than before leave the cursor on the last.
  GoToRow(3);
  Form.rDeleteButtonClick();
  EXPECT_EQ(Desktop.Recycled.back(), others[3]);
  EXPECT_EQ(Form.MatchesTable.RecordCount(), 2);
  EXPECT_EQ(Form.MatchesTable.RecNo(), 2);
}

// A move to the trash that fails is reported with the file and the reason, and nothing is removed:
// the file, its Sigs row, its pairs and the cursor all stay.
TEST_F(ReviewTest, AFailedMoveRemovesNoRow) {
  const std::string a = Picture("a.bmp", 4, 4);
  const std::string b = Picture("b.bmp", 4, 4);
  const std::string c = Picture("c.bmp", 4, 4);
  AddSigsRow("a.bmp", Pictures.Path(), "");
  AddMatchRow(0, a, b);
  AddMatchRow(1, b, c);
  AddMatchRow(2, a, c);
  GoToRow(3);
  Desktop.RecycleFailure = "No space left on device";
  Form.lDeleteButtonClick();
  EXPECT_EQ(Desktop.Errors,
            std::vector<std::string>{"Cannot move file \"" + a + "\" to the trash. No space left on device"});
  EXPECT_TRUE(FileExists(a));
  EXPECT_EQ(Form.SigsTable.RecordCount(), 1);
  EXPECT_EQ(Form.MatchesTable.RecordCount(), 3);
  EXPECT_EQ(Form.MatchesTable.RecNo(), 3);
}

// Only a file directly in the Folder goes to the trash: a row naming any other file (copied with the
// tables from another folder, say) is refused before the trash is asked, and its rows stay.
TEST_F(ReviewTest, AFileOutsideTheFolderIsRefused) {
  TTestDir elsewhere;
  std::string folder = Pictures.Path();
  folder.pop_back();
  const std::string sibling = folder + "-copy/";  // shares the Folder's text without its slash
  std::filesystem::create_directories(sibling);
  std::filesystem::create_directories(Pictures.Path() + "sub");
  const std::string inside = Picture("in.bmp", 4, 4);
  Picture("out.bmp", 4, 4);
  const std::vector<std::string> outside = {
      elsewhere.WriteFile("a.bmp"),
      Picture("sub/a.bmp", 4, 4),
      Pictures.Path() + "sub/../out.bmp",
      sibling + "a.bmp",
  };
  WriteBmp(sibling + "a.bmp", 4, 4, 0x808080);
  WriteBmp(outside[0], 4, 4, 0x808080);
  for (const std::string& file : outside) {
    SCOPED_TRACE(file);
    Form.MatchesTable.EmptyTable();
    Desktop.Errors.clear();
    AddMatchRow(0, file, inside);
    ASSERT_EQ(Form.MatchesTable.RecordCount(), 1);
    Form.lDeleteButtonClick();
    EXPECT_EQ(Desktop.Errors, std::vector<std::string>{"Cannot move file \"" + file +
                                                       "\" to the trash. It is not in the folder \"" +
                                                       Pictures.Path() + "\"."});
    EXPECT_TRUE(FileExists(file));
    EXPECT_EQ(Form.MatchesTable.RecordCount(), 1);
  }
  EXPECT_TRUE(Desktop.Recycled.empty());
  std::filesystem::remove_all(sibling);
}

TEST_F(ReviewTest, DeletingTheOnlyPairEmptiesTheDisplay) {
  const std::string a = Picture("a.bmp", 4, 4);
  const std::string b = Picture("b.bmp", 6, 6);
  AddMatchRow(0, a, b);
  ASSERT_FALSE(Form.lFile1().empty());
  Form.rDeleteButtonClick();
  EXPECT_EQ(Form.MatchesTable.RecordCount(), 0);
  EXPECT_EQ(Form.lFile1(), "");
  EXPECT_EQ(Form.lFile2(), "");
  EXPECT_EQ(Form.Im1.ReadPixel(0, 0), 0xFF000000u);
  EXPECT_EQ(Form.Im2.ReadPixel(5, 5), 0xFF000000u);
  // With no row the buttons have nothing to read: a conversion error, nothing opened or recycled.
  Form.lViewButtonClick();
  Form.rDeleteButtonClick();
  EXPECT_EQ(Desktop.Errors.size(), 2u);
  EXPECT_TRUE(Desktop.Opened.empty());
  EXPECT_EQ(Desktop.Recycled.size(), 1u);
}

TEST_F(ReviewTest, LetterCaseCounts) {
  const std::string a = Picture("a.bmp", 4, 4);
  const std::string upper = Picture("A.bmp", 4, 4);
  const std::string b = Picture("b.bmp", 4, 4);
  AddMatchRow(0, a, b);
  AddMatchRow(1, upper, b);
  Form.MatchesTable.First();
  Form.lDeleteButtonClick();
  ASSERT_EQ(Form.MatchesTable.RecordCount(), 1);
  EXPECT_EQ(Form.MatchesTable.FieldAsString("File1"), upper);
}

TEST_F(ReviewTest, ViewButtonsOpenTheirSide) {
  const std::string a = Picture("a.bmp", 4, 4);
  const std::string b = Picture("b.bmp", 4, 4);
  AddMatchRow(0, a, b);
  Form.lViewButtonClick();
  Form.rViewButtonClick();
  EXPECT_EQ(Desktop.Opened, (std::vector<std::string>{a, b}));
}

TEST_F(ReviewTest, StaleRowsUnderTheCursorGoUntilAPairOfFilesIsShown) {
  const std::string a = Picture("a.bmp", 4, 4);
  const std::string b = Picture("b.bmp", 5, 5);
  // 10,000 stale rows in a row must not deepen the stack per row.
  TTable& matches = Form.MatchesTable;
  matches.SuspendNotifications();
  for (int i = 0; i < 10000; ++i) {
    AddMatchRow(i, Pictures.Path() + "gone" + std::to_string(i) + ".bmp", b);
  }
  AddMatchRow(10000, a, Pictures.Path() + "gone.bmp");  // File2 vanished
  AddMatchRow(10001, a, b);
  AddMatchRow(10002, Pictures.Path() + "later.bmp", b);  // stale, but not under the cursor
  matches.First();
  matches.ResumeNotifications();
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_EQ(matches.RecordCount(), 2);
  EXPECT_EQ(matches.FieldAsInteger("MaxDiff"), 10001);
  EXPECT_EQ(Form.lFile2(), b + ": " + std::to_string(GetFileSize(b)) + "; 5 x 5");
  EXPECT_EQ(Form.lComp(), "Bigger ==>");
}

TEST_F(ReviewTest, UndecodablePictureIsReportedAndTheRowStays) {
  const std::string a = Picture("a.bmp", 4, 4);
  const std::string bad = Pictures.WriteFile("bad.jpg", "not a picture");
  AddMatchRow(0, a, bad);
  ASSERT_EQ(Desktop.Errors.size(), 1u);
  EXPECT_EQ(Form.MatchesTable.RecordCount(), 1);
  EXPECT_EQ(Form.lFile1(), a + ": " + std::to_string(GetFileSize(a)) + "; 4 x 4");
}

}  // namespace
}  // namespace velquin
