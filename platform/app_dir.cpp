#include "platform/app_dir.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace velquin {

namespace {

std::string ConfigFolder() {
  std::string config;
  if (const char* xdg = getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    config = xdg;
  } else {
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] != '/') {
      const passwd* pw = getpwuid(getuid());
      // A user without any home still gets a folder that can be made.
      home = pw != nullptr && pw->pw_dir != nullptr ? pw->pw_dir : "/tmp";
    }
    config = std::string(home) + "/.config";
  }
  while (!config.empty() && config.back() == '/') config.pop_back();
  return config + "/velquin/";
}

}  // namespace

std::string ApplicationDirFor(const std::string& exeFolder) {
  std::error_code error;
  if (!exeFolder.empty() && std::filesystem::is_directory(exeFolder, error) &&
      access(exeFolder.c_str(), W_OK | X_OK) == 0) {
    return exeFolder;
  }
  const std::string folder = ConfigFolder();
  std::filesystem::create_directories(folder, error);
  return folder;
}

std::string ApplicationDir() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  std::string folder;
  if (!error && exe.has_parent_path()) {
    folder = exe.parent_path().string();
    if (folder.back() != '/') folder += '/';
  }
  return ApplicationDirFor(folder);
}

}  // namespace velquin
