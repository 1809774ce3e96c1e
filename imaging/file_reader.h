// TFileReader: a picture file held open and read in pieces, so that no decoder needs more of a file
// in memory than it parses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_utils.h"

namespace velquin {

class TFileReader {
 public:
  // Opens a regular file; `opened`, when given, receives its stamp as opened (fstat). Throws
  // EDecoderError("Cannot open file "<absolute path>". <reason>") when it cannot be opened.
  explicit TFileReader(const std::string& path, TFileStamp* opened = nullptr);
  ~TFileReader();
  TFileReader(const TFileReader&) = delete;
  TFileReader& operator=(const TFileReader&) = delete;

  // The size the file had when opened.
  std::uint64_t Size() const { return size_; }
  // Reads up to `count` bytes at `offset`: fewer only at the end of the file, -1 on a read error.
  std::ptrdiff_t ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t count) const noexcept;
  // Up to `count` bytes from the start of the file. Throws EDecoderError when the file cannot be read.
  std::vector<std::uint8_t> ReadHead(std::size_t count) const;
  // The whole file; throws EOutOfResources when it does not fit in memory.
  std::vector<std::uint8_t> ReadAll() const;

 private:
  std::string path_;
  int fd_;
  std::uint64_t size_;
};

}  // namespace velquin
