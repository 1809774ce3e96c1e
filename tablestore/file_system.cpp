#include "tablestore/file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace velquin::store {
namespace {

class TSystemFileSystem final : public TFileSystem {
 public:
  int Open(const std::string& path, int flags, mode_t mode) override {
    return ::open(path.c_str(), flags, mode);
  }
  int Close(int fd) override { return ::close(fd); }
  ssize_t WriteAt(int fd, const void* buffer, std::size_t length, off_t offset) override {
    return ::pwrite(fd, buffer, length, offset);
  }
  int Truncate(int fd, off_t size) override { return ::ftruncate(fd, size); }
  int SyncData(int fd) override { return ::fdatasync(fd); }
  int Rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str());
  }
  int Unlink(const std::string& path) override { return ::unlink(path.c_str()); }
  int SyncFolder(const std::string& folder) override {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int result = ::fsync(fd);
    int error = errno;
    ::close(fd);
    errno = error;
    return result;
  }
};

TSystemFileSystem gSystem;
TFileSystem* gCurrent = &gSystem;

}  // namespace

TFileSystem& TFileSystem::Current() { return *gCurrent; }

void TFileSystem::Install(TFileSystem* fileSystem) { gCurrent = fileSystem ? fileSystem : &gSystem; }

}  // namespace velquin::store
