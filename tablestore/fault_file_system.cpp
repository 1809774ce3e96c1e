#include "tablestore/fault_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace velquin::store {
namespace {

constexpr off_t kSector = 512;

// The folder of `path`, ending in '/'.
std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('/') + 1); }

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("power-loss file system: ") + what);
}

off_t SizeOf(int fd) {
  struct stat st;
  Check(::fstat(fd, &st) == 0, "fstat");
  return st.st_size;
}

std::string ReadRange(int fd, off_t from, off_t to) {
  std::string bytes(static_cast<std::size_t>(std::max<off_t>(0, to - from)), '\0');
  if (!bytes.empty()) {
    Check(::pread(fd, bytes.data(), bytes.size(), from) == static_cast<ssize_t>(bytes.size()), "pread");
  }
  return bytes;
}

void WriteRange(int fd, const char* bytes, std::size_t length, off_t offset) {
  if (length == 0) return;
  Check(::pwrite(fd, bytes, length, offset) == static_cast<ssize_t>(length), "pwrite");
}

}  // namespace

TFaultFileSystem::TFaultFileSystem(std::string keepFolder, std::uint32_t seed)
    : keepFolder_(std::move(keepFolder)), random_(seed) {}

bool TFaultFileSystem::Step() {
  if (failed_) return false;
  if (++changes_ == failAt_) {
    failed_ = true;
    throw TPowerLoss{};
  }
  return true;
}

std::string TFaultFileSystem::Keep(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return {};
  std::string kept = keepFolder_ + std::to_string(++keptFiles_);
  Check(::link(path.c_str(), kept.c_str()) == 0, "link");
  pathOf_[st.st_ino] = kept;
  return kept;
}

int TFaultFileSystem::Open(const std::string& path, int flags, mode_t mode) {
  struct stat st;
  const bool creates = (flags & O_CREAT) != 0 && ::stat(path.c_str(), &st) != 0;
  if (creates && !Step()) {
    errno = EIO;
    return -1;
  }
  int fd = ::open(path.c_str(), flags, mode);
  if (fd < 0) return fd;
  Check(::fstat(fd, &st) == 0, "fstat");
  inodeOf_[fd] = st.st_ino;
  pathOf_[st.st_ino] = path;
  if (creates) entries_.push_back({TEntryChange::TKind::kCreate, path, "", ""});
  return fd;
}

int TFaultFileSystem::Close(int fd) {
  inodeOf_.erase(fd);
  return ::close(fd);
}

ssize_t TFaultFileSystem::WriteAt(int fd, const void* buffer, std::size_t length, off_t offset) {
  if (!Step()) return static_cast<ssize_t>(length);
  TContentChange change;
  change.Offset = offset;
  change.SizeBefore = SizeOf(fd);
  change.Before =
      ReadRange(fd, offset, std::min<off_t>(change.SizeBefore, offset + static_cast<off_t>(length)));
  change.After.assign(static_cast<const char*>(buffer), length);
  ssize_t written = ::pwrite(fd, buffer, length, offset);
  // A short write is recorded as what it wrote.
  if (written >= 0) change.After.resize(static_cast<std::size_t>(written));
  if (written > 0) unsynced_[inodeOf_.at(fd)].push_back(std::move(change));
  return written;
}

int TFaultFileSystem::Truncate(int fd, off_t size) {
  if (!Step()) return 0;
  TContentChange change;
  change.Truncation = true;
  change.NewSize = size;
  change.SizeBefore = SizeOf(fd);
  change.Before = ReadRange(fd, size, change.SizeBefore);
  int result = ::ftruncate(fd, size);
  if (result == 0) unsynced_[inodeOf_.at(fd)].push_back(std::move(change));
  return result;
}

int TFaultFileSystem::SyncData(int fd) {
  if (!Step()) return 0;
  unsynced_.erase(inodeOf_.at(fd));
  return 0;
}

int TFaultFileSystem::Rename(const std::string& from, const std::string& to) {
  if (!Step()) return 0;
  struct stat st;
  if (::stat(from.c_str(), &st) != 0) return -1;
  std::string kept = Keep(to);
  if (::rename(from.c_str(), to.c_str()) != 0) return -1;
  pathOf_[st.st_ino] = to;
  entries_.push_back({TEntryChange::TKind::kRename, from, to, kept});
  return 0;
}

int TFaultFileSystem::Unlink(const std::string& path) {
  if (!Step()) return 0;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return -1;
  std::string kept = Keep(path);
  if (::unlink(path.c_str()) != 0) return -1;
  entries_.push_back({TEntryChange::TKind::kUnlink, path, "", kept});
  return 0;
}

int TFaultFileSystem::SyncFolder(const std::string& folder) {
  if (!Step()) return 0;
  std::string name = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  std::erase_if(entries_, [&](const TEntryChange& change) { return FolderOf(change.Path) == name; });
  return 0;
}

bool TFaultFileSystem::Durable(const std::string& path) const {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  auto unsynced = unsynced_.find(st.st_ino);
  if (unsynced != unsynced_.end() && !unsynced->second.empty()) return false;
  return std::none_of(entries_.begin(), entries_.end(), [&](const TEntryChange& change) {
    return change.Path == path || change.Target == path;
  });
}

void TFaultFileSystem::LoseContents(const std::string& path, const std::vector<TContentChange>& changes) {
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  Check(fd >= 0, "open");
  // Back to the contents of the last sync...
  for (auto change = changes.rbegin(); change != changes.rend(); ++change) {
    if (change->Truncation) {
      Check(::ftruncate(fd, change->SizeBefore) == 0, "ftruncate");
      WriteRange(fd, change->Before.data(), change->Before.size(), change->NewSize);
    } else {
      WriteRange(fd, change->Before.data(), change->Before.size(), change->Offset);
      Check(::ftruncate(fd, change->SizeBefore) == 0, "ftruncate");
    }
  }
  // ...then forward again, keeping each sector of each change with one chance for this file.
  std::bernoulli_distribution kept(std::uniform_real_distribution<double>(0, 1)(random_));
  for (const TContentChange& change : changes) {
    if (change.Truncation) {
      if (kept(random_)) Check(::ftruncate(fd, change.NewSize) == 0, "ftruncate");
      continue;
    }
    const off_t end = change.Offset + static_cast<off_t>(change.After.size());
    for (off_t from = change.Offset; from < end;) {
      const off_t to = std::min(end, (from / kSector + 1) * kSector);
      if (kept(random_)) {
        WriteRange(fd, change.After.data() + (from - change.Offset), static_cast<std::size_t>(to - from),
                   from);
      }
      from = to;
    }
  }
  ::close(fd);
}

void TFaultFileSystem::PowerLoss() {
  for (const auto& [inode, changes] : unsynced_) {
    if (!changes.empty()) LoseContents(pathOf_.at(inode), changes);
  }
  const std::size_t durable = std::uniform_int_distribution<std::size_t>(0, entries_.size())(random_);
  for (std::size_t i = entries_.size(); i-- > durable;) {
    const TEntryChange& change = entries_[i];
    switch (change.Kind) {
      case TEntryChange::TKind::kCreate:
        Check(::unlink(change.Path.c_str()) == 0, "unlink");
        break;
      case TEntryChange::TKind::kRename:
        Check(::rename(change.Target.c_str(), change.Path.c_str()) == 0, "rename back");
        if (!change.Kept.empty()) Check(::rename(change.Kept.c_str(), change.Target.c_str()) == 0, "restore");
        break;
      case TEntryChange::TKind::kUnlink:
        Check(::rename(change.Kept.c_str(), change.Path.c_str()) == 0, "restore");
        break;
    }
  }
  unsynced_.clear();
  entries_.clear();
  pathOf_.clear();
  failed_ = false;
  failAt_ = 0;
}

}  // namespace velquin::store
