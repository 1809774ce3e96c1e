#include "imaging/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>

#include "imaging/errors.h"

namespace velquin {
namespace {

[[noreturn]] void ThrowCannotOpen(const std::string& path, const std::string& reason) {
  std::error_code ignored;
  const std::string expanded = std::filesystem::absolute(path, ignored).string();
  throw EDecoderError("Cannot open file \"" + (expanded.empty() ? path : expanded) + "\". " + reason);
}

class TFileHandle {
 public:
  explicit TFileHandle(int fd) : fd_(fd) {}
  ~TFileHandle() { ::close(fd_); }
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::string& path, TFileStamp* opened) {
  // Non-blocking, so that a FIFO or device with a picture's name cannot hang the caller.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) ThrowCannotOpen(path, std::strerror(errno));
  TFileHandle file(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) ThrowCannotOpen(path, std::strerror(errno));
  if (!S_ISREG(info.st_mode)) ThrowCannotOpen(path, "Not a regular file");
  if (opened != nullptr && !FileStampOf(fd, *opened)) ThrowCannotOpen(path, std::strerror(errno));

  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(static_cast<std::size_t>(info.st_size));
  } catch (const std::bad_alloc&) {
    throw EOutOfResources("Not enough memory to read file \"" + path + "\"");
  } catch (const std::length_error&) {
    throw EOutOfResources("Not enough memory to read file \"" + path + "\"");
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowCannotOpen(path, std::strerror(errno));
    }
    if (got == 0) break;  // the file shrank while being read: keep what is there
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

}  // namespace velquin
