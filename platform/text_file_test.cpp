#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/test_dir.h"

namespace velquin {
namespace {

using Lines = std::vector<std::string>;

TEST(TextFileTest, ReadLinesSplitsAtEveryLineEnd) {
  const struct {
    std::string Content;
    Lines Expected;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
      {"\r\n\r\n", {"", ""}},
      {"a\n\r", {"a", ""}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"/z/\r\n/A/\r\n/z/\r\n", {"/z/", "/A/", "/z/"}},
  };
  TTestDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.Content));
    EXPECT_EQ(ReadLines(dir.WriteFile("DirList.Txt", c.Content)), c.Expected);
  }
}

TEST(TextFileTest, ReadLinesOfMissingFileRaises) {
  TTestDir dir;
  const std::string path = dir.Path() + "missing.txt";
  try {
    ReadLines(path);
    FAIL() << "no error";
  } catch (const EFOpenError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot open file \"" + path + "\". No such file or directory");
  }
}

TEST(TextFileTest, WriteLinesReplacesFileAndRoundTrips) {
  TTestDir dir;
  const std::string path = dir.WriteFile("DirList.Txt", "old content that is longer\r\n");
  const Lines lines = {"/b/", "", "/a b/"};
  WriteLinesCRLF(path, lines);
  EXPECT_EQ(ReadWholeFile(path), "/b/\r\n\r\n/a b/\r\n");
  EXPECT_EQ(ReadLines(path), lines);
  WriteLinesCRLF(path, {});
  EXPECT_EQ(ReadWholeFile(path), "");
}

TEST(TextFileTest, WriteLinesFailureNamesFileAndReason) {
  TTestDir dir;
  const std::string path = dir.Path() + "missing/DirList.Txt";
  try {
    WriteLinesCRLF(path, {"x"});
    FAIL() << "no error";
  } catch (const EFCreateError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + path + "\". No such file or directory");
  }
}

TEST(TextFileTest, AppendLineCreatesThenAppends) {
  TTestDir dir;
  const std::string path = dir.Path() + "summary-log.txt";
  AppendLineCRLF(path, "first");
  AppendLineCRLF(path, "second");
  EXPECT_EQ(ReadWholeFile(path), "first\r\nsecond\r\n");
  try {
    AppendLineCRLF(dir.Path() + "missing/summary-log.txt", "x");
    FAIL() << "no error";
  } catch (const EInOutError& error) {
    EXPECT_EQ(std::string(error.what()), "I/O error 2");
  }
}

TEST(TextFileTest, TextWriterEmptiesAndWritesLines) {
  TTestDir dir;
  const std::string path = dir.WriteFile("log.txt", "previous scan\r\n");
  {
    TTextWriter log(path);
    EXPECT_EQ(ReadWholeFile(path), "");
    log.WriteLine("/pictures/");
    EXPECT_EQ(ReadWholeFile(path), "/pictures/\r\n") << "each line reaches the file at once";
    log.WriteLine("");
    log.Close();
    EXPECT_THROW(log.WriteLine("late"), EInOutError);
  }
  EXPECT_EQ(ReadWholeFile(path), "/pictures/\r\n\r\n");
  EXPECT_THROW(TTextWriter(dir.Path() + "missing/log.txt"), EInOutError);
}

}  // namespace
}  // namespace velquin
