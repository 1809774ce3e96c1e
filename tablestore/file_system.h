// TFileSystem: every change the store makes to its files and folders goes through one object, so
// that a test can stand in for the operating system and lose, as a power loss would, whatever was
// not yet synced. Reads go to the operating system directly: what a process reads is what the
// changes made so far left, however much of it a power loss would keep.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace velquin::store {

class TFileSystem {
 public:
  virtual ~TFileSystem() = default;

  // Each returns what its POSIX namesake returns and sets errno as it does.
  virtual int Open(const std::string& path, int flags, mode_t mode) = 0;  // open
  virtual int Close(int fd) = 0;
  virtual ssize_t WriteAt(int fd, const void* buffer, std::size_t length, off_t offset) = 0;  // pwrite
  virtual int Truncate(int fd, off_t size) = 0;                                               // ftruncate
  virtual int SyncData(int fd) = 0;                                                           // fdatasync
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  virtual int Unlink(const std::string& path) = 0;
  // Makes the creations, renames and deletions of entries of `folder` durable (an fsync of it).
  virtual int SyncFolder(const std::string& folder) = 0;

  // The file system the store uses: the operating system's unless a test installed another.
  static TFileSystem& Current();
  // Installs `fileSystem` for every later call of the store; nullptr restores the operating
  // system's. The caller keeps `fileSystem` alive until it is replaced.
  static void Install(TFileSystem* fileSystem);
};

}  // namespace velquin::store
