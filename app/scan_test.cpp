#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/program_tables.h"
#include "app/test_support.h"
#include "platform/file_utils.h"
#include "platform/text_file.h"
#include "scan/scan_sink.h"
#include "scan/signature_scan.h"

namespace velquin {
namespace {

constexpr std::uint32_t Gray(std::uint32_t v) { return v << 16 | v << 8 | v; }

class ScanTest : public FormTest {
 protected:
  void SetUp() override {
    Form.SetNormalizeCB(false);  // solid pictures keep distinct signatures
    Form.SetIncrMatchCB(false);
    Form.SetForceCB(false);
    ChooseFolder();
  }
  std::string Picture(const std::string& name, std::uint32_t rgb) {
    const std::string path = Pictures.Path() + name;
    WriteBmp(path, 8, 8, rgb);
    return path;
  }
  // The log pane's lines from index `from` on.
  std::vector<std::string> LogFrom(std::size_t from) {
    return {Form.Memo1().begin() + static_cast<std::ptrdiff_t>(from), Form.Memo1().end()};
  }
};

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

TEST_F(ScanTest, SecondScanOfAnUnchangedFolderLoadsNothing) {
  Picture("a.bmp", Gray(10));
  Picture("b.BMP", Gray(100));
  Picture("c.bmp", Gray(200));
  EXPECT_TRUE(StartsWith(Scan(), "3 records added; 0 records edited in "));
  EXPECT_EQ(SigsNames(), (std::vector<std::string>{"a.bmp", "b.BMP", "c.bmp"}));
  EXPECT_EQ(Form.lSigsDB(), "Signatures DB (3/3)");
  EXPECT_EQ(Form.lTitle(), "");
  EXPECT_EQ(Desktop.CursorNow, TCursor::crDefault);
  EXPECT_EQ(ReadWholeFile(AppDir.Path() + "log.txt"), Pictures.Path() + "\r\n");

  const std::size_t before = Form.Memo1().size();
  EXPECT_TRUE(StartsWith(Scan(), "0 records added; 0 records edited in "));
  EXPECT_EQ(LogFrom(before), std::vector<std::string>{Pictures.Path()});
  EXPECT_TRUE(Desktop.Errors.empty());
}

TEST_F(ScanTest, ForceLoadsAgainButEditsOnlyChangedSignatures) {
  Picture("a.bmp", Gray(10));
  Picture("b.bmp", Gray(100));
  Scan();
  Form.SetForceCB(true);
  const std::size_t before = Form.Memo1().size();
  EXPECT_TRUE(StartsWith(Scan(), "0 records added; 0 records edited in "));
  std::vector<std::string> log = LogFrom(before);
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[2], Pictures.Path());
  std::sort(log.begin(), log.end());
  EXPECT_EQ(log, (std::vector<std::string>{Pictures.Path(), "a.bmp", "a.bmp", "b.bmp", "b.bmp"}));
  // Normalize alone changes nothing for up-to-date pictures; with Force every changed row counts.
  Form.SetForceCB(false);
  Form.SetNormalizeCB(true);
  EXPECT_TRUE(StartsWith(Scan(), "0 records added; 0 records edited in "));
  Form.SetForceCB(true);
  EXPECT_TRUE(StartsWith(Scan(), "0 records added; 2 records edited in "));
}

TEST_F(ScanTest, RenamedAndDeletedFiles) {
  Picture("a.bmp", Gray(10));
  Picture("b.bmp", Gray(100));
  Picture("c.bmp", Gray(200));
  Scan();
  ASSERT_EQ(std::rename((Pictures.Path() + "a.bmp").c_str(), (Pictures.Path() + "z.bmp").c_str()), 0);
  ASSERT_EQ(std::remove((Pictures.Path() + "b.bmp").c_str()), 0);
  EXPECT_TRUE(StartsWith(Scan(), "1 records added; 0 records edited in "));
  EXPECT_EQ(SigsNames(), (std::vector<std::string>{"c.bmp", "z.bmp"}));
}

// Dates before 1980 and after 2107 included: any file time is a date.
TEST_F(ScanTest, AnyFileDateIsStoredSoTheNextScanDecodesNothing) {
  const std::int64_t times[] = {1500000000, -631152000 /* 1950 */, -2051222400 /* 1905 */,
                                5680281600 /* 2150 */, 13569465600 /* 2400 */};
  int number = 0;
  for (const std::int64_t seconds : times) {
    SCOPED_TRACE(seconds);
    const std::string name = "p" + std::to_string(number++) + ".bmp";
    const std::string path = Picture(name, Gray(10));
    SetFileTime(path, seconds);
    EXPECT_TRUE(StartsWith(Scan(), "1 records added; 0 records edited in "));
    // Same pixels under a new date: decoded once, not counted, its date stored.
    SetFileTime(path, seconds + 86400);
    std::size_t before = Form.Memo1().size();
    EXPECT_TRUE(StartsWith(Scan(), "0 records added; 0 records edited in "));
    EXPECT_EQ(LogFrom(before), (std::vector<std::string>{name, Pictures.Path(), name}));
    before = Form.Memo1().size();
    EXPECT_TRUE(StartsWith(Scan(), "0 records added; 0 records edited in "));
    EXPECT_EQ(LogFrom(before), std::vector<std::string>{Pictures.Path()});
    EXPECT_EQ(Form.SigsTable.RecordCount(), number);
  }
}

TEST_F(ScanTest, WhatIsNotAPictureFile) {
  Picture("a.Bmp", Gray(10));
  Pictures.WriteFile("bad.jpg", "not a picture");
  Pictures.WriteFile("skip.jpeg", "x");
  Pictures.WriteFile("skip.png", "x");
  Pictures.WriteFile("noextension", "x");
  mkdir((Pictures.Path() + "sub.jpg").c_str(), 0700);
  EXPECT_TRUE(StartsWith(Scan(), "1 records added; 0 records edited in "));
  EXPECT_EQ(SigsNames(), std::vector<std::string>{"a.Bmp"});
  EXPECT_EQ(Form.Memo1().front(), "Unable to process \"" + Pictures.Path() + "bad.jpg\"");
  // The list of problems gives the decoder's reason.
  const std::vector<std::string> problems{"Unable to process \"" + Pictures.Path() +
                                          "bad.jpg\": Not a JPEG file: starts with 0x6e 0x6f"};
  EXPECT_EQ(Form.Problems(), problems);
  // The subfolder named like a picture is listed, then not loaded: it is no file.
  EXPECT_EQ(std::count(Form.Memo1().begin(), Form.Memo1().end(), "sub.jpg"), 2);
  EXPECT_TRUE(Desktop.Errors.empty());
  // The undecodable picture is tried again by the next scan.
  const std::size_t before = Form.Memo1().size();
  Scan();
  EXPECT_EQ(Form.Memo1().front(), "Unable to process \"" + Pictures.Path() + "bad.jpg\"");
  EXPECT_GT(Form.Memo1().size(), before + 1);
  EXPECT_EQ(Form.Problems(), problems) << "each command starts a new list";
}

// The counting pass counts every picture that needs work and would be loaded, the evaluation pass
// ticks once before each load and once after each stored row; messages run before each such picture
// in both passes and before each load, which runs under the hourglass.
TEST_F(ScanTest, CountsTicksAndLetsMessagesRunAroundEachLoad) {
  Picture("a.bmp", Gray(10));
  Picture("b.bmp", Gray(100));
  Pictures.WriteFile("bad.jpg", "not a picture");
  mkdir((Pictures.Path() + "sub.jpg").c_str(), 0700);
  // Decoded one at a time: a scan waiting for a worker also lets messages run, as often as the
  // worker keeps it waiting.
  Form.ScanDecoding.Threads = 1;
  // A picture's memory is checked while it decodes, once its file is read.
  std::vector<TCursor> cursorsWhileDecoding;
  Form.ScanDecoding.MemoryLeft = [&] {
    cursorsWhileDecoding.push_back(Desktop.CursorNow);
    return std::uint64_t{1} << 30;
  };
  Desktop.MessageRuns = 0;
  Scan();
  Form.ScanDecoding.MemoryLeft = nullptr;
  EXPECT_EQ(Form.Progress().Total(), 3);
  EXPECT_EQ(Form.Progress().Done(), 5);
  EXPECT_EQ(Desktop.MessageRuns, 4 + 4 + 3);
  EXPECT_EQ(cursorsWhileDecoding, std::vector<TCursor>(2, TCursor::crHourGlass));
  // Only the undecodable picture needs work again; the up-to-date ones tick now that there is a total.
  Scan();
  EXPECT_EQ(Form.Progress().Total(), 1);
  EXPECT_EQ(Form.Progress().Done(), 3);
}

// What the scan reports, recorded instead of shown.
class TRecordingSink : public TScanSink {
 public:
  void ShowProgressLine(const std::string&) override {}
  void ProcessMessages() override {}
  void SetTitle(const std::string& caption) override { Titles.push_back(caption); }
  void AppendLogLine(std::string line) override { Log.push_back(std::move(line)); }
  void UnableToProcess(const std::string& path, const std::string& reason) override {
    Unprocessed.push_back(UnableToProcessLine(path, reason));
  }
  void UpdateDBLabels() override { ++LabelUpdates; }
  void FindMatchesFor() override { ++MatchSearches; }
  std::vector<std::string> Titles;
  std::vector<std::string> Log;
  std::vector<std::string> Unprocessed;
  int LabelUpdates = 0;
  int MatchSearches = 0;
};

// The scan on its own, over the form's tables: its options given at the start, its reports through
// the sink, its counts in a progress object of its caller.
TEST_F(ScanTest, RunsOnItsOwnThroughItsSink) {
  Picture("a.bmp", Gray(10));
  Picture("b.bmp", Gray(100));
  TScanOptions options;
  options.Folder = Pictures.Path();
  options.AppDir = AppDir.Path();
  options.IncrMatch = true;
  options.AutoRun = true;
  TProgress progress;
  TRecordingSink sink;
  TSignatureScan(options, {Form.SigsTable, Form.MatchesTable}, Desktop, progress, sink).ComputeSignatures();
  EXPECT_EQ(sink.Titles, (std::vector<std::string>{"Removing Signature records for deleted files...",
                                                   "Counting Files...", "Evaluating Signatures...", ""}));
  ASSERT_EQ(sink.Log.size(), 5u);
  EXPECT_EQ(sink.Log[2], Pictures.Path());
  EXPECT_TRUE(sink.Unprocessed.empty());
  EXPECT_EQ(sink.MatchSearches, 2);
  EXPECT_EQ(sink.LabelUpdates, 3);  // each added row, and the end
  EXPECT_EQ(progress.Adds(), 2);
  EXPECT_EQ(progress.Total(), 2);
  EXPECT_EQ(Form.Progress().Total(), 0);  // the form's own counters are not the scan's
  EXPECT_TRUE(Desktop.Messages.empty());
  EXPECT_EQ(Desktop.CursorNow, TCursor::crDefault);
  EXPECT_EQ(SigsNames(), (std::vector<std::string>{"a.bmp", "b.bmp"}));
}

TEST_F(ScanTest, IncrementalMatchFindsOnlyLaterPartners) {
  Picture("a.bmp", Gray(100));
  Picture("c.bmp", Gray(116));
  Scan();
  Form.SetIncrMatchCB(true);
  Picture("b.bmp", Gray(108));
  EXPECT_TRUE(StartsWith(Scan(), "1 records added; 0 records edited in "));
  // b comes after a in signature order: only c, after b, is found now.
  EXPECT_EQ(MatchRows(),
            std::vector<std::string>{"8|" + Pictures.Path() + "b.bmp|" + Pictures.Path() + "c.bmp"});
  EXPECT_EQ(Form.lMatchesDB(), "Matches DB (1)");
  // The pass finds both, a first in either pair.
  MatchPass();
  EXPECT_EQ(MatchRows(),
            (std::vector<std::string>{"8|" + Pictures.Path() + "a.bmp|" + Pictures.Path() + "b.bmp",
                                      "8|" + Pictures.Path() + "b.bmp|" + Pictures.Path() + "c.bmp"}));
}

TEST_F(ScanTest, MarginThatIsNoNumberEndsTheScanAfterTheFirstStoredRow) {
  Picture("a.bmp", Gray(10));
  Picture("b.bmp", Gray(100));
  Form.SetIncrMatchCB(true);
  Form.SetMarginEditText("abc");
  EXPECT_TRUE(StartsWith(Scan(), "1 records added; 0 records edited in "));
  ASSERT_EQ(Desktop.Errors, std::vector<std::string>{"'abc' is not a valid integer value"});
  EXPECT_EQ(Form.SigsTable.RecordCount(), 1);
  EXPECT_EQ(Form.lTitle(), "");
  EXPECT_EQ(Desktop.CursorNow, TCursor::crDefault);
  // log.txt was released: the next scan can create it again.
  Form.SetMarginEditText("10");
  Desktop.Errors.clear();
  Scan();
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_EQ(Form.SigsTable.RecordCount(), 2);
}

TEST_F(ScanTest, AutoRunShowsNoDialog) {
  Picture("a.bmp", Gray(10));
  Form.FAutoRun = true;
  EXPECT_EQ(Scan(), "");
  Form.FAutoRun = false;
}

TEST_F(ScanTest, PictureReplacedWhileDecodedIsDecodedAgain) {
  struct TCase {
    int replacements;
    int decodes;
    bool stored;
  };
  const TCase cases[] = {{0, 1, true}, {1, 2, true}, {2, 3, true}, {3, 3, false}, {100, 3, false}};
  // One picture at a time, so that each memory check below is one of the scan's decodes (a worker's
  // decode ahead would be one more, found stale).
  Form.ScanDecoding.Threads = 1;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.replacements);
    Form.SigsTable.EmptyTable();
    const auto lines = [this](const std::string& line) {
      return std::count(Form.Memo1().begin(), Form.Memo1().end(), line);
    };
    const std::string path = Picture("a.bmp", Gray(10));
    SetFileTime(path, 1500000000);
    const std::string unable = "Unable to process \"" + path + "\"";
    const auto unableBefore = lines(unable);
    // On each of the first `replacements` decodes, once the file is read and its picture's memory is
    // checked, a new file of another colour and date takes the name, as a saving editor does it.
    int decodes = 0;
    Form.ScanDecoding.MemoryLeft = [&] {
      if (decodes++ < c.replacements) {
        const std::string next = path + ".new";
        WriteBmp(next, 8, 8, Gray(50 + 10 * decodes));
        SetFileTime(next, 1600000000 + decodes);
        EXPECT_EQ(std::rename(next.c_str(), path.c_str()), 0);
      }
      return std::uint64_t{1} << 30;
    };
    Scan();
    Form.ScanDecoding.MemoryLeft = nullptr;
    EXPECT_EQ(decodes, c.decodes);
    EXPECT_EQ(Form.Progress().Adds(), c.stored ? 1 : 0);
    EXPECT_EQ(lines(unable) - unableBefore, c.stored ? 0 : 1);
    EXPECT_EQ(Form.Problems(), c.stored
                                   ? std::vector<std::string>{}
                                   : std::vector<std::string>{unable + ": file changed while it was read"});
    if (!c.stored) continue;
    // The stored row is the picture as it now stands: signature and date.
    Form.SetForceCB(true);
    EXPECT_TRUE(StartsWith(Scan(), "0 records added; 0 records edited in "));
    Form.SetForceCB(false);
    const std::size_t before = Form.Memo1().size();
    Scan();
    EXPECT_EQ(LogFrom(before), std::vector<std::string>{Pictures.Path()});
  }
}

// Pictures copied together with their tables: the copy's tables describe the copy alone as soon as
// it is opened (pairs) and scanned (signatures), and nothing of the original is touched.
TEST_F(ScanTest, CopiedFolderHeals) {
  Picture("a.bmp", Gray(100));
  Picture("b.bmp", Gray(104));
  Scan();
  MatchPass();
  const std::vector<std::string> originalPair{"4|" + Pictures.Path() + "a.bmp|" + Pictures.Path() + "b.bmp"};
  ASSERT_EQ(MatchRows(), originalPair);
  Form.SigsTable.Close();
  Form.MatchesTable.Close();
  TTestDir copy;
  for (const auto& entry : std::filesystem::directory_iterator(Pictures.Path())) {
    std::filesystem::copy_file(entry.path(), copy.Path() + entry.path().filename().string());
  }

  Form.SetDirEditText(copy.Path());
  ASSERT_TRUE(Desktop.Errors.empty()) << Desktop.Errors.front();
  EXPECT_TRUE(MatchRows().empty());
  EXPECT_EQ(Form.lFile1(), "");
  EXPECT_TRUE(StartsWith(Scan(), "2 records added; 0 records edited in "));
  for (std::int32_t row = 1; row <= Form.SigsTable.RecordCount(); ++row) {
    EXPECT_EQ(std::get<std::string>(Form.SigsTable.ValueAt(row, "FilePath")), copy.Path());
  }
  EXPECT_EQ(SigsNames(), (std::vector<std::string>{"a.bmp", "b.bmp"}));
  MatchPass();
  EXPECT_EQ(MatchRows(), std::vector<std::string>{"4|" + copy.Path() + "a.bmp|" + copy.Path() + "b.bmp"});
  EXPECT_TRUE(Desktop.Recycled.empty());

  // The original's tables were left as they were.
  Form.SetDirEditText(Pictures.Path());
  EXPECT_EQ(MatchRows(), originalPair);
}

// A 150-byte Folder and two 200-byte names that agree in their first 100 bytes: each is its own key.
TEST_F(ScanTest, LongNamesAreKeptWhole) {
  const std::string folder = Pictures.Path() + std::string(149 - Pictures.Path().size(), 'f') + "/";
  ASSERT_EQ(folder.size(), 150u);
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  Form.SetDirEditText(folder);
  const std::string first = std::string(100, 'q') + std::string(96, 'a') + ".bmp";
  const std::string second = std::string(100, 'q') + std::string(96, 'b') + ".bmp";
  WriteBmp(folder + first, 8, 8, Gray(100));
  WriteBmp(folder + second, 8, 8, Gray(104));
  EXPECT_TRUE(StartsWith(Scan(), "2 records added; 0 records edited in "));
  EXPECT_EQ(SigsNames(), (std::vector<std::string>{first, second}));
  const std::size_t before = Form.Memo1().size();
  EXPECT_TRUE(StartsWith(Scan(), "0 records added; 0 records edited in "));
  EXPECT_EQ(LogFrom(before), std::vector<std::string>{folder});
  MatchPass();
  EXPECT_EQ(MatchRows(), std::vector<std::string>{"4|" + folder + first + "|" + folder + second});
}

// A name or Folder longer than the tables hold gets its "Unable to process" line, never an
// error that ends the scan, and never a row under a cut name.
TEST_F(ScanTest, NamesLongerThanTheTablesHoldAreReportedAndTheScanGoesOn) {
  const std::size_t nameSize = static_cast<std::size_t>(Form.SigsTable.FieldSize("FileName"));
  const std::size_t pathSize = static_cast<std::size_t>(Form.MatchesTable.FieldSize("File1"));
  const std::size_t longest = std::min(nameSize, pathSize - Pictures.Path().size());
  const std::string fits = std::string(longest - 4, 'n') + ".bmp";
  const std::string over = std::string(longest - 3, 'n') + ".bmp";
  Picture(fits, Gray(10));
  // Where the tables hold the longest name the system allows, no longer one can exist.
  const bool overExists = over.size() <= kMaxFileNameBytes;
  if (overExists) Picture(over, Gray(20));
  EXPECT_TRUE(StartsWith(Scan(), "1 records added; 0 records edited in "));
  if (overExists) {
    EXPECT_EQ(Form.Memo1().front(), "Unable to process \"" + Pictures.Path() + over + "\"");
    EXPECT_EQ(Form.Problems(), std::vector<std::string>{"Unable to process \"" + Pictures.Path() + over +
                                                        "\": name too long for the tables"});
  }
  EXPECT_EQ(SigsNames(), std::vector<std::string>{fits});
  EXPECT_TRUE(Desktop.Errors.empty());

  // A folder deep enough that a file's whole name passes what Matches holds; the folder itself
  // and the name still fit, and the file can only be made from inside its folder.
  const std::string name = std::string(240, 'n') + ".bmp";
  std::string folder = Pictures.Path();
  while (folder.size() + name.size() <= pathSize) {
    folder += std::string(std::min<std::size_t>(200, pathSize - folder.size() - 1), 'f') + "/";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0) << folder.size();
  }
  ASSERT_LE(folder.size(), static_cast<std::size_t>(Form.SigsTable.FieldSize("FilePath")));
  const std::string back = std::filesystem::current_path().string();
  ASSERT_EQ(chdir(folder.c_str()), 0);
  WriteBmp(name, 8, 8, Gray(30));
  ASSERT_EQ(chdir(back.c_str()), 0);
  Form.SetDirEditText(folder);
  EXPECT_TRUE(StartsWith(Scan(), "0 records added; 0 records edited in "));
  EXPECT_EQ(Form.Memo1().front(), "Unable to process \"" + folder + name + "\"");
  EXPECT_TRUE(Desktop.Errors.empty());
}

}  // namespace
}  // namespace velquin
