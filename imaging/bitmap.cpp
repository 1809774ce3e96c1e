// BMP file layout (all numbers little-endian):
//
//   offset  size  field
//   0       2     "BM"
//   2       4     file size (not used)
//   6       4     reserved
//   10      4     offset of the pixel data from the start of the file
//   14      4     info header size: 12 (OS/2 1.x) or 40 and more
//   OS/2 1.x header (12 bytes): width u16, height u16, planes u16, bits per pixel u16;
//                               colour table entries of 3 bytes (blue, green, red)
//   40+ byte header:            width i32, height i32 (negative: rows top-down), planes u16,
//                               bits per pixel u16, compression u32 (0 none, 1 RLE8, 2 RLE4,
//                               3 bit fields), image size u32, x/y resolution i32 x 2, colours used
//                               u32, colours important u32; headers of 52 bytes and more hold the
//                               red, green and blue masks at 40, 44, 48; with a shorter header the
//                               three masks follow it; colour table entries of 4 bytes (blue, green,
//                               red, unused)
//   colour table: "colours used" entries, or 2^bits when that is 0 and bits <= 8
//   pixel data:   at the offset above, but never before the end of the colour table. Rows are padded
//                 to 4 bytes and stored bottom row first unless the height is negative; 1- and 4-bit
//                 pixels fill each byte from its top bit. 16-bit pixels without masks are 5-5-5.
//   RLE8 / RLE4:  pairs (count, value): count > 0 repeats value (RLE4: its two nibbles in turn);
//                 count 0 then 0 ends the row, 1 ends the picture, 2 moves right and up by the next
//                 two bytes, n >= 3 copies n literal pixels padded to an even number of bytes.
#include "imaging/bitmap.h"

#include <algorithm>
#include <bit>
#include <limits>
#include <utility>

#include "imaging/byte_reader.h"
#include "imaging/errors.h"
#include "imaging/file_reader.h"

namespace velquin {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kOs2HeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kHeaderWithMasksSize = 52;
constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;

[[noreturn]] void NotValid() { throw EDecoderError("Bitmap image is not valid"); }
[[noreturn]] void ReadError() { throw EDecoderError("Stream read error"); }

// A field of fewer than 8 bits is widened by repeating its bits from the top, so that its
// largest value becomes 255; a wider field keeps its top 8 bits.
std::uint32_t Widen(std::uint32_t value, int bits) {
  if (bits == 0) return 0;
  if (bits >= 8) return (value >> (bits - 8)) & 0xFF;
  std::uint32_t wide = value << (8 - bits);
  for (int filled = bits; filled < 8; filled *= 2) wide |= wide >> filled;
  return wide & 0xFF;
}

}  // namespace

void TBitmap::LoadFromFile(const std::string& path, TFileStamp* opened) {
  // A file without the magic is refused from its file header, which fails the decoder's first checks
  // as the whole file would.
  constexpr std::size_t kFileHeaderSize = 14;
  TFileReader file(path, opened);
  std::vector<std::uint8_t> head = file.ReadHead(kFileHeaderSize);
  const bool magic = head.size() == kFileHeaderSize && head[0] == 'B' && head[1] == 'M';
  LoadFromBytes(magic ? file.ReadAll() : std::move(head));
}

void TBitmap::LoadFromBytes(std::vector<std::uint8_t> bytes) {
  data_ = std::move(bytes);
  width_ = height_ = 0;
  bitCount_ = 0;
  if (data_.empty()) return;
  TByteReader in(data_.data(), data_.size());

  std::uint8_t magic[2];
  std::uint32_t fileSize = 0, reserved = 0, pixelOffset = 0, headerSize = 0;
  if (!in.Read(magic, 2) || !in.ReadU32(fileSize) || !in.ReadU32(reserved) || !in.ReadU32(pixelOffset))
    ReadError();
  if (magic[0] != 'B' || magic[1] != 'M') NotValid();
  if (!in.ReadU32(headerSize)) ReadError();

  std::int64_t width = 0, height = 0;
  std::uint16_t planes = 0, bitCount = 0;
  std::uint32_t compression = kUncompressed, colorsUsed = 0;
  std::size_t entrySize = 4;
  if (headerSize == kOs2HeaderSize) {
    std::uint16_t w = 0, h = 0;
    if (!in.ReadU16(w) || !in.ReadU16(h) || !in.ReadU16(planes) || !in.ReadU16(bitCount)) ReadError();
    width = w;
    height = h;
    entrySize = 3;
  } else if (headerSize >= kInfoHeaderSize) {
    std::uint32_t w = 0, h = 0, unused = 0;
    if (!in.ReadU32(w) || !in.ReadU32(h) || !in.ReadU16(planes) || !in.ReadU16(bitCount) ||
        !in.ReadU32(compression) || !in.Skip(12) || !in.ReadU32(colorsUsed) || !in.ReadU32(unused))
      ReadError();
    width = static_cast<std::int32_t>(w);
    height = static_cast<std::int32_t>(h);
  } else {
    NotValid();
  }
  if (planes != 1) NotValid();
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
    NotValid();
  const bool fitsCompression = compression == kUncompressed || (compression == kRle8 && bitCount == 8) ||
                               (compression == kRle4 && bitCount == 4) ||
                               (compression == kBitFields && (bitCount == 16 || bitCount == 32));
  if (!fitsCompression) NotValid();
  if (width < 0 || height == std::numeric_limits<std::int32_t>::min()) NotValid();
  const bool topDown = height < 0;
  if (topDown && (compression == kRle8 || compression == kRle4)) NotValid();

  std::uint32_t masks[3] = {0, 0, 0};
  if (bitCount == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  } else if (bitCount == 32) {
    masks[0] = 0x00FF0000;
    masks[1] = 0x0000FF00;
    masks[2] = 0x000000FF;
  }
  const std::size_t headerEnd = kFileHeaderSize + headerSize;
  if (compression == kBitFields) {
    if (headerSize < kHeaderWithMasksSize) in.Seek(headerEnd);
    if (!in.ReadU32(masks[0]) || !in.ReadU32(masks[1]) || !in.ReadU32(masks[2])) ReadError();
  }
  if (headerSize >= kHeaderWithMasksSize || compression != kBitFields) {
    if (headerEnd > data_.size()) ReadError();
    in.Seek(headerEnd);
  }

  std::uint64_t entries = colorsUsed;
  if (headerSize == kOs2HeaderSize || (entries == 0 && bitCount <= 8))
    entries = bitCount <= 8 ? std::uint64_t{1} << bitCount : 0;
  const std::size_t tableStart = in.Position();
  if (entries * entrySize > in.Remaining()) ReadError();
  std::fill(std::begin(palette_), std::end(palette_), 0);
  for (std::size_t i = 0; i < std::min<std::uint64_t>(entries, 256); ++i) {
    const std::uint8_t* bgr = data_.data() + tableStart + i * entrySize;
    palette_[i] = static_cast<TColor32>(bgr[2]) << 16 | static_cast<TColor32>(bgr[1]) << 8 | bgr[0];
  }
  const std::size_t tableEnd = tableStart + static_cast<std::size_t>(entries * entrySize);

  for (int i = 0; i < 3; ++i) {
    TField& field = fields_[i];
    field.mask = masks[i];
    field.shift = masks[i] == 0 ? 0 : std::countr_zero(masks[i]);
    field.bits = masks[i] == 0 ? 0 : std::bit_width(masks[i] >> field.shift);
  }
  width_ = static_cast<std::int32_t>(width);
  height_ = static_cast<std::int32_t>(topDown ? -height : height);
  topDown_ = topDown;
  bitCount_ = bitCount;
  compression_ = compression;
  useFields_ = bitCount == 16 || compression == kBitFields;
  pixelOffset_ = std::max<std::size_t>(pixelOffset, tableEnd);
}

TColor32 TBitmap::FromFields(std::uint32_t raw) const {
  TColor32 color = 0;
  for (int i = 0; i < 3; ++i) {
    const TField& field = fields_[i];
    color = color << 8 | Widen((raw & field.mask) >> field.shift, field.bits);
  }
  return color;
}

void TBitmap::Draw(TBitmap32& target) const {
  if (target.Width() != width_ || target.Height() != height_ || target.IsEmpty()) return;
  if (compression_ == kRle8 || compression_ == kRle4)
    DrawRunLength(target);
  else
    DrawUncompressed(target);
}

void TBitmap::DrawUncompressed(TBitmap32& target) const {
  const std::uint64_t stride = (static_cast<std::uint64_t>(width_) * bitCount_ + 31) / 32 * 4;
  const std::size_t available = pixelOffset_ < data_.size() ? data_.size() - pixelOffset_ : 0;
  const std::uint64_t fullRows = available / stride;
  std::vector<std::uint8_t> partial;
  for (std::int32_t fileRow = 0; fileRow < height_; ++fileRow) {
    const std::uint8_t* row;
    if (static_cast<std::uint64_t>(fileRow) < fullRows) {
      row = data_.data() + pixelOffset_ + static_cast<std::size_t>(fileRow * stride);
    } else {
      // Rows the data does not reach read as zero bytes.
      if (partial.empty()) {
        partial.assign(static_cast<std::size_t>(stride), 0);
        const std::size_t tail = available - static_cast<std::size_t>(fullRows * stride);
        if (tail > 0) std::copy_n(data_.data() + data_.size() - tail, tail, partial.begin());
      } else {
        std::fill(partial.begin(), partial.end(), 0);
      }
      row = partial.data();
    }
    TColor32* out = target.ScanLine(topDown_ ? fileRow : height_ - 1 - fileRow);
    switch (bitCount_) {
      case 1:
        for (std::int32_t x = 0; x < width_; ++x) out[x] = palette_[(row[x >> 3] >> (7 - (x & 7))) & 1];
        break;
      case 4:
        for (std::int32_t x = 0; x < width_; ++x)
          out[x] = palette_[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
        break;
      case 8:
        for (std::int32_t x = 0; x < width_; ++x) out[x] = palette_[row[x]];
        break;
      case 16:
        for (std::int32_t x = 0; x < width_; ++x) out[x] = FromFields(row[2 * x] | row[2 * x + 1] << 8);
        break;
      case 24:
        for (std::int32_t x = 0; x < width_; ++x) {
          const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
          out[x] = static_cast<TColor32>(p[2]) << 16 | static_cast<TColor32>(p[1]) << 8 | p[0];
        }
        break;
      case 32:
        for (std::int32_t x = 0; x < width_; ++x) {
          const std::uint8_t* p = row + 4 * static_cast<std::size_t>(x);
          const std::uint32_t raw = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                    static_cast<std::uint32_t>(p[2]) << 16 |
                                    static_cast<std::uint32_t>(p[3]) << 24;
          out[x] = useFields_ ? (raw & 0xFF000000u) | FromFields(raw) : raw;
        }
        break;
    }
  }
}

void TBitmap::DrawRunLength(TBitmap32& target) const {
  // Pixels the runs never reach hold index 0, as in a zeroed raster.
  std::fill_n(target.Bits(), static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_),
              palette_[0]);
  const bool nibbles = compression_ == kRle4;
  const std::uint8_t* data = data_.data();
  const std::size_t size = data_.size();
  std::size_t pos = pixelOffset_;
  std::int64_t x = 0, fileRow = 0;
  auto put = [&](std::int64_t column, std::uint8_t index) {
    if (column < width_)
      target.ScanLine(static_cast<std::int32_t>(height_ - 1 - fileRow))[column] = palette_[index];
  };
  while (fileRow < height_ && pos < size && size - pos >= 2) {
    const std::uint8_t count = data[pos];
    const std::uint8_t value = data[pos + 1];
    pos += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i) put(x + i, nibbles ? ((i & 1) ? value & 0x0F : value >> 4) : value);
      x += count;
    } else if (value == 0) {
      x = 0;
      ++fileRow;
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      if (size - pos < 2) break;
      x += data[pos];
      fileRow += data[pos + 1];
      pos += 2;
    } else {
      const std::size_t literalBytes = nibbles ? (value + 1u) / 2 : value;
      const std::size_t present = std::min(literalBytes, size - pos);
      for (int i = 0; i < value; ++i) {
        const std::size_t byte = nibbles ? static_cast<std::size_t>(i / 2) : static_cast<std::size_t>(i);
        if (byte >= present) break;
        const std::uint8_t b = data[pos + byte];
        put(x + i, nibbles ? ((i & 1) ? b & 0x0F : b >> 4) : b);
      }
      x += value;
      pos += std::min(size - pos, (literalBytes + 1) & ~std::size_t{1});
    }
  }
}

}  // namespace velquin
