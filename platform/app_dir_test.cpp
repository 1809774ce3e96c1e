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

// The fallback is taken where the executable's folder cannot be written (here: it does not exist).
TEST(AppDirTest, UnusableFolderFallsBackToConfigFolder) {
  TTestDir dir;
  const char* old = getenv("XDG_CONFIG_HOME");
  const std::string saved = old != nullptr ? old : "";
  setenv("XDG_CONFIG_HOME", (dir.Path() + "config/").c_str(), 1);
  const std::string appDir = ApplicationDirFor(dir.Path() + "missing/");
  const std::string writable = ApplicationDirFor(dir.Path());
  if (old != nullptr) {
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  EXPECT_EQ(appDir, dir.Path() + "config/velquin/");
  EXPECT_TRUE(std::filesystem::is_directory(appDir));
  EXPECT_EQ(writable, dir.Path());
}

}  // namespace
}  // namespace velquin
