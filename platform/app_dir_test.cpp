#include "platform/app_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/test_dir.h"

namespace velquin {
namespace {

TEST(AppDirTest, WritableExecutableFolderIsAppDir) {
  char exe[4096];
  const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(length, 0);
  const std::string folder =
      std::filesystem::path(std::string(exe, static_cast<std::size_t>(length))).parent_path().string() + "/";
  ASSERT_EQ(access(folder.c_str(), W_OK), 0) << "the build folder is writable";
  EXPECT_EQ(ApplicationDir(), folder);
}

// XDG_CONFIG_HOME points into a temporary folder for the test's lifetime.
class AppDirFallbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = getenv("XDG_CONFIG_HOME");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    setenv("XDG_CONFIG_HOME", (Dir.Path() + "config/").c_str(), 1);
  }
  void TearDown() override {
    if (hadOld_) {
      setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }
  std::string ConfigFolder() const { return Dir.Path() + "config/velquin/"; }

  TTestDir Dir;

 private:
  bool hadOld_ = false;
  std::string old_;
};

// Only a writable folder inside the build tree is AppDir; an installed program (any folder outside the
// tree, writable or not, as for root) and a tree whose name merely starts alike fall back.
TEST_F(AppDirFallbackTest, ExecutableFolderOnlyInsideTheBuildTree) {
  std::filesystem::create_directories(Dir.Path() + "build/cli");
  std::filesystem::create_directories(Dir.Path() + "build-other/cli");
  std::filesystem::create_directories(Dir.Path() + "usr/bin");
  // A build tree named through a symbolic link is the same tree.
  std::filesystem::create_directory_symlink("build", Dir.Path() + "link");
  const std::string tree = Dir.Path() + "build/";
  struct TCase {
    std::string exeFolder;
    std::string tree;
    bool beside;
  };
  for (const TCase& c : {
           TCase{Dir.Path() + "build/cli/", tree, true},
           TCase{Dir.Path() + "build/", tree, true},
           TCase{Dir.Path() + "build/cli/", Dir.Path() + "build", true},
           TCase{Dir.Path() + "build/../build/cli/", tree, true},
           TCase{Dir.Path() + "build/missing/", tree, false},
           TCase{Dir.Path() + "usr/bin/", tree, false},
           TCase{Dir.Path() + "build-other/cli/", tree, false},
           TCase{Dir.Path() + "build/../usr/bin/", tree, false},
           TCase{Dir.Path() + "build/cli/", Dir.Path() + "link/", true},
           TCase{Dir.Path() + "link/cli/", tree, true},
           TCase{Dir.Path() + "build/cli/", "", false},
           TCase{"", tree, false},
       }) {
    SCOPED_TRACE(c.exeFolder + " in " + c.tree);
    EXPECT_EQ(ApplicationDirFor(c.exeFolder, c.tree), c.beside ? c.exeFolder : ConfigFolder());
  }
  EXPECT_TRUE(std::filesystem::is_directory(ConfigFolder()));
}

}  // namespace
}  // namespace velquin
