#include "platform/test_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace velquin {

TTestDir::TTestDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velquin-platform-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  FPath = pattern + "/";
}

TTestDir::~TTestDir() {
  std::error_code error;
  std::filesystem::remove_all(FPath, error);
}

std::string TTestDir::WriteFile(const std::string& name, const std::string& content) const {
  const std::string path = FPath + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  EXPECT_TRUE(out.good()) << path;
  return path;
}

TTestTrash::TTestTrash() {
  if (const char* old = getenv("XDG_DATA_HOME")) {
    FHadDataHome = true;
    FSavedDataHome = old;
  }
  setenv("XDG_DATA_HOME", FDataHome.Path().c_str(), 1);
}

TTestTrash::~TTestTrash() {
  if (FHadDataHome) {
    setenv("XDG_DATA_HOME", FSavedDataHome.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace velquin
