// Decoding ahead on several threads stores and reports exactly what decoding one picture at a time
// does, over the same folders: broken files, GIF, BMP, JPEG, a picture that fits in memory only
// alone and one that never fits.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "app/test_support.h"
#include "platform/text_file.h"

namespace velquin {
namespace {

constexpr std::uint32_t Gray(std::uint32_t v) { return v << 16 | v << 8 | v; }

// The big picture's bitmap: the memory left is just enough for it alone, and not beside any other.
constexpr std::int32_t kBigSide = 256;
constexpr std::uint64_t kMemoryLeft = std::uint64_t{kBigSide} * kBigSide * 4 + 200;

// Everything a person or another program could see of a run, command after command.
struct TOutcome {
  std::vector<std::string> Memo;
  std::vector<std::string> Problems;
  std::vector<std::string> Dialogs;
  std::vector<std::string> Errors;
  std::vector<std::string> LogTxt;
  std::vector<std::string> Counts;
  std::vector<std::string> Sigs;
  std::vector<std::string> Matches;
};

// Elapsed times differ from run to run; nothing else may.
std::string WithoutTimes(const std::string& text) {
  static const std::regex kTime("[0-9]+:[0-9]{2}:[0-9]{2}");
  return std::regex_replace(text, kTime, "h:mm:ss");
}

class ScanThreadsTest : public ::testing::Test {
 protected:
  ScanThreadsTest() {
    const std::filesystem::path source(VELQUIN_SOURCE_DIR);
    const std::filesystem::path jpegs = source / "fuzz" / "corpus" / "jpeg";
    const std::string first = First.Path(), second = Second.Path();
    // The first folder: near-alike BMPs, GIFs, JPEGs of every kind, broken files of each type, a
    // folder named like a picture, the big picture and one too large for any memory.
    for (int i = 0; i < 8; ++i) WriteBmp(first + "g" + std::to_string(i) + ".bmp", 8, 8, Gray(100 + 3 * i));
    WriteBmp(first + "Ramp.BMP", 16, 12, [](std::int32_t x, std::int32_t y) { return Gray(10 * x + y); });
    for (const char* name : {"plain.gif", "interlaced.gif"})
      std::filesystem::copy_file(source / "imaging" / "testdata" / name, first + name);
    for (const char* name :
         {"baseline_420.jpg", "progressive.jpg", "gray.jpg", "optimized_422.jpg", "restart_444.jpg",
          "broken-bogus-marker-length.jpg", "broken-invalid-jpeg-file-structure-two-sof-markers.jpg",
          "broken-huffman-table-0x03-was-not-defined.jpg"})
      std::filesystem::copy_file(jpegs / name, first + name);
    First.WriteFile("text.jpg", "not a picture");
    First.WriteFile("empty.jpg", "");
    First.WriteFile("empty.gif", "");
    First.WriteFile("broken.bmp", "BM not really");
    mkdir((first + "sub.jpg").c_str(), 0700);
    WriteBmp(first + "big.bmp", kBigSide, kBigSide, Gray(101));
    std::string huge = "BM";
    huge.resize(54, '\0');
    huge[10] = 54;
    huge[14] = 40;
    for (int at : {18, 22}) huge.replace(at, 4, "\xFF\xFF\xFF\x7F");  // 2147483647 x 2147483647
    huge[26] = 1;
    huge[28] = 24;
    First.WriteFile("huge.bmp", huge);
    // The second folder: pairs across kinds and a copy of a JPEG.
    for (int i = 0; i < 5; ++i) WriteBmp(second + "s" + std::to_string(i) + ".bmp", 8, 8, Gray(50 + 2 * i));
    std::filesystem::copy_file(jpegs / "baseline_420.jpg", second + "copy.jpg");
    std::filesystem::copy_file(jpegs / "optimized_422.jpg", second + "near.jpg");
  }

  // Runs the commands with a fresh form and AppDir, from folders without tables.
  TOutcome Run(unsigned threads) {
    TTestDir appDir;
    TRecordingDesktop desktop;
    TOutcome outcome;
    {
      TForm1 form(desktop, appDir.Path());
      form.ScanDecoding.Threads = threads;
      form.ScanDecoding.MemoryLeft = [] { return kMemoryLeft; };
      for (const TTestDir* folder : {&First, &Second}) {
        form.SetDirEditText(folder->Path());
        form.ClearButtonClick();
      }
      const auto record = [&] {
        outcome.Counts.push_back(
            form.lSigsDB() + " " + form.lMatchesDB() + " " + std::to_string(form.Progress().Adds()) + "/" +
            std::to_string(form.Progress().Edits()) + "/" + std::to_string(form.Progress().Total()) + "/" +
            std::to_string(form.Progress().Done()));
        outcome.LogTxt.push_back(ReadWholeFile(appDir.Path() + "log.txt"));
        outcome.Problems.insert(outcome.Problems.end(), form.Problems().begin(), form.Problems().end());
      };
      form.AddLBItem(First.Path());
      form.AddLBItem(Second.Path());
      form.AutoButtonClick();
      record();
      // Again without Force: only what failed is tried again.
      form.SetForceCB(false);
      form.SetDirEditText(First.Path());
      form.CompSigsButtonClick();
      record();
      // Force without normalising: every signature changes.
      form.SetForceCB(true);
      form.SetNormalizeCB(false);
      form.CompSigsButtonClick();
      record();
      form.SetDirEditText(Second.Path());
      form.CompSigsButtonClick();
      record();
      form.CompMatchesButtonClick();
      record();

      for (const std::string& line : form.Memo1()) outcome.Memo.push_back(WithoutTimes(line));
      for (const TTestDir* folder : {&First, &Second}) {
        form.SetDirEditText(folder->Path());
        const TTable& sigs = form.SigsTable;
        for (std::int32_t row = 1; row <= sigs.RecordCount(); ++row) {
          outcome.Sigs.push_back(std::get<std::string>(sigs.ValueAt(row, "FileName")) + "|" +
                                 std::get<std::string>(sigs.ValueAt(row, "FilePath")) + "|" +
                                 std::to_string(std::get<double>(sigs.ValueAt(row, "FileDate"))) + "|" +
                                 std::get<std::string>(sigs.ValueAt(row, "Signature")));
        }
        const TTable& matches = form.MatchesTable;
        for (std::int32_t row = 1; row <= matches.RecordCount(); ++row) {
          outcome.Matches.push_back(std::to_string(std::get<std::int32_t>(matches.ValueAt(row, "MaxDiff"))) +
                                    "|" + std::get<std::string>(matches.ValueAt(row, "File1")) + "|" +
                                    std::get<std::string>(matches.ValueAt(row, "File2")));
        }
      }
      form.SigsTable.Close();
      form.MatchesTable.Close();
    }
    for (const std::string& text : desktop.Messages) outcome.Dialogs.push_back(WithoutTimes(text));
    outcome.Errors = desktop.Errors;
    return outcome;
  }

  TTestDir First;
  TTestDir Second;
};

TEST_F(ScanThreadsTest, EveryThreadCountStoresAndReportsTheSame) {
  const TOutcome one = Run(1);
  // The run itself went as it should: the big picture stored, the huge one and the broken ones
  // reported in the order met, pairs found.
  ASSERT_TRUE(one.Errors.empty()) << one.Errors.front();
  const auto stored = [&](const std::string& name) {
    return std::any_of(one.Sigs.begin(), one.Sigs.end(), [&](const std::string& row) {
      return row.starts_with(name + "|" + First.Path() + "|");
    });
  };
  EXPECT_TRUE(stored("big.bmp"));
  EXPECT_TRUE(stored("plain.gif") && stored("interlaced.gif") && stored("progressive.jpg") &&
              stored("empty.jpg"));
  EXPECT_FALSE(stored("huge.bmp") || stored("text.jpg") || stored("empty.gif") || stored("broken.bmp"));
  EXPECT_NE(std::find(one.Problems.begin(), one.Problems.end(),
                      "Unable to process \"" + First.Path() +
                          "huge.bmp\": Not enough memory for a picture of 2147483647 x 2147483647 pixels"),
            one.Problems.end());
  EXPECT_GE(one.Problems.size(), 5u * 3);
  EXPECT_FALSE(one.Matches.empty());
  ASSERT_EQ(one.Dialogs.size(), 4u);

  for (unsigned threads : {2u, 3u, 8u}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    const TOutcome many = Run(threads);
    EXPECT_EQ(many.Sigs, one.Sigs);
    EXPECT_EQ(many.Matches, one.Matches);
    EXPECT_EQ(many.Counts, one.Counts);
    EXPECT_EQ(many.LogTxt, one.LogTxt);
    EXPECT_EQ(many.Memo, one.Memo);
    EXPECT_EQ(many.Problems, one.Problems);
    EXPECT_EQ(many.Dialogs, one.Dialogs);
    EXPECT_EQ(many.Errors, one.Errors);
  }
}

}  // namespace
}  // namespace velquin
