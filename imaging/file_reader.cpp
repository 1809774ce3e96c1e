#include "imaging/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <stdexcept>

#include "imaging/errors.h"

namespace velquin {
namespace {

[[noreturn]] void ThrowCannotOpen(const std::string& path, const std::string& reason) {
  std::error_code ignored;
  const std::string expanded = std::filesystem::absolute(path, ignored).string();
  throw EDecoderError("Cannot open file \"" + (expanded.empty() ? path : expanded) + "\". " + reason);
}

}  // namespace

TFileReader::TFileReader(const std::string& path, TFileStamp* opened) : path_(path) {
  // Non-blocking, so that a FIFO or device with a picture's name cannot hang the caller.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) ThrowCannotOpen(path, std::strerror(errno));
  struct stat info {};
  std::string failure;
  if (::fstat(fd_, &info) != 0)
    failure = std::strerror(errno);
  else if (!S_ISREG(info.st_mode))
    failure = "Not a regular file";
  else if (opened != nullptr && !FileStampOf(fd_, *opened))
    failure = std::strerror(errno);
  if (!failure.empty()) {
    ::close(fd_);
    ThrowCannotOpen(path, failure);
  }
  size_ = static_cast<std::uint64_t>(info.st_size);
}

TFileReader::~TFileReader() { ::close(fd_); }

std::ptrdiff_t TFileReader::ReadAt(std::uint64_t offset, std::uint8_t* buffer,
                                   std::size_t count) const noexcept {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd_, buffer + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::ptrdiff_t>(done);
}

std::vector<std::uint8_t> TFileReader::ReadHead(std::size_t count) const {
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(count);
  } catch (const std::bad_alloc&) {
    throw EOutOfResources("Not enough memory to read file \"" + path_ + "\"");
  } catch (const std::length_error&) {
    throw EOutOfResources("Not enough memory to read file \"" + path_ + "\"");
  }
  const std::ptrdiff_t got = ReadAt(0, bytes.data(), bytes.size());
  if (got < 0) ThrowCannotOpen(path_, std::strerror(errno));
  // A file that shrank while being read keeps what is there.
  bytes.resize(static_cast<std::size_t>(got));
  return bytes;
}

std::vector<std::uint8_t> TFileReader::ReadAll() const {
  if (size_ > std::numeric_limits<std::size_t>::max())
    throw EOutOfResources("Not enough memory to read file \"" + path_ + "\"");
  return ReadHead(static_cast<std::size_t>(size_));
}

}  // namespace velquin
