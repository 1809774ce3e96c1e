#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <string>

#include "platform/file_utils.h"
#include "platform/test_dir.h"

namespace velquin {
namespace {

// Points the home trash into a temporary folder for the test's lifetime.
class RecycleFileTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = getenv("XDG_DATA_HOME")) FSavedDataHome = old;
    FHadDataHome = getenv("XDG_DATA_HOME") != nullptr;
    setenv("XDG_DATA_HOME", (FHome.Path() + "data").c_str(), 1);
    FTrash = FHome.Path() + "data/Trash/";
  }
  void TearDown() override {
    if (FHadDataHome) {
      setenv("XDG_DATA_HOME", FSavedDataHome.c_str(), 1);
    } else {
      unsetenv("XDG_DATA_HOME");
    }
  }

  TTestDir FHome;
  TTestDir FFiles;
  std::string FTrash;
  std::string FSavedDataHome;
  bool FHadDataHome = false;
};

std::string RealFolder(const std::string& folder) {
  return std::filesystem::canonical(folder).string() + "/";
}

TEST_F(RecycleFileTest, MovesFileIntoHomeTrashWithInfo) {
  const std::string file = FFiles.WriteFile("a picture.jpg", "content");
  RecycleFile(file);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(ReadWholeFile(FTrash + "files/a picture.jpg"), "content");
  const std::string info = ReadWholeFile(FTrash + "info/a picture.jpg.trashinfo");
  const std::string encoded = RealFolder(FFiles.Path()) + "a%20picture.jpg";
  EXPECT_TRUE(
      std::regex_match(info, std::regex("\\[Trash Info\\]\nPath=" + encoded +
                                        "\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
      << info;
}

TEST_F(RecycleFileTest, SameNameTwiceKeepsBoth) {
  TTestDir other;
  const std::string first = FFiles.WriteFile("dup.jpg", "first");
  const std::string second = other.WriteFile("dup.jpg", "second");
  RecycleFile(first);
  RecycleFile(second);
  EXPECT_FALSE(std::filesystem::exists(first));
  EXPECT_FALSE(std::filesystem::exists(second));
  EXPECT_EQ(ReadWholeFile(FTrash + "files/dup.jpg"), "first");
  EXPECT_EQ(ReadWholeFile(FTrash + "files/dup.2.jpg"), "second");
  EXPECT_NE(ReadWholeFile(FTrash + "info/dup.2.jpg.trashinfo")
                .find("Path=" + RealFolder(other.Path()) + "dup.jpg\n"),
            std::string::npos);
}

TEST_F(RecycleFileTest, RelativePathIsTakenAgainstCurrentFolder) {
  const std::string file = FFiles.WriteFile("rel.bmp", "x");
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(FFiles.Path());
  RecycleFile("./sub/../rel.bmp");
  std::filesystem::current_path(saved);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_NE(ReadWholeFile(FTrash + "info/rel.bmp.trashinfo")
                .find("Path=" + RealFolder(FFiles.Path()) + "rel.bmp\n"),
            std::string::npos);
}

TEST_F(RecycleFileTest, MissingPathReturnsNormally) {
  RecycleFile(FFiles.Path() + "missing.jpg");
  RecycleFile("");
  EXPECT_FALSE(std::filesystem::exists(FTrash + "files/missing.jpg"));
  EXPECT_FALSE(std::filesystem::exists(FTrash + "info/missing.jpg.trashinfo"));
}

// When no trash can be made the file stays where it was: it is never deleted outright.
TEST_F(RecycleFileTest, UnusableTrashLeavesFileInPlace) {
  setenv("XDG_DATA_HOME", FHome.WriteFile("not-a-folder").c_str(), 1);
  const std::string file = FFiles.WriteFile("keep.jpg", "keep");
  RecycleFile(file);
  EXPECT_EQ(ReadWholeFile(file), "keep");
}

// A file on another file system goes to the trash at the top of its mount (here tmpfs /dev/shm).
TEST_F(RecycleFileTest, OtherFileSystemUsesMountTrash) {
  struct stat shm {};
  struct stat home {};
  if (stat("/dev/shm", &shm) != 0 || stat(FHome.Path().c_str(), &home) != 0 || shm.st_dev == home.st_dev ||
      access("/dev/shm", W_OK) != 0) {
    GTEST_SKIP() << "no writable second file system at /dev/shm";
  }
  const std::string trash = "/dev/shm/.Trash-" + std::to_string(getuid()) + "/";
  const bool trashExisted = std::filesystem::exists(trash);
  std::string folder = "/dev/shm/velquin-recycle-XXXXXX";
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  const std::string name = std::filesystem::path(folder).filename().string();
  const std::string file = folder + "/p.jpg";
  FILE* out = fopen(file.c_str(), "w");
  ASSERT_NE(out, nullptr);
  fclose(out);
  RecycleFile(file);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(std::filesystem::exists(trash + "files/p.jpg") || trashExisted);
  // The mount's trash records the path relative to the top of the mount.
  bool found = false;
  for (const auto& entry : std::filesystem::directory_iterator(trash + "info")) {
    const std::string info = ReadWholeFile(entry.path().string());
    if (info.find("Path=" + name + "/p.jpg\n") != std::string::npos) {
      found = true;
      std::filesystem::remove(trash + "files/" + entry.path().stem().string());
      std::filesystem::remove(entry.path());
    }
  }
  EXPECT_TRUE(found);
  std::filesystem::remove_all(folder);
  if (!trashExisted) std::filesystem::remove_all(trash);
}

}  // namespace
}  // namespace velquin
