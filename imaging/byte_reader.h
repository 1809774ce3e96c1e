// TByteReader: the one way the GIF and BMP decoders read a file's bytes. It cannot pass the end of
// the buffer: every read reports whether the bytes were there, and the caller picks the error text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velquin {

class TByteReader {
 public:
  TByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::size_t Position() const { return pos_; }
  std::size_t Size() const { return size_; }
  std::size_t Remaining() const { return size_ - pos_; }
  bool AtEnd() const { return pos_ == size_; }

  // Returns true iff count bytes were there; on false nothing is consumed.
  bool Read(void* target, std::size_t count) {
    if (count > Remaining()) return false;
    std::memcpy(target, data_ + pos_, count);
    pos_ += count;
    return true;
  }
  bool ReadU8(std::uint8_t& value) {
    if (pos_ == size_) return false;
    value = data_[pos_++];
    return true;
  }
  bool ReadU16(std::uint16_t& value) {  // little-endian
    std::uint8_t b[2];
    if (!Read(b, 2)) return false;
    value = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
    return true;
  }
  bool ReadU32(std::uint32_t& value) {  // little-endian
    std::uint8_t b[4];
    if (!Read(b, 4)) return false;
    value = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
            (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return true;
  }
  // Returns true iff count bytes were there; on false the reader stands at the end.
  bool Skip(std::size_t count) {
    if (count > Remaining()) {
      pos_ = size_;
      return false;
    }
    pos_ += count;
    return true;
  }
  // Moves to an absolute position, at most the end.
  void Seek(std::size_t position) { pos_ = position < size_ ? position : size_; }
  // The unread bytes, for decoders that walk them directly.
  const std::uint8_t* Current() const { return data_ + pos_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace velquin
