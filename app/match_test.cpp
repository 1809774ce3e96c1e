#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "app/form_view.h"
#include "app/test_support.h"
#include "matching/candidate_search.h"
#include "matching/clustered_signatures.h"
#include "matching/signatures_match.h"
#include "platform/file_utils.h"
#include "platform/text_file.h"

namespace velquin {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t Gray(std::uint32_t v) { return v << 16 | v << 8 | v; }

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

class MatchTest : public FormTest {
 protected:
  void SetUp() override { ChooseFolder(); }

  // Sigs rows for files that exist but hold no picture: the pair display then keeps the rows.
  void AddRow(const std::string& name, const TSignature& signature) {
    Pictures.WriteFile(name, "");
    AddSigsRow(name, Pictures.Path(), SignatureToText(signature));
  }
};

TEST_F(MatchTest, FullPassRecordsExactlyTheMatchingPairs) {
  struct TCase {
    const char* name;
    std::int32_t margin;
    bool colors;
    bool outOfRange;  // one row holds a value no picture gives (300): the texts decide the walk
  };
  for (const TCase c : {TCase{"channel 10", 10, true, false}, TCase{"cell-sum 10", 10, false, false},
                        TCase{"channel 0", 0, true, false}, TCase{"cell-sum 25", 25, false, false},
                        TCase{"negative", -1, true, false}, TCase{"channel 10, value 300", 10, true, true},
                        TCase{"cell-sum 25, value 300", 25, false, true}}) {
    SCOPED_TRACE(c.name);
    Form.SetColorsCB(c.colors);
    Form.SetMarginEditText(std::to_string(c.margin));
    Form.ClearButtonClick();
    Form.DirEditChange();
    std::mt19937 random(42);
    std::vector<TSignature> signatures = ClusteredSignatures(random, 150, 6);
    if (c.outOfRange) signatures[7].Cells[15].B = 300;
    // Identical texts: the row stored first is File1, though the copy comes first by name.
    signatures.push_back(signatures[3]);
    const auto name = [&](std::size_t i) {
      return i + 1 == signatures.size() ? std::string("a0") : "p" + std::to_string(1000 + i);
    };
    for (std::size_t i = 0; i < signatures.size(); ++i) AddRow(name(i), signatures[i]);

    // Brute force over all pairs; File1 is the row whose text comes first (the earlier row on a tie).
    std::set<std::string> expected;
    for (std::size_t i = 0; i < signatures.size(); ++i) {
      for (std::size_t j = i + 1; j < signatures.size(); ++j) {
        std::int32_t maxDiff = 0;
        if (!SignaturesMatch(signatures[i], signatures[j], c.margin, c.colors, maxDiff)) continue;
        const bool iFirst = SignatureToText(signatures[i]) <= SignatureToText(signatures[j]);
        const std::string fi = Pictures.Path() + name(i);
        const std::string fj = Pictures.Path() + name(j);
        expected.insert(std::to_string(maxDiff) + "|" + (iFirst ? fi + "|" + fj : fj + "|" + fi));
      }
    }
    EXPECT_EQ(expected.empty(), c.margin < 0);

    const std::string dialog = MatchPass();
    EXPECT_TRUE(Desktop.Errors.empty());
    EXPECT_EQ(dialog.substr(0, 25), "Processed 151 records in ");
    const std::vector<std::string> rows = MatchRows();
    EXPECT_EQ(std::set<std::string>(rows.begin(), rows.end()), expected);
    EXPECT_EQ(rows.size(), expected.size());
    EXPECT_EQ(Form.lMatchesDB(), "Matches DB (" + std::to_string(expected.size()) + ")");

    // The walk along the signature index, row by row, finds the same pairs.
    Form.MatchesTable.EmptyTable();
    for (Form.SigsTable.First(); !Form.SigsTable.Eof(); Form.SigsTable.Next()) FindMatchesFor(Form, c.margin);
    const std::vector<std::string> walked = MatchRows();
    EXPECT_EQ(std::set<std::string>(walked.begin(), walked.end()), expected);
  }
}

TEST_F(MatchTest, ChannelAndCellSumModes) {
  struct TCase {
    std::int32_t dr, dg, db;
    bool colors;
    const char* expected;  // MaxDiff, or "" for no pair
  };
  for (const TCase c : {TCase{10, 10, 10, true, "10"}, TCase{10, 10, 10, false, ""},
                        TCase{4, 3, 2, true, "4"}, TCase{4, 3, 2, false, "9"}, TCase{11, 0, 0, true, ""}}) {
    SCOPED_TRACE(std::to_string(c.dr) + " " + std::to_string(c.dg) + " " + std::to_string(c.db) +
                 (c.colors ? " channel" : " cell-sum"));
    Form.ClearButtonClick();
    Form.DirEditChange();
    Form.SetColorsCB(c.colors);
    TSignature a;
    for (TRgb& cell : a.Cells) cell = {100, 100, 100};
    TSignature b = a;
    b.Cells[5] = {100 + c.dr, 100 - c.dg, 100 + c.db};
    AddRow("a", a);
    AddRow("b", b);
    MatchPass();
    const std::vector<std::string> rows = MatchRows();
    if (*c.expected == 0) {
      EXPECT_TRUE(rows.empty());
    } else {
      ASSERT_EQ(rows.size(), 1u);
      EXPECT_TRUE(StartsWith(rows[0], std::string(c.expected) + "|"));
    }
  }
}

// The pass searches the rows in the order of their names and reads each row's name where it walks,
// while the engine knows the rows by signature: the log must name the rows and their partners exactly
// as the walk along the table does, whatever the order of the names as bytes.
TEST_F(MatchTest, LogNamesTheRowsAsTheWalkAlongTheTableDoes) {
  Form.SetColorsCB(true);
  Form.SetMarginEditText("10");
  fs::create_directory(Pictures.File("sub"));
  struct TRow {
    std::string name;
    bool inSub;          // in the subfolder sub/ of the Folder
    std::int32_t value;  // of every channel of every Cell
  };
  // Bytes above 0x7F, a capital, a name that begins another, one name in two folders; the values run
  // against the names, so that signature order, name order and the order stored all differ.
  const std::vector<TRow> rows = {{"b.jpg", false, 14},    {"\xc3\xa9.jpg", false, 10}, {"a.jpg", true, 205},
                                  {"a.jpg", false, 16},    {"a.jpg.jpg", false, 200},   {"B.jpg", false, 12},
                                  {"\xc3.jpg", false, 100}};
  for (const TRow& row : rows) {
    TSignature s;
    for (TRgb& c : s.Cells) c = {row.value, row.value, row.value};
    const std::string file = (row.inSub ? "sub/" : "") + row.name;
    Pictures.WriteFile(file, "");
    AddSigsRow(row.name, Pictures.File(row.inSub ? "sub/" : ""), SignatureToText(s));
  }
  // Every search line as it is logged: the log pane keeps only its last lines.
  struct TSearchLines : TFormView {
    std::vector<std::string> Lines;
    void FormChanged(TFormPart) override {}
    void MemoChanged(TMemoChange change, const std::string& line) override {
      if (change == TMemoChange::Appended &&
          (StartsWith(line, "Evaluating \"") || StartsWith(line, "Adding \"")))
        Lines.push_back(line);
    }
    void CloseRequested() override {}
    bool ShowsPairPictures() const override { return false; }
  };
  TSearchLines passed, walked;
  Form.SetView(&passed);
  MatchPass();
  const std::vector<std::string> pairs = MatchRows();

  Form.SetView(&walked);
  Form.MatchesTable.EmptyTable();
  for (Form.SigsTable.First(); !Form.SigsTable.Eof(); Form.SigsTable.Next()) FindMatchesFor(Form, 10);
  Form.SetView(nullptr);
  EXPECT_EQ(passed.Lines, walked.Lines);
  EXPECT_EQ(pairs, MatchRows());
  EXPECT_EQ(pairs.size(), 7u);  // the four values 10 .. 16 with each other, 200 with 205
  std::vector<std::string> evaluated;
  for (const std::string& name : SigsNames()) evaluated.push_back("Evaluating \"" + name + "\"");
  std::vector<std::string> evaluatedInPass;
  std::copy_if(passed.Lines.begin(), passed.Lines.end(), std::back_inserter(evaluatedInPass),
               [](const std::string& line) { return StartsWith(line, "Evaluating"); });
  EXPECT_EQ(evaluatedInPass, evaluated);
}

TEST_F(MatchTest, EmptySigsAndTheLogFiles) {
  EXPECT_EQ(MatchPass(), "Processed 0 records in 00:00:00");
  const std::vector<std::string> log = ReadLines(AppDir.Path() + "summary-log.txt");
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "Cleared Match Database");
  EXPECT_NE(log[1].find("  Processed      0 records in 00:00:00"), std::string::npos) << log[1];
  EXPECT_FALSE(FileExists(AppDir.Path() + "Velquin.INI"));
  EXPECT_TRUE(Form.ReviewButtonsEnabled());
  EXPECT_EQ(Form.lTitle(), "");

  TSignature s;
  AddRow("a", s);
  MatchPass();
  EXPECT_EQ(ReadWholeFile(AppDir.Path() + "Velquin.INI"),
            "[Params]\r\nCompMatchFName=\r\nCompMatchFPath=\r\n");
  EXPECT_EQ(ReadLines(AppDir.Path() + "summary-log.txt").size(), 4u);
}

TEST_F(MatchTest, CountsAreGroupedAndPadded) {
  for (int i = 0; i < 1234; ++i) {
    TSignature s;
    s.Cells[0].R = i % 256;
    s.Cells[1].R = i / 256 * 50;
    AddSigsRow("n" + std::to_string(i), Pictures.Path(), SignatureToText(s));
  }
  Form.SetMarginEditText("-1");
  EXPECT_TRUE(StartsWith(MatchPass(), "Processed 1,234 records in "));
  const std::vector<std::string> log = ReadLines(AppDir.Path() + "summary-log.txt");
  EXPECT_NE(log.back().find("  Processed  1,234 records in "), std::string::npos) << log.back();
  EXPECT_LE(Form.Memo1().size(), 31u);
}

// Stored texts are read by a fast path for the form SignatureToText writes; any other text must read
// exactly as TextToSignature reads it, and sort as a text.
TEST_F(MatchTest, StoredTextsOutsideTheWrittenFormReadAsTextToSignature) {
  const std::string zeros = SignatureToText(TSignature{});
  struct TCase {
    const char* name;
    std::size_t field;  // the field of an all-zero signature text replaced by text
    std::string text;
    const char* pair;  // "MaxDiff|File1's name", or "" for none
    const char* error;
  };
  // A first field "0003" reads as 3, but sorts after the zero row's high key "  11".
  for (const TCase& c :
       {TCase{"negative", 0, "  -3", "3|zero", ""}, TCase{"leading zero", 0, "0003", "", ""},
        TCase{"leading zero later", 5, "0003", "3|zero", ""}, TCase{"above 255 later", 47, " 256", "", ""},
        TCase{"three digits later", 47, " 009", "9|zero", ""},
        TCase{"trailing blank", 0, "3   ", "", "'3   ' is not a valid integer value"},
        TCase{"blanks only", 0, "    ", "", "'    ' is not a valid integer value"},
        TCase{"letter", 0, "  x3", "", "'  x3' is not a valid integer value"},
        TCase{"letter later", 30, " 1x3", "", "' 1x3' is not a valid integer value"}}) {
    SCOPED_TRACE(c.name);
    Form.ClearButtonClick();
    Form.OpenTables();
    Desktop.Errors.clear();
    Pictures.WriteFile("zero", "");
    Pictures.WriteFile("odd", "");
    AddSigsRow("zero", Pictures.Path(), zeros);
    std::string odd = zeros;
    odd.replace(c.field * 4, 4, c.text);
    AddSigsRow("odd", Pictures.Path(), odd);
    MatchPass();
    const std::vector<std::string> rows = MatchRows();
    if (*c.pair == '\0') {
      EXPECT_TRUE(rows.empty());
    } else {
      ASSERT_EQ(rows.size(), 1u);
      const std::string pair = c.pair;
      EXPECT_TRUE(StartsWith(rows[0], pair.substr(0, pair.find('|') + 1) + Pictures.Path() +
                                          pair.substr(pair.find('|') + 1) + "|"))
          << rows[0];
    }
    if (*c.error == '\0') {
      EXPECT_TRUE(Desktop.Errors.empty());
    } else {
      EXPECT_EQ(Desktop.Errors, std::vector<std::string>{c.error});
    }
  }
}

TEST_F(MatchTest, MarginThatIsNoNumberChangesNothing) {
  TSignature s;
  AddRow("a", s);
  AddRow("b", s);
  MatchPass();
  ASSERT_EQ(MatchRows().size(), 1u);
  Form.SetMarginEditText("abc");
  EXPECT_EQ(MatchPass(), "");
  EXPECT_EQ(Desktop.Errors, std::vector<std::string>{"'abc' is not a valid integer value"});
  EXPECT_EQ(MatchRows().size(), 1u);
  EXPECT_EQ(ReadLines(AppDir.Path() + "summary-log.txt").size(), 2u);
  EXPECT_TRUE(Form.ReviewButtonsEnabled());
  EXPECT_EQ(Desktop.CursorNow, TCursor::crDefault);
}

TEST_F(MatchTest, TwoPassesGiveTheSameRows) {
  std::mt19937 random(7);
  const std::vector<TSignature> signatures = ClusteredSignatures(random, 40, 5);
  for (std::size_t i = 0; i < signatures.size(); ++i) AddRow("q" + std::to_string(i), signatures[i]);
  MatchPass();
  const std::vector<std::string> first = MatchRows();
  MatchPass();
  EXPECT_EQ(MatchRows(), first);
}

TEST_F(MatchTest, AFailedPassLeavesThePreviousPairs) {
  struct TCase {
    const char* name;
    const char* blocked;  // a folder in AppDir where the pass writes a file
  };
  TSignature s;
  AddRow("a", s);
  AddRow("b", s);
  MatchPass();
  const std::vector<std::string> before = MatchRows();
  ASSERT_EQ(before.size(), 1u);
  // New pictures the failed passes would pair.
  TSignature t;
  t.Cells[0].R = 200;
  AddRow("c", t);
  AddRow("d", t);
  for (const TCase c : {TCase{"summary-log.txt cannot be written", "summary-log.txt"},
                        TCase{"Velquin.INI cannot be written at the end of the walk", "Velquin.INI"}}) {
    SCOPED_TRACE(c.name);
    fs::remove(AppDir.Path() + c.blocked);
    fs::create_directory(AppDir.Path() + c.blocked);
    Desktop.Errors.clear();
    MatchPass();
    EXPECT_EQ(Desktop.Errors.size(), 1u);
    EXPECT_EQ(MatchRows(), before);
    EXPECT_EQ(Form.lMatchesDB(), "Matches DB (1)");
    EXPECT_FALSE(FileExists(Pictures.Path() + "Matches-new.DAT"));
    EXPECT_FALSE(FileExists(Pictures.Path() + "Matches-new.IDX"));
    fs::remove(AppDir.Path() + c.blocked);
  }
  Desktop.Errors.clear();
  MatchPass();
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_EQ(MatchRows().size(), 2u);
  EXPECT_EQ(Form.lMatchesDB(), "Matches DB (2)");
}

TEST_F(FormTest, AutoOverThreeFolders) {
  TTestDir folders[3];
  for (TTestDir& folder : folders) {
    WriteBmp(folder.Path() + "a.bmp", 8, 8, Gray(50));
    WriteBmp(folder.Path() + "b.bmp", 8, 8, Gray(52));
    Form.AddLBItem(folder.Path());
  }
  Form.AutoButtonClick();
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_TRUE(Desktop.Messages.empty());
  EXPECT_FALSE(Form.FAutoRun);
  EXPECT_EQ(Form.LBItemIndex(), 0);
  EXPECT_EQ(Form.DirEditText(), Form.LBItems().back());
  EXPECT_EQ(ReadWholeFile(AppDir.Path() + "log.txt"), Form.LBItems().back() + "\r\n");
  EXPECT_EQ(ReadLines(AppDir.Path() + "summary-log.txt").size(), 6u);
  EXPECT_EQ(MatchRows().size(), 1u);
  for (const std::string& folder : Form.LBItems()) {
    Form.SetDirEditText(folder);
    Form.DirEditChange();
    EXPECT_EQ(Form.SigsTable.RecordCount(), 2) << folder;
    EXPECT_EQ(Form.MatchesTable.RecordCount(), 1) << folder;
  }
}

TEST_F(FormTest, AutoStopsAtTheFirstFailure) {
  TTestDir good;
  Form.AddLBItem(good.Path());
  Form.AddLBItem(good.Path() + "missing/");
  Form.SetMarginEditText("x");
  Form.AutoButtonClick();
  EXPECT_EQ(Desktop.Errors, std::vector<std::string>{"'x' is not a valid integer value"});
  EXPECT_FALSE(Form.FAutoRun);
  EXPECT_EQ(Form.DirEditText(), good.Path());
}

TEST_F(FormTest, ClearDBsThenSignatures) {
  ChooseFolder();
  WriteBmp(Pictures.Path() + "a.bmp", 8, 8, Gray(50));
  WriteBmp(Pictures.Path() + "b.bmp", 8, 8, Gray(50));
  Scan();
  MatchPass();
  ASSERT_EQ(MatchRows().size(), 1u);
  Form.ClearButtonClick();
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_FALSE(Form.SigsTable.Active());
  std::vector<std::string> left;
  ForEachFolderEntry(Pictures.Path(), [&](const std::string& name, bool) { left.push_back(name); });
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a.bmp", "b.bmp"}));
  // Nothing to delete: nothing reported.
  Form.ClearButtonClick();
  EXPECT_TRUE(Desktop.Errors.empty());

  Form.SetIncrMatchCB(false);
  EXPECT_TRUE(StartsWith(Scan(), "2 records added; 0 records edited in "));
  EXPECT_TRUE(MatchRows().empty());
}

}  // namespace
}  // namespace velquin

namespace velquin {
namespace {

TEST_F(FormTest, CommandsAndFolderChangesWaitWhileACommandRuns) {
  ChooseFolder();
  WriteBmp(Pictures.Path() + "a.bmp", 8, 8, Gray(50));
  WriteBmp(Pictures.Path() + "b.bmp", 8, 8, Gray(52));
  int nested = 0;
  bool buttonsDuringPass = true;
  std::vector<std::string> progress;
  Desktop.OnMessages = [&] {
    ++nested;
    const std::string& line = Form.ProgressLine();
    if (!line.empty() && (progress.empty() || progress.back() != line)) progress.push_back(line);
    EXPECT_TRUE(Form.Busy());
    Form.CompMatchesButtonClick();
    Form.CompSigsButtonClick();
    Form.SetDirEditText(AppDir.Path());
    if (Form.lTitle() == "Comparing Signatures...") buttonsDuringPass = Form.ReviewButtonsEnabled();
  };
  EXPECT_TRUE(StartsWith(Scan(), "2 records added; 0 records edited in "));
  EXPECT_TRUE(StartsWith(MatchPass(), "Processed 2 records in "));
  Desktop.OnMessages = nullptr;
  EXPECT_GT(nested, 0);
  EXPECT_FALSE(buttonsDuringPass);
  // The scan's line is there from its first picture, before any is done; the pass's counts rows.
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(StartsWith(progress.front(), "0 out of 2 in ")) << progress.front();
  EXPECT_TRUE(std::any_of(progress.begin(), progress.end(), [](const std::string& line) {
    return StartsWith(line, "0 out of 2 in ") && line.ends_with(" matches");
  }));
  EXPECT_EQ(Desktop.Messages.size(), 2u);  // the two commands' own dialogs only
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_EQ(Form.DirEditText(), Pictures.Path());
  EXPECT_FALSE(Form.Busy());
  EXPECT_TRUE(Form.ReviewButtonsEnabled());
  EXPECT_EQ(Form.ProgressLine(), "");
}

}  // namespace
}  // namespace velquin
