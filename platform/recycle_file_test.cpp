#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/test_dir.h"
#include "platform/trash.h"

namespace velquin {
namespace {

class RecycleFileTest : public testing::Test {
 protected:
  TTestTrash FTrash;
  TTestDir FFiles;
};

std::string RealFolder(const std::string& folder) {
  return std::filesystem::canonical(folder).string() + "/";
}

std::string Repeat(const std::string& text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += text;
  return result;
}

TEST_F(RecycleFileTest, MovesFileIntoHomeTrashWithInfo) {
  const std::string file = FFiles.WriteFile("a picture.jpg", "content");
  RecycleFile(file);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(ReadWholeFile(FTrash.Path() + "files/a picture.jpg"), "content");
  const std::string info = ReadWholeFile(FTrash.Path() + "info/a picture.jpg.trashinfo");
  const std::string encoded = RealFolder(FFiles.Path()) + "a%20picture.jpg";
  EXPECT_TRUE(
      std::regex_match(info, std::regex("\\[Trash Info\\]\nPath=" + encoded +
                                        "\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
      << info;
}

// The name an entry gets in the trash: its own, a counter on a clash, and a name cut to fit the info
// file's name into 255 bytes; the info file always records the full original name.
TEST_F(RecycleFileTest, TrashNames) {
  struct TCase {
    const char* label;
    std::string name;
    std::vector<std::string> taken;  // names already in the trash
    std::string trashName;
    std::string encodedName;  // "" when the name needs no percent-encoding
  };
  const std::string e = "\xC3\xA9";  // a two-byte character
  const std::vector<TCase> cases = {
      {"own name", "a.jpg", {}, "a.jpg", ""},
      {"clash", "dup.jpg", {"dup.jpg", "dup.2.jpg"}, "dup.3.jpg", ""},
      {"clash without extension", "readme", {"readme"}, "readme.2", ""},
      {"245 bytes fit", Repeat("q", 241) + ".jpg", {}, Repeat("q", 241) + ".jpg", ""},
      {"246 bytes are cut", Repeat("q", 242) + ".jpg", {}, Repeat("q", 241) + ".jpg", ""},
      {"255 bytes are cut", Repeat("q", 251) + ".bmp", {}, Repeat("q", 241) + ".bmp", ""},
      {"a counter makes it too long",
       Repeat("w", 240) + ".jpg",
       {Repeat("w", 240) + ".jpg"},
       Repeat("w", 239) + ".2.jpg",
       ""},
      {"cut names that clash",
       Repeat("q", 250) + ".jpg",
       {Repeat("q", 241) + ".jpg"},
       Repeat("q", 239) + ".2.jpg",
       ""},
      {"no character is split",
       Repeat(e, 125) + ".jpg",
       {},
       Repeat(e, 120) + ".jpg",
       Repeat("%C3%A9", 125) + ".jpg"},
      {"a long extension is cut with the name", "a." + Repeat("x", 250), {}, "a." + Repeat("x", 243), ""},
      {"no extension", Repeat("z", 255), {}, Repeat("z", 245), ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.label);
    TTestTrash trash;
    std::filesystem::create_directories(trash.Path() + "files");
    std::filesystem::create_directories(trash.Path() + "info");
    for (const std::string& taken : c.taken) {
      std::ofstream(trash.Path() + "files/" + taken) << "older";
      std::ofstream(trash.Path() + "info/" + taken + ".trashinfo") << "[Trash Info]\n";
    }
    const std::string file = FFiles.WriteFile(c.name, "picture");
    RecycleFile(file);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(ReadWholeFile(trash.Path() + "files/" + c.trashName), "picture");
    const std::string encoded = c.encodedName.empty() ? c.name : c.encodedName;
    EXPECT_NE(ReadWholeFile(trash.Path() + "info/" + c.trashName + ".trashinfo")
                  .find("\nPath=" + RealFolder(FFiles.Path()) + encoded + "\n"),
              std::string::npos);
    for (const std::string& taken : c.taken)
      EXPECT_EQ(ReadWholeFile(trash.Path() + "files/" + taken), "older");
  }
}

TEST_F(RecycleFileTest, RelativePathIsTakenAgainstCurrentFolder) {
  const std::string file = FFiles.WriteFile("rel.bmp", "x");
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(FFiles.Path());
  RecycleFile("./sub/../rel.bmp");
  std::filesystem::current_path(saved);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_NE(ReadWholeFile(FTrash.Path() + "info/rel.bmp.trashinfo")
                .find("Path=" + RealFolder(FFiles.Path()) + "rel.bmp\n"),
            std::string::npos);
}

// The text of the failure RecycleFile(path) throws; "" when it throws none.
std::string RecycleFailure(const std::string& path) {
  try {
    RecycleFile(path);
  } catch (const ERecycleError& error) {
    return error.what();
  }
  return "";
}

// Every entry below `folder`, as paths relative to it.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> entries;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    entries.push_back(std::filesystem::relative(entry.path(), folder).string());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

// When no trash takes the file, the failure names the file and the system's reason; the file stays
// where it was (it is never deleted outright) and the trash gets nothing.
TEST_F(RecycleFileTest, FailureIsReportedAndTheFileStays) {
  struct TCase {
    const char* label;
    std::function<void(const std::string& trash)> breakTrash;
    const char* reason;
  };
  const std::vector<TCase> cases = {
      {"trash's files/ is a file",
       [](const std::string& trash) {
         std::filesystem::create_directories(trash);
         std::ofstream(trash + "files") << "";
       },
       "Not a directory"},
      {"trash's info/ is a file",
       [](const std::string& trash) {
         std::filesystem::create_directories(trash + "files");
         std::ofstream(trash + "info") << "";
       },
       "Not a directory"},
      {"the data folder is a file",
       [this](const std::string&) { setenv("XDG_DATA_HOME", FFiles.WriteFile("not-a-folder").c_str(), 1); },
       "Not a directory"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.label);
    TTestTrash trash;
    c.breakTrash(trash.Path());
    const std::string dataHome = std::filesystem::path(trash.Path()).parent_path().parent_path().string();
    const std::vector<std::string> before = Entries(dataHome);
    const std::string file = FFiles.WriteFile("keep.jpg", "keep");
    EXPECT_EQ(RecycleFailure(file), "Cannot move file \"" + file + "\" to the trash. " + c.reason);
    EXPECT_EQ(ReadWholeFile(file), "keep");
    EXPECT_EQ(Entries(dataHome), before);
  }
  const std::string missing = FFiles.Path() + "missing.jpg";
  EXPECT_EQ(RecycleFailure(missing),
            "Cannot move file \"" + missing + "\" to the trash. No such file or directory");
  EXPECT_FALSE(std::filesystem::exists(FTrash.Path() + "info/missing.jpg.trashinfo"));
  EXPECT_EQ(RecycleFailure(""), "Cannot move file \"\" to the trash. No such file or directory");
}

// A trash, or a picture folder, that we may not write: permissions bind only a user without the
// right to override them.
TEST_F(RecycleFileTest, ReadOnlyFoldersAreReportedAndLeaveNoInfoFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  struct TCase {
    const char* label;
    std::string readOnly;  // relative to the trash, or "" for the file's own folder
  };
  for (const TCase& c : {TCase{"info/", "info"}, TCase{"files/", "files"}, TCase{"the file's folder", ""}}) {
    SCOPED_TRACE(c.label);
    TTestTrash trash;
    TTestDir folder;
    std::filesystem::create_directories(trash.Path() + "files");
    std::filesystem::create_directories(trash.Path() + "info");
    const std::string file = folder.WriteFile("keep.jpg", "keep");
    const std::string locked = c.readOnly.empty() ? folder.Path() : trash.Path() + c.readOnly;
    ASSERT_EQ(chmod(locked.c_str(), 0500), 0);
    EXPECT_EQ(RecycleFailure(file), "Cannot move file \"" + file + "\" to the trash. Permission denied");
    chmod(locked.c_str(), 0700);
    EXPECT_EQ(ReadWholeFile(file), "keep");
    EXPECT_TRUE(std::filesystem::is_empty(trash.Path() + "files"));
    EXPECT_TRUE(std::filesystem::is_empty(trash.Path() + "info"));
  }
}

// The move says where the file went; the newest entry of a path is found again, by its info file's
// Path= (percent-encoded), and restoring it puts the file back and removes the entry.
TEST_F(RecycleFileTest, FoundAndRestoredByTheOriginalPath) {
  const std::string file = FFiles.WriteFile("a b%.jpg", "first");
  const std::string original = RealFolder(FFiles.Path()) + "a b%.jpg";
  const TTrashedFile first = RecycleFile(file);
  EXPECT_EQ(first.Original, original);
  EXPECT_EQ(first.Trashed, FTrash.Path() + "files/a b%.jpg");
  EXPECT_EQ(first.Info, FTrash.Path() + "info/a b%.jpg.trashinfo");
  // The first entry dated a day earlier, so that the second is the newer whatever the clock does.
  const std::string firstInfo = ReadWholeFile(first.Info);
  std::ofstream(first.Info) << firstInfo.substr(0, firstInfo.find("DeletionDate="))
                            << "DeletionDate=2000-01-01T00:00:00\n";
  FFiles.WriteFile("a b%.jpg", "second");
  const TTrashedFile second = RecycleFile(file);
  EXPECT_EQ(second.Trashed, FTrash.Path() + "files/a b%.2.jpg");
  FFiles.WriteFile("other.jpg", "other");
  RecycleFile(FFiles.File("other.jpg"));

  const std::optional<TTrashedFile> newest = FindNewestTrashed(original);
  ASSERT_TRUE(newest.has_value());
  EXPECT_EQ(newest->Trashed, second.Trashed);
  EXPECT_EQ(newest->Info, second.Info);
  RestoreTrashedFile(*newest);
  EXPECT_EQ(ReadWholeFile(file), "second");
  EXPECT_EQ(Entries(FTrash.Path()),
            (std::vector<std::string>{"files", "files/a b%.jpg", "files/other.jpg", "info",
                                      "info/a b%.jpg.trashinfo", "info/other.jpg.trashinfo"}));

  // The older entry's place is taken now: it is not overwritten and stays in the trash.
  try {
    RestoreTrashedFile(*FindNewestTrashed(original));
    ADD_FAILURE() << "restored over a taken place";
  } catch (const ERestoreError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot restore file \"" + original +
                                             "\". Its place is taken again; it stays in the trash as \"" +
                                             first.Trashed + "\".");
  }
  EXPECT_EQ(ReadWholeFile(file), "second");
  EXPECT_EQ(ReadWholeFile(first.Trashed), "first");
  EXPECT_FALSE(FindNewestTrashed(RealFolder(FFiles.Path()) + "never.jpg").has_value());
}

// A file on another file system goes to the trash at the top of its mount (here tmpfs /dev/shm).
TEST_F(RecycleFileTest, OtherFileSystemUsesMountTrash) {
  struct stat shm {};
  struct stat home {};
  if (stat("/dev/shm", &shm) != 0 || stat(FFiles.Path().c_str(), &home) != 0 || shm.st_dev == home.st_dev ||
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
  const TTrashedFile moved = RecycleFile(file);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(std::filesystem::exists(trash + "files/p.jpg") || trashExisted);
  // Found again by its full path, though its info file holds it relative to the mount.
  const std::optional<TTrashedFile> lookedUp = FindNewestTrashed(file);
  ASSERT_TRUE(lookedUp.has_value());
  EXPECT_EQ(lookedUp->Trashed, moved.Trashed);
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
