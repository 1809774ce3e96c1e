#include "scan/folder_walk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/test_dir.h"

namespace velquin {
namespace {

class FolderWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"sub", "sub/deeper", "odd.jpg"})
      ASSERT_EQ(mkdir(dir_.File(folder).c_str(), 0755), 0);
    for (const char* file :
         {"a.jpg", "b.png", "notes.txt", "sub/c.GIF", "sub/deeper/d.bmp", "odd.jpg/e.jpeg"})
      dir_.WriteFile(file);
    ASSERT_EQ(symlink("sub", dir_.File("link-to-sub").c_str()), 0);
  }
  std::vector<std::string> List(bool subfolders, TPictureFormats formats) {
    std::vector<std::string> files = ListPictureFiles(
        dir_.Path(), {subfolders, formats},
        [](const std::string& folder, const std::string&) { ADD_FAILURE() << "unreadable: " << folder; });
    for (std::string& file : files) file.erase(0, dir_.Path().size());
    return files;
  }
  TTestDir dir_;
};

TEST_F(FolderWalkTest, TheFolderFirstThenTheFoldersBelowWithoutLinks) {
  // A folder named like a picture is listed as the scan always listed it, and walked as a folder.
  std::vector<std::string> flat = List(false, TPictureFormats::kClassic);
  std::sort(flat.begin(), flat.end());
  EXPECT_EQ(flat, (std::vector<std::string>{"a.jpg", "odd.jpg"}));

  const std::vector<std::string> tree = List(true, TPictureFormats::kAll);
  ASSERT_EQ(tree.size(), 6u);
  std::vector<std::string> own(tree.begin(), tree.begin() + 3);
  std::sort(own.begin(), own.end());
  EXPECT_EQ(own, (std::vector<std::string>{"a.jpg", "b.png", "odd.jpg"}));
  std::vector<std::string> below(tree.begin() + 3, tree.end());
  std::sort(below.begin(), below.end());
  EXPECT_EQ(below, (std::vector<std::string>{"odd.jpg/e.jpeg", "sub/c.GIF", "sub/deeper/d.bmp"}));
  // Depth first: a folder's files before those of the folders below it.
  const auto at = [&](const std::string& file) {
    return std::find(tree.begin(), tree.end(), file) - tree.begin();
  };
  EXPECT_LT(at("sub/c.GIF"), at("sub/deeper/d.bmp"));
}

}  // namespace
}  // namespace velquin
