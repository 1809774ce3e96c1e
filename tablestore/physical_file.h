// TPhysicalFile: one operating-system file of a table, held under an flock for its whole life.
// Every change goes through TFileSystem::Current().
#pragma once

#include <cstdint>
#include <string>

namespace velquin::store {

class TPhysicalFile {
 public:
  enum class TMode { kReadOnly, kReadWrite, kCreate };

  TPhysicalFile() = default;
  ~TPhysicalFile();
  TPhysicalFile(const TPhysicalFile&) = delete;
  TPhysicalFile& operator=(const TPhysicalFile&) = delete;

  // Opens `path`; a writable open holds an exclusive lock, a read-only open a shared one, so a
  // writer keeps every other open out. kCreate fails when the file exists. Errors are store
  // errors naming `table`.
  void Open(const std::string& path, TMode mode, const std::string& table);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  int Handle() const { return fd_; }
  bool Writable() const { return writable_; }
  const std::string& Path() const { return path_; }

  std::uint64_t Size() const { return size_; }
  // Reads exactly `length` bytes at `offset`. REQUIRES: offset + length <= Size().
  void ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const;
  // Writes through to the operating system before returning.
  void WriteAt(std::uint64_t offset, const void* buffer, std::size_t length);
  void Truncate(std::uint64_t size);
  // Makes every change so far durable (fdatasync), unless sync points are switched off.
  void Sync();
  // The first offset at or after `offset` that may hold data: past a hole of a sparse file,
  // Size() when only a hole follows, `offset` itself when the file system cannot tell.
  std::uint64_t DataFrom(std::uint64_t offset) const;

 private:
  int fd_ = -1;
  bool writable_ = false;
  std::uint64_t size_ = 0;
  std::string path_;
  std::string table_;
};

}  // namespace velquin::store
