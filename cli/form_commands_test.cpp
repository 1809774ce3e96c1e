#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/program_tables.h"
#include "app/test_support.h"
#include "cli/cli_session.h"
#include "cli/command_line.h"
#include "cli/run_cli_for_test.h"
#include "platform/app_dir.h"
#include "platform/file_utils.h"
#include "platform/scope_guard.h"
#include "platform/text_file.h"

namespace velquin {
namespace {

class FormCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBmp(Pictures.Path() + "a.bmp", 8, 8, 0x646464);
    WriteBmp(Pictures.Path() + "b.bmp", 8, 8, 0x666666);
    WriteBmp(Pictures.Path() + "c.bmp", 8, 8, 0xF01020);
  }
  TTestDir Pictures;
};

TEST_F(FormCommandsTest, ScanMatchListAndClear) {
  TRun run = RunCli({"scan", "--no-incremental", "--no-normalize", Pictures.Path()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out.rfind("3 records added; 0 records edited in ", 0), 0u) << run.Out;

  run = RunCli({"match", "--cell-sum", "--margin", "6", Pictures.Path()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out.rfind("Processed 3 records in ", 0), 0u) << run.Out;

  // The folder given without its '/' names the same folder.
  const std::string folder = Pictures.Path().substr(0, Pictures.Path().size() - 1);
  run = RunCli({"pairs", folder});
  EXPECT_EQ(run.Status, 0) << run.Err;
  const std::string a = Pictures.Path() + "a.bmp", b = Pictures.Path() + "b.bmp";
  EXPECT_EQ(run.Out, "6\t" + a + "\t" + b + "\n");
  run = RunCli({"pairs", "--json", folder});
  EXPECT_EQ(run.Out, "[\n {\"MaxDiff\": 6, \"File1\": \"" + a + "\", \"File2\": \"" + b + "\"}\n]\n");

  run = RunCli({"sigs", folder});
  EXPECT_EQ(run.Status, 0) << run.Err;
  std::istringstream lines(run.Out);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    // FileName, FilePath, FileDate as YYYY-MM-DD HH:MM:SS, the 192-character signature.
    EXPECT_EQ(line.size(), 5 + 1 + Pictures.Path().size() + 1 + 19 + 1 + 192) << line;
    EXPECT_EQ(line.substr(6, Pictures.Path().size()), Pictures.Path());
  }
  EXPECT_EQ(count, 3);

  run = RunCli({"clear", folder});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_FALSE(FileExists(Pictures.Path() + "Sigs.DAT"));
  EXPECT_FALSE(FileExists(Pictures.Path() + "Matches.IDX"));
}

TEST_F(FormCommandsTest, SubfoldersPairAcrossTheTreeAndListThePair) {
  ASSERT_EQ(mkdir((Pictures.Path() + "sub").c_str(), 0755), 0);
  const std::string d = Pictures.Path() + "sub/d.bmp";
  WriteBmp(d, 8, 8, 0xF01020);
  TRun run = RunCli({"scan", "--subfolders", "--no-normalize", "--margin", "0", Pictures.Path()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out.rfind("4 records added; 0 records edited in ", 0), 0u) << run.Out;
  run = RunCli({"match", "--subfolders", "--margin", "0", Pictures.Path()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  run = RunCli({"pairs", Pictures.Path()});
  EXPECT_EQ(run.Out, "0\t" + Pictures.Path() + "c.bmp\t" + d + "\n");
  // Without the option the scan drops the rows of the folder below, and its pairs.
  run = RunCli({"scan", "--no-incremental", "--no-normalize", Pictures.Path()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  run = RunCli({"pairs", Pictures.Path()});
  EXPECT_EQ(run.Out, "");
}

TEST_F(FormCommandsTest, LogLinesOnStderr) {
  Pictures.WriteFile("bad.gif", "no picture");
  TRun run = RunCli({"scan", Pictures.Path()});
  EXPECT_EQ(run.Status, 0);
  const std::string unable = "Unable to process \"" + Pictures.Path() + "bad.gif\": Invalid GIF signature\n";
  EXPECT_EQ(run.Err, unable);
  run = RunCli({"scan", "--verbose", "--no-force", Pictures.Path()});
  // The counting pass lists the picture without loading it; the evaluation pass fails to load it. The
  // log pane's own line for it (without the reason) is not printed twice.
  EXPECT_EQ(run.Err, "bad.gif\n" + Pictures.Path() + "\nbad.gif\n" + unable);
}

TEST_F(FormCommandsTest, ExitStatusOfFailuresAndUsageErrors) {
  struct TCase {
    TCommandArgs args;
    int status;
  };
  for (const TCase& c :
       {TCase{{"scan"}, 2}, TCase{{"scan", "--bogus", Pictures.Path()}, 2},
        TCase{{"match", Pictures.Path(), Pictures.Path()}, 2}, TCase{{"match", "--margin"}, 2},
        TCase{{"pairs", "--force", Pictures.Path()}, 2}, TCase{{"nosuch"}, 2}}) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + " ";
    SCOPED_TRACE(joined);
    const TRun run = RunCli(c.args);
    EXPECT_EQ(run.Status, c.status);
    EXPECT_EQ(run.Err.find("usage: velquin-cli") != std::string::npos, c.status == 2) << run.Err;
  }
}

// Each command refuses before any work: a Margin that is no integer is a usage error, a FOLDER that
// is not an existing folder is named as it was typed, and nothing is created for it.
TEST_F(FormCommandsTest, RefusalsInPlainWords) {
  struct TCase {
    TCommandArgs args;
    int status;
    std::string err;  // the first line of stderr
  };
  const std::string missing = Pictures.Path() + "missing";
  const std::string file = Pictures.Path() + "a.bmp";
  const std::string notInteger = ": option --margin: 'x' is not a valid integer value";
  const TCase cases[] = {
      {{"scan", "--margin", "x", Pictures.Path()}, 2, "velquin-cli scan" + notInteger},
      {{"match", "--margin=x", Pictures.Path()}, 2, "velquin-cli match" + notInteger},
      {{"auto", "--margin", "x", Pictures.Path()}, 2, "velquin-cli auto" + notInteger},
      {{"match", "--margin", "1.5", Pictures.Path()},
       2,
       "velquin-cli match: option --margin: '1.5' is not a valid integer value"},
      {{"match", "--margin", "", Pictures.Path()},
       2,
       "velquin-cli match: option --margin: '' is not a valid integer value"},
      {{"scan", missing}, 1, "velquin-cli: " + missing + ": no such folder"},
      {{"scan", file}, 1, "velquin-cli: " + file + ": no such folder"},
      {{"match", "missing-here"}, 1, "velquin-cli: missing-here: no such folder"},
      {{"auto", Pictures.Path(), missing + "/"}, 1, "velquin-cli: " + missing + "/: no such folder"},
      {{"clear", missing}, 1, "velquin-cli: " + missing + ": no such folder"},
      {{"pairs", missing}, 1, "velquin-cli: " + missing + ": no such folder"},
      {{"sigs", "--", file}, 1, "velquin-cli: " + file + ": no such folder"},
  };
  const std::string log = ApplicationDir() + "log.txt";
  for (const TCase& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + " ";
    SCOPED_TRACE(joined);
    std::remove(log.c_str());
    const TRun run = RunCli(c.args);
    EXPECT_EQ(run.Status, c.status);
    EXPECT_EQ(run.Err.substr(0, run.Err.find('\n')), c.err);
    EXPECT_EQ(run.Err.find("usage: velquin-cli") != std::string::npos, c.status == 2) << run.Err;
    EXPECT_EQ(run.Out, "");
    EXPECT_FALSE(FileExists(log));
    EXPECT_FALSE(FolderExists(missing));
    EXPECT_FALSE(FileExists(Pictures.Path() + "Sigs.DAT")) << "nothing done to the folders named";
  }
}

TEST_F(FormCommandsTest, AutoOverAFolderListWithAMissingFolderDoesNone) {
  const std::string dirList = ApplicationDir() + "DirList.Txt";
  const bool hadList = FileExists(dirList);
  const std::string before = hadList ? ReadWholeFile(dirList) : "";
  const TScopeGuard restore([&] {
    if (hadList) {
      std::ofstream(dirList, std::ios::binary) << before;
    } else {
      std::remove(dirList.c_str());
    }
  });
  const std::string missing = Pictures.Path() + "gone/";
  WriteLinesCRLF(dirList, {Pictures.Path(), missing});
  const TRun run = RunCli({"auto"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "velquin-cli: " + missing + ": no such folder\n");
  EXPECT_FALSE(FileExists(Pictures.Path() + "Sigs.DAT"));
}

// The tables of a folder held by another Velquin: the store's text, then who holds them.
TEST_F(FormCommandsTest, FolderInUseByAnotherVelquin) {
  TTable sigs("SigsTable");
  TTable matches("MatchesTable");
  OpenTables(sigs, matches, Pictures.Path());
  for (const char* command : {"scan", "match", "auto", "clear", "pairs", "sigs"}) {
    SCOPED_TRACE(command);
    const TRun run = RunCli({command, Pictures.Path()});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err,
              "Tabrix Engine Error # 11013 Access denied to table 'Sigs' (another Velquin is using this "
              "folder)\n");
  }
  // clear deleted nothing.
  EXPECT_TRUE(FileExists(Pictures.Path() + "Sigs.DAT"));
  EXPECT_TRUE(FileExists(Pictures.Path() + "Matches.IDX"));
}

// Listing never creates tables. A folder without them lists nothing; a folder holding only the
// listed table has it read as it stands, rows naming files of another folder left out.
TEST_F(FormCommandsTest, ListingsCreateNoTables) {
  struct Case {
    const char* Label;
    std::vector<std::string> Args;
    std::string Out;
  };
  const Case empty[] = {
      {"sigs", {"sigs", Pictures.Path()}, ""},
      {"pairs", {"pairs", Pictures.Path()}, ""},
      {"pairs --json", {"pairs", "--json", Pictures.Path()}, "[]\n"},
  };
  for (const Case& c : empty) {
    SCOPED_TRACE(c.Label);
    const TRun run = RunCli(c.Args);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, c.Out);
    EXPECT_FALSE(FileExists(Pictures.Path() + "Sigs.DAT"));
    EXPECT_FALSE(FileExists(Pictures.Path() + "Matches.DAT"));
  }

  // Matches alone, as copied from another folder with one row of this folder.
  {
    TTable matches("MatchesTable");
    matches.DatabaseName = Pictures.Path();
    matches.TableName = "Matches.Dat";
    SetMatchesSchema(matches);
    matches.CreateTable();
    matches.Open();
    for (const std::string& folder : {std::string("/elsewhere/"), Pictures.Path()}) {
      matches.Append();
      matches.SetFieldValue("MaxDiff", 3);
      matches.SetFieldValue("File1", folder + "a.bmp");
      matches.SetFieldValue("File2", folder + "b.bmp");
      matches.Post();
    }
  }
  const TRun run = RunCli({"pairs", "--json", Pictures.Path()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "[\n {\"MaxDiff\": 3, \"File1\": \"" + Pictures.Path() + "a.bmp\", \"File2\": \"" +
                         Pictures.Path() + "b.bmp\"}\n]\n");
  EXPECT_EQ(RunCli({"sigs", Pictures.Path()}).Out, "");
  EXPECT_FALSE(FileExists(Pictures.Path() + "Sigs.DAT"));
}

TEST_F(FormCommandsTest, PairsOfADamagedMatchesSaySoAndListNothing) {
  ASSERT_EQ(RunCli({"scan", Pictures.Path()}).Status, 0);
  Pictures.WriteFile("Matches.DAT", "not a table");
  const TRun run = RunCli({"pairs", Pictures.Path()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(
      run.Err,
      "Tabrix Engine Error # 12100 The files of the table 'Matches' are damaged beyond repair; moved aside "
      "as Matches.DAT.damaged and Matches.IDX.damaged and made anew\n");
  EXPECT_EQ(ReadWholeFile(Pictures.Path() + "Matches.DAT.damaged"), "not a table");
}

// clear reads nothing it deletes: tables damaged beyond repair, empty or in any letter case go, with
// what a cut-short conversion left; other files stay.
TEST_F(FormCommandsTest, ClearDeletesTablesWhateverTheyHold) {
  for (const char* name : {"Sigs.DAT", "Sigs.IDX", "matches.dat", "Matches-new.IDX", "SIGS-NEW.DAT"}) {
    Pictures.WriteFile(name, "not a table");
  }
  Pictures.WriteFile("Matches.IDX", "");
  for (const char* name : {"Sigs.DAT.bak", "Sigs.txt"}) Pictures.WriteFile(name, "kept");
  const TRun run = RunCli({"clear", Pictures.Path()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Err, "");
  std::vector<std::string> left;
  ForEachFolderEntry(Pictures.Path(), [&](const std::string& name, bool) { left.push_back(name); });
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Sigs.DAT.bak", "Sigs.txt", "a.bmp", "b.bmp", "c.bmp"}));
}

// velquin-cli shows no pictures: the pair display follows every pair the incremental search
// appends without ever decoding one, before, during or after the command.
TEST_F(FormCommandsTest, NoPictureIsDecodedForThePairDisplay) {
  // Matches holds a pair when the folder opens; the scan appends the second, found from d.bmp.
  RunCli({"scan", "--no-normalize", Pictures.Path()});
  WriteBmp(Pictures.Path() + "d.bmp", 8, 8, 0xEE0E1E);
  TCliOptions options;
  options.Normalize = false;
  std::ostringstream out, err;
  TCliSession session(options, out, err);
  TForm1& form = session.Form();
  int decodes = 0;
  const auto count = [&](TBitmap32& bitmap) { decodes += bitmap.IsEmpty() ? 0 : 1; };
  form.Im1.OnResize = count;
  form.Im2.OnResize = count;
  form.AddLBItem(Pictures.Path());
  form.AutoButtonClick();
  EXPECT_EQ(session.ExitStatus(), 0) << err.str();
  EXPECT_EQ(form.MatchesTable.RecordCount(), 2);
  EXPECT_EQ(decodes, 0);
}

TEST_F(FormCommandsTest, AutoOverNamedFoldersLeavesTheFolderListAlone) {
  TTestDir other;
  WriteBmp(other.Path() + "x.bmp", 8, 8, 0x101010);
  const std::string dirList = ApplicationDir() + "DirList.Txt";
  const bool hadList = FileExists(dirList);
  const std::string before = hadList ? ReadWholeFile(dirList) : "";
  const TRun run = RunCli({"auto", Pictures.Path(), other.Path()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(FileExists(dirList), hadList);
  EXPECT_EQ(hadList ? ReadWholeFile(dirList) : "", before);
  EXPECT_EQ(RunCli({"pairs", Pictures.Path()}).Out.empty(), false);
  EXPECT_EQ(RunCli({"sigs", other.Path()}).Out.substr(0, 6), "x.bmp\t");
}

}  // namespace
}  // namespace velquin
