// RecycleFile: moving a file into a freedesktop.org trash (the published trash layout, version 1.0).
//
// A trash directory holds files/NAME (the trashed entry itself) and info/NAME.trashinfo:
//   [Trash Info]
//   Path=<the entry's original path, percent-encoded>
//   DeletionDate=YYYY-MM-DDThh:mm:ss   (local time)
// The info file is created first with O_EXCL, so it reserves NAME against concurrent trashers; the
// entry is then renamed to files/NAME without replacing anything. The home trash stores absolute
// paths; a mount's own trash ($topdir/.Trash/$uid or $topdir/.Trash-$uid) stores them relative to
// $topdir. The entry only ever moves by rename(): it is never copied and never deleted.
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/file_utils.h"

namespace velquin {

namespace {

constexpr int kMaxNameTries = 10000;

struct TTrash {
  std::string Dir;     // ends without '/'
  std::string TopDir;  // empty for the home trash (absolute Path=), else the mount's top folder
};

std::string PercentEncode(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string result;
  for (unsigned char c : path) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~' || c == '/') {
      result += static_cast<char>(c);
    } else {
      result += '%';
      result += kHex[c >> 4];
      result += kHex[c & 15];
    }
  }
  return result;
}

std::string DeletionDate() {
  const time_t now = time(nullptr);
  std::tm tm{};
  char text[32] = "";
  if (localtime_r(&now, &tm) != nullptr) strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
  return text;
}

// Returns true iff `dir` is (now) a real folder, not a link; creates it with `mode` when missing.
bool EnsureDir(const std::string& dir, mode_t mode) {
  if (mkdir(dir.c_str(), mode) != 0 && errno != EEXIST) return false;
  struct stat st {};
  return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EnsureDirs(const std::string& dir, mode_t mode) {
  std::string partial;
  for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos == dir.size() || dir[pos] == '/') {
      partial = dir.substr(0, pos);
      struct stat st {};
      if (stat(partial.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
      if (!EnsureDir(partial, mode)) return false;
    }
  }
  return true;
}

bool EnsureTrashSubdirs(const std::string& trash) {
  return EnsureDir(trash + "/files", 0700) && EnsureDir(trash + "/info", 0700);
}

// The home trash folder; it may not exist yet.
std::optional<std::string> HomeTrashDir() {
  std::string dataHome;
  if (const char* xdg = getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
    dataHome = xdg;
  } else {
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] != '/') {
      const passwd* pw = getpwuid(getuid());
      if (pw == nullptr || pw->pw_dir == nullptr || pw->pw_dir[0] != '/') return std::nullopt;
      home = pw->pw_dir;
    }
    dataHome = std::string(home) + "/.local/share";
  }
  while (dataHome.size() > 1 && dataHome.back() == '/') dataHome.pop_back();
  return dataHome + "/Trash";
}

// The device of `path` or, where it does not exist yet, of its nearest existing parent.
std::optional<dev_t> DeviceOf(std::filesystem::path path) {
  for (;;) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return st.st_dev;
    if (!path.has_relative_path()) return std::nullopt;
    path = path.parent_path();
  }
}

// Undoes the octal escapes (\040 for a blank) of a mount point in /proc/self/mountinfo.
std::string UnescapeMountPoint(const std::string& text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      const std::string digits = text.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        result += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    result += text[i];
  }
  return result;
}

// The mount point holding the real (link-free) path `dir`: the longest mount point that is `dir`
// or one of its parents.
std::optional<std::string> MountTopDir(const std::string& dir) {
  std::ifstream mounts("/proc/self/mountinfo");
  if (!mounts) return std::nullopt;
  std::string line;
  std::optional<std::string> best;
  while (std::getline(mounts, line)) {
    // Fields: mount ID, parent ID, major:minor, root, mount point, ...
    std::size_t start = 0;
    for (int field = 0; field < 4 && start != std::string::npos; ++field) {
      start = line.find(' ', start);
      if (start != std::string::npos) ++start;
    }
    if (start == std::string::npos) continue;
    const std::size_t end = line.find(' ', start);
    const std::string mountPoint = UnescapeMountPoint(line.substr(start, end - start));
    const bool contains =
        mountPoint == "/" || dir == mountPoint ||
        (dir.compare(0, mountPoint.size(), mountPoint) == 0 && dir[mountPoint.size()] == '/');
    if (contains && (!best || mountPoint.size() >= best->size())) best = mountPoint;
  }
  return best;
}

// Renames without replacing an existing entry; returns 0 or the errno.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without RENAME_NOREPLACE: the reserved info file makes this check good enough.
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0) return EEXIST;
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string CandidateName(const std::string& name, int attempt) {
  if (attempt == 1) return name;
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name + "." + std::to_string(attempt);
  return name.substr(0, dot) + "." + std::to_string(attempt) + name.substr(dot);
}

// Returns 0 when `path` (real, absolute) now lies in the trash, else the errno of the failure.
int MoveIntoTrash(const std::string& path, const std::string& name, const TTrash& trash) {
  std::string recorded = path;
  if (trash.TopDir == "/") {
    recorded = path.substr(1);
  } else if (!trash.TopDir.empty()) {
    recorded = path.substr(trash.TopDir.size() + 1);
  }
  const std::string info =
      "[Trash Info]\nPath=" + PercentEncode(recorded) + "\nDeletionDate=" + DeletionDate() + "\n";
  for (int attempt = 1; attempt <= kMaxNameTries; ++attempt) {
    const std::string candidate = CandidateName(name, attempt);
    const std::string infoPath = trash.Dir + "/info/" + candidate + ".trashinfo";
    const int fd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return errno;
    }
    const bool written = WriteAll(fd, info);
    if (close(fd) != 0 || !written) {
      unlink(infoPath.c_str());
      return EIO;
    }
    const int error = RenameNoReplace(path, trash.Dir + "/files/" + candidate);
    if (error == 0) return 0;
    unlink(infoPath.c_str());
    if (error != EEXIST) return error;
  }
  return EEXIST;
}

// Returns true iff `dir` is a real folder owned by us, creating it (mode 0700) when missing.
bool EnsureOwnDir(const std::string& dir) {
  struct stat st {};
  return EnsureDir(dir, 0700) && lstat(dir.c_str(), &st) == 0 && st.st_uid == getuid();
}

// Tries the trash folders at the top of the mount `topDir`: an administrator-made sticky .Trash
// (our own subfolder in it) first, else our own .Trash-$uid.
bool MoveIntoTopDirTrash(const std::string& path, const std::string& name, const std::string& topDir) {
  const std::string base = topDir == "/" ? "" : topDir;
  const std::string uid = std::to_string(getuid());
  struct stat st {};
  const std::string shared = base + "/.Trash";
  if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
    const std::string own = shared + "/" + uid;
    if (EnsureOwnDir(own) && EnsureTrashSubdirs(own) && MoveIntoTrash(path, name, {own, topDir}) == 0) {
      return true;
    }
  }
  const std::string single = base + "/.Trash-" + uid;
  return EnsureOwnDir(single) && EnsureTrashSubdirs(single) &&
         MoveIntoTrash(path, name, {single, topDir}) == 0;
}

void Recycle(const std::string& path) {
  if (path.empty()) return;
  std::string text = std::filesystem::absolute(path).lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  const std::filesystem::path full = text;
  const std::string name = full.filename().string();
  if (name.empty() || name == "." || name == "..") return;
  struct stat st {};
  if (lstat(text.c_str(), &st) != 0) return;
  // The folder part without links, so that the mount is found and the recorded path restores.
  char* realParent = realpath(full.parent_path().c_str(), nullptr);
  if (realParent == nullptr) return;
  const std::string parent = realParent;
  free(realParent);
  // Without the right to rename in its folder no trash can take the entry: create no trash folders.
  if (access(parent.c_str(), W_OK | X_OK) != 0) return;
  const std::string real = (parent == "/" ? "" : parent) + "/" + name;

  // The file system of the home trash keeps its files there and nowhere else.
  if (const std::optional<std::string> home = HomeTrashDir()) {
    if (DeviceOf(*home) == st.st_dev) {
      if (!EnsureDirs(*home, 0700) || !EnsureTrashSubdirs(*home)) return;
      // Same device but another mount (a bind mount) shows as EXDEV: then the mount's own trash.
      if (MoveIntoTrash(real, name, {*home, ""}) != EXDEV) return;
    }
  }
  if (const std::optional<std::string> topDir = MountTopDir(parent)) MoveIntoTopDirTrash(real, name, *topDir);
}

}  // namespace

void RecycleFile(const std::string& path) {
  try {
    Recycle(path);
  } catch (...) {
    // The caller goes on whether or not the file reached the trash.
  }
}

}  // namespace velquin
