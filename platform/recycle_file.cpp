// RecycleFile: moving a file into a freedesktop.org trash (the published trash layout, version 1.0),
// and RestoreTrashedFile / FindNewestTrashed: bringing it back.
//
// A trash directory holds files/NAME (the trashed entry itself) and info/NAME.trashinfo:
//   [Trash Info]
//   Path=<the entry's original path, percent-encoded>
//   DeletionDate=YYYY-MM-DDThh:mm:ss   (local time)
// The info file is created first with O_EXCL, so it reserves NAME against concurrent trashers; the
// entry is then renamed to files/NAME without replacing anything. The home trash stores absolute
// paths; a mount's own trash ($topdir/.Trash/$uid or $topdir/.Trash-$uid) stores them relative to
// $topdir. The entry only ever moves by rename(): it is never copied and never deleted.
//
// NAME is the entry's own name where it can be. A name already taken in the trash gets a counter
// before its extension (dup.jpg, dup.2.jpg, ...). A name whose info file would exceed the 255 bytes a
// file name may have (NAME over 245 bytes) is cut to fit, at a UTF-8 character boundary and keeping a
// short extension; Path= still holds the full original path, so a restore gives the full name back.
//
// A restore renames files/NAME back to the decoded Path= without replacing anything, then removes the
// info file. Looking an original path up reads every info file of the trashes it may be in and takes
// the newest DeletionDate (the text sorts as the date does); of equal dates, the later info file.
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/trash.h"

namespace velquin {

namespace {

constexpr int kMaxNameTries = 10000;
constexpr std::size_t kMaxFileName = 255;  // bytes, on the file systems a trash lives on
constexpr std::string_view kInfoSuffix = ".trashinfo";
constexpr std::size_t kMaxTrashName = kMaxFileName - kInfoSuffix.size();
// A tail after the last dot longer than this is no extension: a name cut to fit loses it with the
// rest instead of keeping it whole.
constexpr std::size_t kMaxKeptExtension = 32;

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

// Makes sure `dir` is a real folder, not a link, creating it with `mode` when missing. Returns 0 or the
// errno of the failure.
int EnsureDir(const std::string& dir, mode_t mode) {
  if (mkdir(dir.c_str(), mode) != 0 && errno != EEXIST) return errno;
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int EnsureDirs(const std::string& dir, mode_t mode) {
  std::string partial;
  for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos == dir.size() || dir[pos] == '/') {
      partial = dir.substr(0, pos);
      struct stat st {};
      if (stat(partial.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
      if (const int error = EnsureDir(partial, mode)) return error;
    }
  }
  return 0;
}

int EnsureTrashSubdirs(const std::string& trash) {
  if (const int error = EnsureDir(trash + "/files", 0700)) return error;
  return EnsureDir(trash + "/info", 0700);
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

// Finds the mount point holding the real (link-free) path `dir`: the longest mount point that is
// `dir` or one of its parents. Returns 0 or the errno of the failure.
int MountTopDir(const std::string& dir, std::string& topDir) {
  errno = 0;
  std::ifstream mounts("/proc/self/mountinfo");
  if (!mounts) return errno != 0 ? errno : EIO;
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
  if (!best) return ENOENT;
  topDir = *best;
  return 0;
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

// The first `size` bytes of `text`, or a little less, so that no UTF-8 sequence is split.
std::string Utf8Prefix(const std::string& text, std::size_t size) {
  if (size >= text.size()) return text;
  // A sequence has at most three continuation bytes; a longer run is no UTF-8 and may be cut anywhere.
  for (int back = 0; back < 3 && size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80;
       ++back) {
    --size;
  }
  return text.substr(0, size);
}

// The trash name to try at the given attempt (1, 2, ...): the entry's name with the attempt as a
// counter before the extension from the second attempt on, cut to kMaxTrashName bytes.
std::string CandidateName(const std::string& name, int attempt) {
  std::string counter;
  if (attempt > 1) counter.append(".").append(std::to_string(attempt));
  const std::size_t dot = name.rfind('.');
  std::string stem = name;
  std::string extension;
  if (dot != std::string::npos && dot != 0) {
    stem = name.substr(0, dot);
    extension = name.substr(dot);
  }
  if (stem.size() + counter.size() + extension.size() <= kMaxTrashName) return stem + counter + extension;
  if (extension.size() > kMaxKeptExtension) {
    stem = name;
    extension.clear();
  }
  return Utf8Prefix(stem, kMaxTrashName - counter.size() - extension.size()) + counter + extension;
}

// Returns 0 when `path` (real, absolute) now lies in the trash, and `moved` says where; else the errno of
// the failure.
int MoveIntoTrash(const std::string& path, const std::string& name, const TTrash& trash,
                  TTrashedFile& moved) {
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
    const std::string infoPath = trash.Dir + "/info/" + candidate + std::string(kInfoSuffix);
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
    const std::string entry = trash.Dir + "/files/" + candidate;
    const int error = RenameNoReplace(path, entry);
    if (error == 0) {
      moved = {path, entry, infoPath};
      return 0;
    }
    unlink(infoPath.c_str());
    if (error != EEXIST) return error;
  }
  return EEXIST;
}

// Makes sure `dir` is a real folder owned by us, creating it (mode 0700) when missing. Returns 0 or the
// errno of the failure.
int EnsureOwnDir(const std::string& dir) {
  if (const int error = EnsureDir(dir, 0700)) return error;
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) return errno;
  return st.st_uid == getuid() ? 0 : EPERM;
}

// Tries the trash folders at the top of the mount `topDir`: an administrator-made sticky .Trash
// (our own subfolder in it) first, else our own .Trash-$uid. Returns 0 or the errno of the last failure.
int MoveIntoTopDirTrash(const std::string& path, const std::string& name, const std::string& topDir,
                        TTrashedFile& moved) {
  const std::string base = topDir == "/" ? "" : topDir;
  const std::string uid = std::to_string(getuid());
  struct stat st {};
  const std::string shared = base + "/.Trash";
  if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
    const std::string own = shared + "/" + uid;
    if (EnsureOwnDir(own) == 0 && EnsureTrashSubdirs(own) == 0 &&
        MoveIntoTrash(path, name, {own, topDir}, moved) == 0) {
      return 0;
    }
  }
  const std::string single = base + "/.Trash-" + uid;
  if (const int error = EnsureOwnDir(single)) return error;
  if (const int error = EnsureTrashSubdirs(single)) return error;
  return MoveIntoTrash(path, name, {single, topDir}, moved);
}

// Returns 0 when the entry `path` names now lies in a trash, and `moved` says where; else the errno of
// the failure.
int Recycle(const std::string& path, TTrashedFile& moved) {
  if (path.empty()) return ENOENT;
  std::error_code absoluteError;
  std::string text = std::filesystem::absolute(path, absoluteError).lexically_normal().string();
  if (absoluteError) return absoluteError.value();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  const std::filesystem::path full = text;
  const std::string name = full.filename().string();
  if (name.empty() || name == "." || name == "..") return EINVAL;
  struct stat st {};
  if (lstat(text.c_str(), &st) != 0) return errno;
  // The folder part without links, so that the mount is found and the recorded path restores.
  char* realParent = realpath(full.parent_path().c_str(), nullptr);
  if (realParent == nullptr) return errno;
  const std::string parent = realParent;
  free(realParent);
  // Without the right to rename in its folder no trash can take the entry: create no trash folders.
  if (access(parent.c_str(), W_OK | X_OK) != 0) return errno;
  const std::string real = (parent == "/" ? "" : parent) + "/" + name;

  // The file system of the home trash keeps its files there and nowhere else.
  if (const std::optional<std::string> home = HomeTrashDir()) {
    if (DeviceOf(*home) == st.st_dev) {
      if (const int error = EnsureDirs(*home, 0700)) return error;
      if (const int error = EnsureTrashSubdirs(*home)) return error;
      // Same device but another mount (a bind mount) shows as EXDEV: then the mount's own trash.
      const int error = MoveIntoTrash(real, name, {*home, ""}, moved);
      if (error != EXDEV) return error;
    }
  }
  std::string topDir;
  if (const int error = MountTopDir(parent, topDir)) return error;
  return MoveIntoTopDirTrash(real, name, topDir, moved);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string PercentDecode(const std::string& text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      result += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      result += text[i];
    }
  }
  return result;
}

// The value of `key` in an info file's text ("" when missing).
std::string InfoValue(const std::string& info, const std::string& key) {
  const std::string prefix = "\n" + key + "=";
  const std::size_t start = ("\n" + info).find(prefix);
  if (start == std::string::npos) return "";
  const std::size_t from = start + prefix.size() - 1;
  return info.substr(from, info.find('\n', from) - from);
}

// The trash folders `original` may have gone to, each with the top folder its Path= is relative to.
std::vector<TTrash> TrashesFor(const std::string& original) {
  std::vector<TTrash> trashes;
  if (const std::optional<std::string> home = HomeTrashDir()) trashes.push_back({*home, ""});
  const std::filesystem::path parent = std::filesystem::path(original).parent_path();
  char* realParent = realpath(parent.c_str(), nullptr);
  std::string topDir;
  if (realParent != nullptr && MountTopDir(realParent, topDir) == 0) {
    const std::string base = topDir == "/" ? "" : topDir;
    const std::string uid = std::to_string(getuid());
    trashes.push_back({base + "/.Trash/" + uid, topDir});
    trashes.push_back({base + "/.Trash-" + uid, topDir});
  }
  free(realParent);
  return trashes;
}

}  // namespace

void RestoreTrashedFile(const TTrashedFile& entry) {
  struct stat st {};
  if (lstat(entry.Trashed.c_str(), &st) != 0)
    throw ERestoreError(entry.Original, "It is no longer in the trash.");
  if (const int error = RenameNoReplace(entry.Trashed, entry.Original)) {
    if (error == EEXIST) {
      throw ERestoreError(entry.Original,
                          "Its place is taken again; it stays in the trash as \"" + entry.Trashed + "\".");
    }
    throw ERestoreError(entry.Original, std::strerror(error));
  }
  unlink(entry.Info.c_str());
}

std::optional<TTrashedFile> FindNewestTrashed(const std::string& original) {
  std::optional<TTrashedFile> newest;
  std::string newestDate;
  std::filesystem::file_time_type newestWritten{};
  for (const TTrash& trash : TrashesFor(original)) {
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(trash.Dir + "/info", error)) {
      const std::string infoName = item.path().filename().string();
      if (infoName.size() <= kInfoSuffix.size() ||
          infoName.compare(infoName.size() - kInfoSuffix.size(), kInfoSuffix.size(), kInfoSuffix) != 0) {
        continue;
      }
      std::ifstream in(item.path());
      const std::string info((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      std::string path = PercentDecode(InfoValue(info, "Path"));
      if (!trash.TopDir.empty() && !path.empty() && path[0] != '/')
        path = (trash.TopDir == "/" ? "" : trash.TopDir) + "/" + path;
      if (path != original) continue;
      const std::string date = InfoValue(info, "DeletionDate");
      std::error_code timeError;
      const auto written = std::filesystem::last_write_time(item.path(), timeError);
      if (newest && (date < newestDate || (date == newestDate && written < newestWritten))) continue;
      const std::string name = infoName.substr(0, infoName.size() - kInfoSuffix.size());
      newest = TTrashedFile{original, trash.Dir + "/files/" + name, item.path().string()};
      newestDate = date;
      newestWritten = written;
    }
  }
  return newest;
}

TTrashedFile RecycleFile(const std::string& path) {
  TTrashedFile moved;
  if (const int error = Recycle(path, moved)) throw ERecycleError(path, std::strerror(error));
  return moved;
}

}  // namespace velquin
