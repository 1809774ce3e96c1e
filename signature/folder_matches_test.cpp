#include "signature/folder_matches.h"

#include <string>

#include "gtest/gtest.h"

namespace velquin {
namespace {

TEST(FolderMatchesTest, IsFileDirectlyIn) {
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
      {"/p/a.jpg", "/p", false},  // a folder text without its '/' names no Folder
      {"/p/a.jpg", "", false},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(IsFileDirectlyIn(c.file, c.folder), c.in) << c.file << " in " << c.folder;
  }
}

}  // namespace
}  // namespace velquin
