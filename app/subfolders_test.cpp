// The Subfolders option: a scan of the whole tree below the Folder, pairs across it, and the rows of
// the folders below dropped again by a scan without it.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "app/test_support.h"
#include "platform/file_utils.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

constexpr std::uint32_t Gray(std::uint32_t v) { return v << 16 | v << 8 | v; }

class SubfoldersTest : public FormTest {
 protected:
  void SetUp() override {
    Form.SetNormalizeCB(false);  // solid pictures keep distinct signatures
    Form.SetIncrMatchCB(false);
    Form.SetForceCB(false);
    Form.SetSubfoldersCB(true);
    ChooseFolder();
  }
  // Writes an 8 x 8 picture of one colour at `name` below the Folder, making its folders.
  std::string Picture(const std::string& name, std::uint32_t rgb) {
    const std::string path = Pictures.Path() + name;
    for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
      mkdir((Pictures.Path() + name.substr(0, slash)).c_str(), 0755);
    WriteBmp(path, 8, 8, rgb);
    return path;
  }
  // FilePath + FileName of every Sigs row, sorted.
  std::vector<std::string> SigsFiles() {
    std::vector<std::string> files;
    for (Form.SigsTable.First(); !Form.SigsTable.Eof(); Form.SigsTable.Next())
      files.push_back(Form.SigsTable.FieldAsString("FilePath") + Form.SigsTable.FieldAsString("FileName"));
    std::sort(files.begin(), files.end());
    return files;
  }
  // The two files of every Matches row, in name order, as "first|second", sorted.
  std::vector<std::string> PairedFiles() {
    std::vector<std::string> pairs;
    for (Form.MatchesTable.First(); !Form.MatchesTable.Eof(); Form.MatchesTable.Next()) {
      std::string one = Form.MatchesTable.FieldAsString("File1");
      std::string two = Form.MatchesTable.FieldAsString("File2");
      if (two < one) std::swap(one, two);
      pairs.push_back(one + "|" + two);
    }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
  }
};

TEST_F(SubfoldersTest, PairsAcrossTheTreeUntilAScanWithoutSubfolders) {
  const std::string a = Picture("a.bmp", Gray(10));
  const std::string b = Picture("sub/b.bmp", Gray(10));
  const std::string c = Picture("sub/deeper/c.bmp", Gray(200));
  const std::string d = Picture("other/d.bmp", Gray(200));
  // Another folder's tables below the Folder are files like any other: never read, never touched.
  const std::string table = Pictures.Path() + "sub/Sigs.Dat";
  WriteBmp(table, 2, 2, Gray(0));
  EXPECT_EQ(Scan().rfind("4 records added; 0 records edited in ", 0), 0u);
  EXPECT_EQ(SigsFiles(), (std::vector<std::string>{a, d, b, c}));
  Form.SigsTable.First();
  EXPECT_EQ(Form.SigsTable.FieldAsString("FilePath"), Pictures.Path()) << "each row names its own folder";
  EXPECT_EQ(Form.lSigsDB(), "Signatures DB (4/4)");
  EXPECT_TRUE(FileExists(table));

  MatchPass();
  EXPECT_EQ(PairedFiles(), (std::vector<std::string>{a + "|" + b, d + "|" + c}));
  // The pairs below the Folder survive a change of folder and back.
  Form.SetDirEditText("");
  ChooseFolder();
  EXPECT_EQ(MatchRows().size(), 2u);

  // The pair display shows the first pair; its right file, below the Folder, goes to the trash with its
  // rows.
  Form.MatchesTable.First();
  const std::string right = Form.MatchesTable.FieldAsString("File2");
  ASSERT_EQ(right, b);
  Form.rDeleteButtonClick();
  EXPECT_EQ(Desktop.Recycled, std::vector<std::string>{right});
  EXPECT_EQ(SigsFiles().size(), 3u);
  EXPECT_EQ(MatchRows().size(), 1u);

  Form.SetSubfoldersCB(false);
  Scan();
  EXPECT_EQ(SigsFiles(), std::vector<std::string>{a});
  EXPECT_EQ(Form.lSigsDB(), "Signatures DB (1/1)");
  EXPECT_TRUE(MatchRows().empty());
  EXPECT_TRUE(Desktop.Errors.empty());
}

TEST_F(SubfoldersTest, LinksToFoldersAreNotFollowedAndTwoNamesOfOneFileAreNoPair) {
  const std::string a = Picture("a.bmp", Gray(10));
  const std::string b = Picture("sub/b.bmp", Gray(120));
  const std::string copy = Picture("sub/copy.bmp", Gray(10));
  const std::string linked = Pictures.Path() + "sub/link.bmp";
  const std::string alias = Pictures.Path() + "alias.bmp";
  const std::string hard = Pictures.Path() + "hard.bmp";
  ASSERT_EQ(symlink("sub", (Pictures.Path() + "link-to-sub").c_str()), 0);
  ASSERT_EQ(symlink(a.c_str(), linked.c_str()), 0);
  ASSERT_EQ(symlink("a.bmp", alias.c_str()), 0);
  ASSERT_EQ(link(b.c_str(), hard.c_str()), 0);
  Scan();
  EXPECT_EQ(SigsFiles(), (std::vector<std::string>{a, alias, hard, b, copy, linked}));
  MatchPass();
  // Only the true copy pairs: with a, and with the two links that name a.
  EXPECT_EQ(PairedFiles(),
            (std::vector<std::string>{a + "|" + copy, alias + "|" + copy, copy + "|" + linked}));

  // Without Subfolders two names in the Folder pair as they always did.
  Form.SetSubfoldersCB(false);
  Scan();
  MatchPass();
  EXPECT_EQ(PairedFiles(), std::vector<std::string>{a + "|" + alias});
}

// Makes `depth` nested folders of 250-character names below `folder`, through descriptors so that no
// path grows beyond what the system takes; returns the names' path below `folder`.
std::string MakeDeepFolders(const std::string& folder, int depth) {
  const std::string name(250, 'd');
  std::string below;
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < depth && fd >= 0; ++i) {
    mkdirat(fd, name.c_str(), 0755);
    const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
    below += name + "/";
  }
  if (fd >= 0) close(fd);
  return below;
}

// Removes what MakeDeepFolders made, deepest first.
void RemoveDeepFolders(const std::string& folder, int depth) {
  const std::string name(250, 'd');
  for (int level = depth; level > 0; --level) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 1; i < level && fd >= 0; ++i) {
      const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
      close(fd);
      fd = next;
    }
    if (fd < 0) return;
    unlinkat(fd, name.c_str(), AT_REMOVEDIR);
    close(fd);
  }
}

TEST_F(SubfoldersTest, AFolderThatCannotBeListedIsReportedOnceAndTheScanGoesOn) {
  // Folders nested deeper than a path can name cannot be listed, whoever runs the test.
  constexpr int kDepth = PATH_MAX / 251 + 1;
  const std::string deep = MakeDeepFolders(Pictures.Path(), kDepth);
  struct TCleanUp {
    std::string folder;
    ~TCleanUp() { RemoveDeepFolders(folder, kDepth); }
  } cleanUp{Pictures.Path()};
  const std::string a = Picture("a.bmp", Gray(10));
  const std::string z = Picture("z/z.bmp", Gray(200));
  EXPECT_EQ(Scan().rfind("2 records added; 0 records edited in ", 0), 0u);
  EXPECT_EQ(SigsFiles(), (std::vector<std::string>{a, z}));
  ASSERT_EQ(Form.Problems().size(), 1u);
  const std::string& problem = Form.Problems()[0];
  EXPECT_EQ(problem.rfind("Unable to process \"" + Pictures.Path() + std::string(250, 'd') + "/", 0), 0u)
      << problem;
  EXPECT_NE(problem.find("\": File name too long"), std::string::npos) << problem;
  EXPECT_EQ(Form.Memo1().front().rfind("Unable to process \"", 0), 0u);
}

TEST_F(SubfoldersTest, AFolderMountedBelowItselfIsWalkedOnce) {
  const std::string a = Picture("a.bmp", Gray(10));
  const std::string loop = Pictures.Path() + "sub/loop";
  Picture("sub/b.bmp", Gray(120));
  ASSERT_EQ(mkdir(loop.c_str(), 0755), 0);
  if (mount(Pictures.Path().c_str(), loop.c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "bind mounts are not allowed here: " << std::strerror(errno);
  struct TUnmount {
    std::string at;
    ~TUnmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmount{loop};
  EXPECT_EQ(Scan().rfind("2 records added; 0 records edited in ", 0), 0u);
  EXPECT_EQ(SigsFiles(), (std::vector<std::string>{a, Pictures.Path() + "sub/b.bmp"}));
  EXPECT_TRUE(Form.Problems().empty());
}

}  // namespace
}  // namespace velquin
