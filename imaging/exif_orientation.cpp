// Bytes read (offsets in bytes):
//   JPEG  0 FF D8, then segments up to the first scan (DA): FF, marker, u16 big-endian length
//         (counting itself), body. Markers 01 and D0..D7 have no length; fill bytes FF are skipped.
//   APP1  (marker E1) body: 0 "Exif" 00 00; 6 the TIFF block. Other APP1 bodies (XMP) are passed by.
//   TIFF  (offsets from its first byte) 0 "II" (all that follows little-endian) or "MM" (big-endian);
//         2 u16 42; 4 u32 offset of the first IFD. IFD: u16 entry count, then 12-byte entries:
//         u16 tag, u16 type, u32 count, 4 value bytes (a SHORT value sits in the first two).
//   Orientation: first IFD, tag 0112, type SHORT (3), count 1, value 1..8.
#include "imaging/exif_orientation.h"

#include <cstring>
#include <fstream>
#include <vector>

#include "imaging/bitmap32.h"

namespace velquin {
namespace {

constexpr std::uint8_t kMarkerPrefix = 0xFF;
constexpr std::uint8_t kApp1 = 0xE1;
constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kEndOfImage = 0xD9;
constexpr char kExifId[] = {'E', 'x', 'i', 'f', '\0', '\0'};
constexpr std::uint16_t kTiffMagic = 42;
constexpr std::size_t kTiffHeaderSize = 8;
constexpr std::size_t kIfdEntrySize = 12;
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShortType = 3;

bool HasNoLength(std::uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

// The TIFF block of an EXIF segment; every read reports whether its bytes lie inside the block.
class TTiffBlock {
 public:
  TTiffBlock(const std::uint8_t* data, std::size_t size, bool bigEndian)
      : data_(data), size_(size), bigEndian_(bigEndian) {}

  bool U16(std::size_t offset, std::uint16_t& value) const {
    if (offset > size_ || size_ - offset < 2) return false;
    const std::uint8_t* p = data_ + offset;
    value = static_cast<std::uint16_t>(bigEndian_ ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8));
    return true;
  }
  bool U32(std::size_t offset, std::uint32_t& value) const {
    std::uint16_t first = 0;
    std::uint16_t second = 0;
    if (!U16(offset, first) || !U16(offset + 2, second)) return false;
    value = bigEndian_ ? (std::uint32_t{first} << 16) | second : (std::uint32_t{second} << 16) | first;
    return true;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  bool bigEndian_;
};

int TiffOrientation(const std::uint8_t* data, std::size_t size) {
  if (size < kTiffHeaderSize) return kOrientationNormal;
  bool bigEndian = false;
  if (data[0] == 'M' && data[1] == 'M')
    bigEndian = true;
  else if (data[0] != 'I' || data[1] != 'I')
    return kOrientationNormal;
  const TTiffBlock tiff(data, size, bigEndian);
  std::uint16_t magic = 0;
  std::uint32_t ifd = 0;
  std::uint16_t entries = 0;
  if (!tiff.U16(2, magic) || magic != kTiffMagic || !tiff.U32(4, ifd) || !tiff.U16(ifd, entries))
    return kOrientationNormal;
  for (std::size_t i = 0; i < entries; ++i) {
    // At most 65535 entries past a 32-bit offset: no overflow in a 64-bit size_t.
    const std::size_t entry = std::size_t{ifd} + 2 + i * kIfdEntrySize;
    std::uint16_t tag = 0;
    if (!tiff.U16(entry, tag)) return kOrientationNormal;
    if (tag != kOrientationTag) continue;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint16_t value = 0;
    if (!tiff.U16(entry + 2, type) || !tiff.U32(entry + 4, count) || !tiff.U16(entry + 8, value))
      return kOrientationNormal;
    if (type != kShortType || count != 1 || value < kOrientationNormal || value > kOrientationCount)
      return kOrientationNormal;
    return value;
  }
  return kOrientationNormal;
}

}  // namespace

int ExifOrientation(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || data[0] != kMarkerPrefix || data[1] != 0xD8) return kOrientationNormal;
  std::size_t pos = 2;
  while (pos < size) {
    if (data[pos] != kMarkerPrefix) return kOrientationNormal;
    while (pos < size && data[pos] == kMarkerPrefix) ++pos;
    if (pos == size) return kOrientationNormal;
    const std::uint8_t marker = data[pos++];
    if (HasNoLength(marker)) continue;
    if (marker == kStartOfScan || marker == kEndOfImage) return kOrientationNormal;
    if (size - pos < 2) return kOrientationNormal;
    const std::size_t length = (std::size_t{data[pos]} << 8) | data[pos + 1];
    if (length < 2 || size - pos < length) return kOrientationNormal;
    const std::uint8_t* body = data + pos + 2;
    const std::size_t bodySize = length - 2;
    if (marker == kApp1 && bodySize >= sizeof kExifId && std::memcmp(body, kExifId, sizeof kExifId) == 0)
      return TiffOrientation(body + sizeof kExifId, bodySize - sizeof kExifId);
    pos += length;
  }
  return kOrientationNormal;
}

int ReadExifOrientation(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return kOrientationNormal;
  std::vector<std::uint8_t> head(kExifHeadBytes);
  file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  return ExifOrientation(head.data(), static_cast<std::size_t>(file.gcount()));
}

void OrientForDisplay(TBitmap32& bitmap, int orientation) {
  if (orientation <= kOrientationNormal || orientation > kOrientationCount || bitmap.IsEmpty()) return;
  const std::int32_t w = bitmap.Width();
  const std::int32_t h = bitmap.Height();
  const bool swapsSides = orientation >= 5;
  TBitmap32 turned;
  turned.Resize(swapsSides ? h : w, swapsSides ? w : h);
  // Each shown pixel (x, y) takes the stored pixel (sx, sy).
  for (std::int32_t y = 0; y < turned.Height(); ++y) {
    TColor32* out = turned.ScanLine(y);
    for (std::int32_t x = 0; x < turned.Width(); ++x) {
      std::int32_t sx = x;
      std::int32_t sy = y;
      switch (orientation) {
        case 2:
          sx = w - 1 - x;
          break;
        case 3:
          sx = w - 1 - x;
          sy = h - 1 - y;
          break;
        case 4:
          sy = h - 1 - y;
          break;
        case 5:
          sx = y;
          sy = x;
          break;
        case 6:
          sx = y;
          sy = h - 1 - x;
          break;
        case 7:
          sx = w - 1 - y;
          sy = h - 1 - x;
          break;
        case 8:
          sx = w - 1 - y;
          sy = x;
          break;
        default:
          break;
      }
      out[x] = bitmap.ScanLine(sy)[sx];
    }
  }
  bitmap.Exchange(turned);
}

}  // namespace velquin
