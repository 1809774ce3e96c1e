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

// `path` with its symbolic links resolved (as /proc/self/exe has them), made normal and ended by '/'.
std::string NormalFolder(const std::string& path) {
  std::error_code error;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
  if (error) resolved = path;
  std::string folder = resolved.lexically_normal().string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// True when the absolute `folder` is the absolute `tree` or lies below it.
bool IsInside(const std::string& folder, const std::string& tree) {
  return !folder.empty() && !tree.empty() && NormalFolder(folder).starts_with(NormalFolder(tree));
}

}  // namespace

std::string ApplicationDirFor(const std::string& exeFolder, const std::string& buildTree) {
  std::error_code error;
  if (IsInside(exeFolder, buildTree) && std::filesystem::is_directory(exeFolder, error) &&
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
  return ApplicationDirFor(folder, VELQUIN_BUILD_TREE);
}

}  // namespace velquin
