#include "platform/text_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velquin {

namespace {

// Returns 0 or the errno of the failed write.
int WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace

std::vector<std::string> ReadLines(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EFOpenError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      close(fd);
      throw EInOutError(error);
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text, start, i - start);
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text, start);
  return lines;
}

void WriteLinesCRLF(const std::string& path, const std::vector<std::string>& lines) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw EFCreateError("Cannot create file \"" + path + "\". " + std::strerror(errno));
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  int error = WriteAll(fd, text);
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) throw EInOutError(error);
}

void AppendLineCRLF(const std::string& path, const std::string& line) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) throw EInOutError(errno);
  int error = WriteAll(fd, line + "\r\n");
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) throw EInOutError(error);
}

TTextWriter::TTextWriter(const std::string& path)
    : FFd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
  if (FFd < 0) throw EInOutError(errno);
}

TTextWriter::~TTextWriter() {
  if (FFd >= 0) close(FFd);
}

void TTextWriter::WriteLine(const std::string& line) {
  if (FFd < 0) throw EInOutError(EBADF);
  const int error = WriteAll(FFd, line + "\r\n");
  if (error != 0) throw EInOutError(error);
}

void TTextWriter::Close() {
  if (FFd < 0) return;
  const int fd = FFd;
  FFd = -1;
  if (close(fd) != 0) throw EInOutError(errno);
}

}  // namespace velquin
