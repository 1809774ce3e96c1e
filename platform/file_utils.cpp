#include "platform/file_utils.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/date_time.h"

extern char** environ;

namespace velquin {

namespace {

// A file time as a date-time in local time, to the even second: stored dates have always had that
// granularity, so tables written before compare equal to the same file now. 0 when the year lies
// outside what a date-time holds (1..9999).
double FileDateTime(time_t time) {
  std::tm tm{};
  if (localtime_r(&time, &tm) == nullptr) return 0;
  const long year = tm.tm_year + 1900L;
  if (year < 1 || year > 9999) return 0;
  tm.tm_sec = (tm.tm_sec > 59 ? 59 : tm.tm_sec) & ~1;
  return TmToDateTime(tm);
}

struct TDirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

std::int32_t GetFileSize(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
  return st.st_size > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(st.st_size);
}

double GetFileDate(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return 0;
  return FileDateTime(st.st_mtim.tv_sec);
}

namespace {
TFileStamp StampOf(const struct stat& st) {
  TFileStamp stamp;
  stamp.Device = static_cast<std::uint64_t>(st.st_dev);
  stamp.Inode = static_cast<std::uint64_t>(st.st_ino);
  stamp.Size = static_cast<std::int64_t>(st.st_size);
  stamp.ModifiedSeconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  stamp.ModifiedNanoseconds = static_cast<std::int32_t>(st.st_mtim.tv_nsec);
  return stamp;
}
}  // namespace

bool FileStampOf(int fd, TFileStamp& stamp) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return false;
  stamp = StampOf(st);
  return true;
}

bool FileStampAt(const std::string& path, TFileStamp& stamp) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0) return false;
  stamp = StampOf(st);
  return true;
}

double StampDate(const TFileStamp& stamp) { return FileDateTime(static_cast<time_t>(stamp.ModifiedSeconds)); }

bool FileExists(const std::string& path) {
  struct stat st {};
  if (path.empty() || stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return FileDateTime(st.st_mtim.tv_sec) != 0;
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFileDirectlyIn(std::string_view file, std::string_view folder) {
  if (folder.empty() || folder.back() != '/' || !file.starts_with(folder)) return false;
  const std::string_view name = file.substr(folder.size());
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

bool IsFolderBelow(std::string_view path, std::string_view folder) {
  if (folder.empty() || folder.back() != '/' || path.size() <= folder.size() || !path.starts_with(folder) ||
      path.back() != '/')
    return false;
  std::string_view rest = path.substr(folder.size());
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view name = rest.substr(0, slash);
    if (name.empty() || name == "." || name == "..") return false;
    rest.remove_prefix(slash + 1);
  }
  return true;
}

bool IsFileWithin(std::string_view file, std::string_view folder, bool below) {
  if (IsFileDirectlyIn(file, folder)) return true;
  if (!below) return false;
  const std::size_t slash = file.rfind('/');
  return slash != std::string_view::npos && IsFolderBelow(file.substr(0, slash + 1), folder) &&
         IsFileDirectlyIn(file, file.substr(0, slash + 1));
}

bool AreSameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

bool ForEachFolderEntry(const std::string& folder,
                        const std::function<void(const std::string& name, bool isDirectory)>& visit) {
  std::unique_ptr<DIR, TDirCloser> dir(opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return false;
  const int dirFd = dirfd(dir.get());
  std::string name;
  while (const dirent* entry = readdir(dir.get())) {
    const char* n = entry->d_name;
    if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
    bool isDirectory = entry->d_type == DT_DIR;
    // Only links and file systems that do not report the kind cost a stat.
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat st {};
      isDirectory = fstatat(dirFd, n, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    name.assign(n);
    visit(name, isDirectory);
  }
  return true;
}

void ShellOpen(const std::string& path) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return;
  }
  // Its own session and no shared terminal: the opened program outlives us and never reads our input.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string program = "xdg-open";
  std::string argument = path;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  const int result = posix_spawnp(&pid, "xdg-open", &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) return;
  // The child is reaped off the caller's thread, so it neither blocks the caller nor stays a zombie.
  try {
    std::thread([pid] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the child stays a zombie until we exit, which costs only a process slot.
  }
}

}  // namespace velquin
