#include "tablestore/physical_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "tablestore/durability.h"
#include "tablestore/file_system.h"
#include "tablestore/store_error_codes.h"

namespace velquin::store {

TPhysicalFile::~TPhysicalFile() { Close(); }

void TPhysicalFile::Open(const std::string& path, TMode mode, const std::string& table) {
  Close();
  table_ = table;
  int flags = O_CLOEXEC;
  if (mode == TMode::kReadOnly) {
    flags |= O_RDONLY;
  } else {
    flags |= O_RDWR;
    if (mode == TMode::kCreate) flags |= O_CREAT | O_EXCL;
  }
  int fd = TFileSystem::Current().Open(path, flags, 0644);
  if (fd < 0) {
    if (mode == TMode::kCreate && errno == EEXIST) throw StoreError(kErrTableExists, {table});
    throw OsError(errno, table, mode == TMode::kCreate ? TFileOp::kCreating : TFileOp::kOpening, path);
  }
  if (::flock(fd, (mode == TMode::kReadOnly ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    int error = errno;
    TFileSystem::Current().Close(fd);
    if (error == EWOULDBLOCK) throw ETableLocked(StoreError(kErrAccessDenied, {table}));
    throw OsError(error, table, TFileOp::kLocking, path);
  }
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    int error = errno;
    TFileSystem::Current().Close(fd);
    throw OsError(error, table, TFileOp::kOpening, path);
  }
  fd_ = fd;
  writable_ = mode != TMode::kReadOnly;
  size_ = static_cast<std::uint64_t>(st.st_size);
  path_ = path;
}

void TPhysicalFile::Close() {
  if (fd_ >= 0) TFileSystem::Current().Close(fd_);
  fd_ = -1;
  writable_ = false;
  size_ = 0;
}

void TPhysicalFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const {
  if (fd_ < 0) throw OsError(EBADF, table_);
  if (offset > size_ || length > size_ - offset) throw StoreError(kErrDamaged, {table_});
  auto* out = static_cast<char*>(buffer);
  while (length > 0) {
    ssize_t n = ::pread(fd_, out, length, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw OsError(errno, table_, TFileOp::kReading, path_);
    if (n == 0) throw StoreError(kErrDamaged, {table_});
    out += n;
    offset += static_cast<std::uint64_t>(n);
    length -= static_cast<std::size_t>(n);
  }
}

void TPhysicalFile::WriteAt(std::uint64_t offset, const void* buffer, std::size_t length) {
  if (fd_ < 0) throw OsError(EBADF, table_);
  if (!writable_) throw StoreError(kErrAccessDenied, {table_});
  const auto* in = static_cast<const char*>(buffer);
  std::uint64_t end = offset + length;
  while (length > 0) {
    ssize_t n = TFileSystem::Current().WriteAt(fd_, in, length, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw OsError(errno, table_, TFileOp::kWriting, path_);
    in += n;
    offset += static_cast<std::uint64_t>(n);
    length -= static_cast<std::size_t>(n);
  }
  if (end > size_) size_ = end;
}

void TPhysicalFile::Truncate(std::uint64_t size) {
  if (fd_ < 0) throw OsError(EBADF, table_);
  if (!writable_) throw StoreError(kErrAccessDenied, {table_});
  if (TFileSystem::Current().Truncate(fd_, static_cast<off_t>(size)) != 0)
    throw OsError(errno, table_, TFileOp::kWriting, path_);
  size_ = size;
}

void TPhysicalFile::Sync() {
  if (fd_ < 0) throw OsError(EBADF, table_);
  if (!writable_ || !SyncPolicy().Enabled) return;
  if (TFileSystem::Current().SyncData(fd_) != 0) throw OsError(errno, table_, TFileOp::kSyncing, path_);
}

std::uint64_t TPhysicalFile::DataFrom(std::uint64_t offset) const {
  if (fd_ < 0 || offset >= size_) return offset;
  const off_t data = ::lseek(fd_, static_cast<off_t>(offset), SEEK_DATA);
  if (data >= 0) return std::min<std::uint64_t>(static_cast<std::uint64_t>(data), size_);
  return errno == ENXIO ? size_ : offset;
}

}  // namespace velquin::store
