#include "platform/file_utils.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <map>
#include <thread>

#include "platform/date_time.h"
#include "platform/test_dir.h"

namespace velquin {
namespace {

// Sets the file's last-write time to the given local time.
void SetLocalMTime(const std::string& path, int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  const timeval times[2] = {{mktime(&tm), 0}, {mktime(&tm), 0}};
  ASSERT_EQ(utimes(path.c_str(), times), 0) << path;
}

TEST(FileUtilsTest, MissingPathGivesZero) {
  TTestDir dir;
  const std::string missing = dir.Path() + "missing.jpg";
  EXPECT_EQ(GetFileSize(missing), 0);
  EXPECT_EQ(GetFileDate(missing), 0.0);
  EXPECT_FALSE(FileExists(missing));
  EXPECT_EQ(GetFileSize(""), 0);
  EXPECT_EQ(GetFileDate(""), 0.0);
}

TEST(FileUtilsTest, SizeOfFilesAndFolders) {
  TTestDir dir;
  const std::string file = dir.WriteFile("a.bmp", std::string(12345, 'x'));
  EXPECT_EQ(GetFileSize(file), 12345);
  EXPECT_TRUE(FileExists(file));
  ASSERT_EQ(mkdir((dir.Path() + "sub").c_str(), 0755), 0);
  EXPECT_EQ(GetFileSize(dir.Path() + "sub"), 0);
  EXPECT_NE(GetFileDate(dir.Path() + "sub"), 0.0) << "a folder is found as well";
  EXPECT_FALSE(FileExists(dir.Path() + "sub"));
}

TEST(FileUtilsTest, SizeOfHugeFileIsClamped) {
  TTestDir dir;
  const std::string file = dir.WriteFile("huge.jpg");
  ASSERT_EQ(truncate(file.c_str(), 3LL << 30), 0);  // sparse: takes no disk space
  EXPECT_EQ(GetFileSize(file), INT32_MAX);
}

TEST(FileUtilsTest, DateDropsOddSecond) {
  TTestDir dir;
  const std::string file = dir.WriteFile("a.jpg", "x");
  const struct {
    int Second;
    int Expected;
  } cases[] = {{31, 30}, {30, 30}, {0, 0}, {59, 58}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Second);
    SetLocalMTime(file, 2024, 2, 29, 10, 15, c.Second);
    const double expected = EncodeDateTime({2024, 2, 29, 10, 15, c.Expected, 0});
    EXPECT_EQ(GetFileDate(file), expected);
    EXPECT_EQ(GetFileDate(file), GetFileDate(file));
  }
}

TEST(FileUtilsTest, AnyYearADateHoldsIsAFileDate) {
  TTestDir dir;
  const std::string file = dir.WriteFile("old.gif", "x");
  // Years the test folder's file system can store, on both sides of the old 1980..2107 window.
  for (int year : {1902, 1969, 1979, 2108, 2400}) {
    SCOPED_TRACE(year);
    SetLocalMTime(file, year, 6, 15, 12, 0, 0);
    EXPECT_TRUE(FileExists(file));
    EXPECT_EQ(GetFileDate(file), EncodeDateTime({year, 6, 15, 12, 0, 0, 0}));
    EXPECT_EQ(GetFileSize(file), 1) << "the size does not depend on the date";
  }
}

TEST(FileUtilsTest, StampDateCoversTheYearsADateHolds) {
  const struct {
    int Year;
    bool IsDate;
  } cases[] = {{1, true}, {9999, true}, {0, false}, {10000, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Year);
    std::tm tm{};
    tm.tm_year = c.Year - 1900;
    tm.tm_mon = 6;
    tm.tm_mday = 1;
    tm.tm_isdst = -1;
    TFileStamp stamp;
    stamp.ModifiedSeconds = mktime(&tm);
    const double date = StampDate(stamp);
    if (c.IsDate) {
      EXPECT_EQ(date, EncodeDateTime({c.Year, 7, 1, 0, 0, 0, 0}));
    } else {
      EXPECT_EQ(date, 0.0);
    }
  }
}

TEST(FileUtilsTest, IsFileDirectlyIn) {
  struct TCase {
    std::string file;
    std::string folder;
    bool in;
  };
  const TCase cases[] = {
      {"/p/a.jpg", "/p/", true},   {"/p/sub/a.jpg", "/p/", false},  // a subfolder is another folder
      {"/pq/a.jpg", "/p/", false},  // a folder whose name starts like the Folder's
      {"/q/a.jpg", "/p/", false},  {"/P/a.jpg", "/p/", false},  // letter case counts
      {"/p/", "/p/", false},                                    // the Folder itself names no file in it
      {"/p/.", "/p/", false},      {"/p/..", "/p/", false},
      {"/p/a.jpg", "/p", false},  // a folder text without its '/' names no Folder
      {"/p/a.jpg", "", false},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(IsFileDirectlyIn(c.file, c.folder), c.in) << c.file << " in " << c.folder;
  }
}

TEST(FileUtilsTest, FoldersBelowAndFilesWithin) {
  struct TCase {
    std::string file;
    bool directly;  // IsFileWithin without the folders below
    bool below;     // with them
  };
  const TCase cases[] = {
      {"/p/a.jpg", true, true},
      {"/p/sub/a.jpg", false, true},
      {"/p/sub/deeper/a.jpg", false, true},
      {"/p/sub/../a.jpg", false, false},  // no way up and out
      {"/p/./a.jpg", false, false},
      {"/p//a.jpg", false, false},
      {"/p/sub/", false, false},  // a folder names no file
      {"/pq/a.jpg", false, false},
      {"/q/sub/a.jpg", false, false},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(IsFileWithin(c.file, "/p/", false), c.directly) << c.file;
    EXPECT_EQ(IsFileWithin(c.file, "/p/", true), c.below) << c.file;
  }
  EXPECT_TRUE(IsFolderBelow("/p/sub/", "/p/"));
  EXPECT_TRUE(IsFolderBelow("/p/sub/deeper/", "/p/"));
  EXPECT_FALSE(IsFolderBelow("/p/", "/p/"));
  EXPECT_FALSE(IsFolderBelow("/p/sub", "/p/"));
  EXPECT_FALSE(IsFolderBelow("/p/../", "/p/"));
  EXPECT_FALSE(IsFolderBelow("/p/sub/", "/p"));
}

TEST(FileUtilsTest, AreSameFileFollowsLinks) {
  TTestDir dir;
  const std::string a = dir.WriteFile("a.jpg", "x");
  const std::string copy = dir.WriteFile("copy.jpg", "x");
  ASSERT_EQ(link(a.c_str(), dir.File("hard.jpg").c_str()), 0);
  ASSERT_EQ(symlink("a.jpg", dir.File("soft.jpg").c_str()), 0);
  EXPECT_TRUE(AreSameFile(a, dir.File("hard.jpg")));
  EXPECT_TRUE(AreSameFile(dir.File("soft.jpg"), a));
  EXPECT_TRUE(AreSameFile(dir.File("soft.jpg"), dir.File("hard.jpg")));
  EXPECT_FALSE(AreSameFile(a, copy));
  EXPECT_FALSE(AreSameFile(a, dir.File("missing.jpg")));
  EXPECT_FALSE(AreSameFile(dir.File("missing.jpg"), dir.File("missing.jpg")));
}

TEST(FileUtilsTest, ForEachFolderEntryListsEverythingButDots) {
  TTestDir dir;
  dir.WriteFile("a.jpg");
  dir.WriteFile(".hidden");
  dir.WriteFile("name with blank.GIF");
  ASSERT_EQ(mkdir((dir.Path() + "sub").c_str(), 0755), 0);
  ASSERT_EQ(symlink("sub", (dir.Path() + "link-to-dir").c_str()), 0);
  ASSERT_EQ(symlink("a.jpg", (dir.Path() + "link-to-file").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (dir.Path() + "dangling").c_str()), 0);
  std::map<std::string, bool> seen;
  EXPECT_TRUE(ForEachFolderEntry(dir.Path(), [&](const std::string& name, bool isDirectory) {
    EXPECT_TRUE(seen.emplace(name, isDirectory).second) << "twice: " << name;
  }));
  const std::map<std::string, bool> expected = {
      {"a.jpg", false},    {".hidden", false},    {"name with blank.GIF", false},
      {"sub", true},       {"link-to-dir", true}, {"link-to-file", false},
      {"dangling", false},
  };
  EXPECT_EQ(seen, expected);
}

TEST(FileUtilsTest, ForEachFolderEntryOfMissingFolderFails) {
  TTestDir dir;
  bool called = false;
  EXPECT_FALSE(ForEachFolderEntry(dir.Path() + "missing/", [&](const std::string&, bool) { called = true; }));
  EXPECT_FALSE(ForEachFolderEntry(dir.WriteFile("file"), [&](const std::string&, bool) { called = true; }));
  EXPECT_FALSE(called);
}

// A stand-in xdg-open that waits until the test has regained control, then records its argument and
// where its output goes. If ShellOpen waited for it, the marker would never appear in time.
TEST(FileUtilsTest, ShellOpenReturnsAtOnceAndDetaches) {
  TTestDir dir;
  const std::string bin = dir.Path() + "bin/";
  ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
  const std::string script =
      dir.WriteFile("bin/xdg-open",
                    "#!/bin/sh\n"
                    "i=0\n"
                    "while [ ! -e \"" +
                        dir.Path() +
                        "returned\" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n"
                        "[ -e \"" +
                        dir.Path() +
                        "returned\" ] || exit 1\n"
                        "{ printf '%s\\n' \"$1\"; readlink /proc/$$/fd/0; readlink /proc/$$/fd/2; [ \"$(cut "
                        "-d' ' -f6 /proc/$$/stat)\" -eq $$ ] && echo leader; }"
                        " > \"" +
                        dir.Path() +
                        "out.tmp\"\n"
                        "mv \"" +
                        dir.Path() + "out.tmp\" \"" + dir.Path() + "out\"\n");
  ASSERT_EQ(chmod(script.c_str(), 0755), 0);
  const char* oldPath = getenv("PATH");
  const std::string savedPath = oldPath != nullptr ? oldPath : "";
  setenv("PATH", (bin + ":" + savedPath).c_str(), 1);
  const std::string picture = dir.Path() + "it's a picture.jpg";
  ShellOpen(picture);
  setenv("PATH", savedPath.c_str(), 1);
  dir.WriteFile("returned");
  std::string out;
  for (int i = 0; i < 200 && out.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    out = ReadWholeFile(dir.Path() + "out");
  }
  EXPECT_EQ(out, picture + "\n/dev/null\n/dev/null\nleader\n");
}

}  // namespace
}  // namespace velquin
