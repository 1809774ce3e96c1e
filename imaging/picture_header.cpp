// Headers read (offsets in bytes; GIF and BMP little-endian, JPEG big-endian):
//   GIF  0 "GIF87a"/"GIF89a"; 6 u16 logical screen width; 8 u16 height
//   BMP  0 "BM"; 14 u32 header size: 12 (OS/2 1.x) gives 18 u16 width, 20 u16 height; larger gives
//        18 i32 width, 22 i32 height (negative: rows top-down)
//   JPEG 0 FF D8, then segments: FF, marker, u16 length (counting itself), body. The first frame
//        header (SOF0..SOF15 but DHT C4, JPG C8, DAC CC) holds: precision u8, height u16, width u16.
//        Markers 01 and D0..D7 have no length; fill bytes FF before a marker are skipped.
#include "imaging/picture_header.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdlib>

namespace velquin {
namespace {

// Reads at offsets of one open file, never past what it holds.
class THeaderFile {
 public:
  explicit THeaderFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~THeaderFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  THeaderFile(const THeaderFile&) = delete;
  THeaderFile& operator=(const THeaderFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // Returns true iff all `count` bytes at `offset` were read into `target`.
  bool ReadAt(std::uint64_t offset, std::uint8_t* target, std::size_t count) const {
    std::size_t done = 0;
    while (done < count) {
      const ssize_t n = ::pread(fd_, target + done, count - done, static_cast<off_t>(offset + done));
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
};

std::uint32_t Le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint32_t Be16(const std::uint8_t* p) { return (p[0] << 8) | p[1]; }

bool IsFrameHeader(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

std::optional<TPictureHeader> JpegHeader(const THeaderFile& file) {
  std::uint64_t offset = 2;
  // A file cut short or holding no frame header ends in a failed read.
  for (;;) {
    std::uint8_t byte = 0;
    if (!file.ReadAt(offset, &byte, 1) || byte != 0xFF) return std::nullopt;
    std::uint8_t marker = 0xFF;
    while (marker == 0xFF) {
      if (!file.ReadAt(++offset, &marker, 1)) return std::nullopt;
    }
    ++offset;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // end of image or scan before any frame
    std::array<std::uint8_t, 7> segment{};
    if (!file.ReadAt(offset, segment.data(), 2)) return std::nullopt;
    const std::uint32_t length = Be16(segment.data());
    if (length < 2) return std::nullopt;
    if (IsFrameHeader(marker)) {
      if (length < 7 || !file.ReadAt(offset, segment.data(), segment.size())) return std::nullopt;
      return TPictureHeader{"JPEG", static_cast<std::int32_t>(Be16(&segment[5])),
                            static_cast<std::int32_t>(Be16(&segment[3]))};
    }
    offset += length;
  }
}

}  // namespace

std::optional<TPictureHeader> ReadPictureHeader(const std::string& path) {
  const THeaderFile file(path);
  if (!file.IsOpen()) return std::nullopt;
  std::array<std::uint8_t, 26> head{};
  if (!file.ReadAt(0, head.data(), 2)) return std::nullopt;
  if (head[0] == 0xFF && head[1] == 0xD8) return JpegHeader(file);
  if (head[0] == 'G' && head[1] == 'I') {
    if (!file.ReadAt(0, head.data(), 10)) return std::nullopt;
    const std::string_view magic(reinterpret_cast<const char*>(head.data()), 6);
    if (magic != "GIF87a" && magic != "GIF89a") return std::nullopt;
    return TPictureHeader{"GIF", static_cast<std::int32_t>(Le16(&head[6])),
                          static_cast<std::int32_t>(Le16(&head[8]))};
  }
  if (head[0] == 'B' && head[1] == 'M') {
    if (!file.ReadAt(0, head.data(), 22)) return std::nullopt;
    if (Le32(&head[14]) == 12) {
      return TPictureHeader{"BMP", static_cast<std::int32_t>(Le16(&head[18])),
                            static_cast<std::int32_t>(Le16(&head[20]))};
    }
    if (!file.ReadAt(0, head.data(), 26)) return std::nullopt;
    const auto width = static_cast<std::int32_t>(Le32(&head[18]));
    const auto height = static_cast<std::int32_t>(Le32(&head[22]));
    if (width < 0 || height == INT32_MIN) return std::nullopt;
    return TPictureHeader{"BMP", width, std::abs(height)};
  }
  return std::nullopt;
}

}  // namespace velquin
