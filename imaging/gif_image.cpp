// GIF file layout (all numbers little-endian):
//
//   offset  size  field
//   0       3     "GIF" (compared upper-cased); when absent, the three bytes at offset 4 are tried
//   3       3     version ("87a", "89a"; not examined)
//   6       2     logical screen width
//   8       2     logical screen height
//   10      1     packed: bit 7 global colour table present, bits 0-2 table size n (2^(n+1) entries)
//   11      1     background colour index (never used)
//   12      1     pixel aspect ratio
//   13      3*k   global colour table, k entries of red, green, blue
//   then blocks until the trailer 0x3B (zero bytes between blocks are skipped):
//     0x21 label sub-blocks...      extension; labels 0x01 plain text, 0xF9 graphic control
//                                   (first sub-block: packed, delay (2), transparent index; bit 0
//                                   of packed = transparent), 0xFE comment, 0xFF application
//     0x2C left(2) top(2) width(2) height(2) packed(1) [local colour table] min-code-size(1)
//          sub-blocks...            image; packed bit 7 local table, bit 6 interlaced, bits 0-2 size
//   A sub-block chain is a size byte (1..255) followed by that many bytes, ended by a size byte 0.
//
// Image data is LZW-compressed colour indices, codes packed least significant bit first, code width
// starting at min-code-size + 1 and growing to 12 bits. Interlaced images store rows 0, 8, 16, ...,
// then 4, 12, ..., then 2, 6, ..., then 1, 3, ....
#include "imaging/gif_image.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "imaging/byte_reader.h"
#include "imaging/errors.h"
#include "imaging/file_reader.h"
#include "platform/text_utils.h"

namespace velquin {
namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kPlainTextLabel = 0x01;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint8_t kCommentLabel = 0xFE;
constexpr std::uint8_t kApplicationLabel = 0xFF;
constexpr int kMaxCodeBits = 12;
constexpr int kTableSize = 1 << kMaxCodeBits;

[[noreturn]] void PrematureEnd() { throw EDecoderError("Premature end of data"); }
[[noreturn]] void CorruptLzw() { throw EDecoderError("Circular decoder table entry"); }

// The bytes of one sub-block chain, read through the file's bounded reader.
class TSubBlockReader {
 public:
  explicit TSubBlockReader(TByteReader& in) : in_(in) {}

  // Returns false at the chain's terminator or the end of the file.
  bool NextByte(std::uint8_t& value) {
    while (blockLeft_ == 0) {
      std::uint8_t size = 0;
      if (ended_ || !in_.ReadU8(size) || size == 0) {
        ended_ = true;
        return false;
      }
      blockLeft_ = size;
    }
    --blockLeft_;
    if (!in_.ReadU8(value)) {
      ended_ = true;
      return false;
    }
    return true;
  }

  // Leaves the reader just after the chain's terminator (or at the end of the file).
  void SkipRest() {
    if (ended_) return;
    if (!in_.Skip(blockLeft_)) return;
    std::uint8_t size = 0;
    while (in_.ReadU8(size) && size != 0)
      if (!in_.Skip(size)) break;
    ended_ = true;
  }

 private:
  TByteReader& in_;
  std::size_t blockLeft_ = 0;
  bool ended_ = false;
};

// Validates an image's LZW data without keeping its pixels.
struct TCountingSink {
  static constexpr bool kNeedsPixels = false;
  void Put(const std::uint8_t*, std::size_t) {}
};

// Decodes LZW codes until the end code, pixelCount pixels, or the end of the data (an under-run,
// which leaves the remaining pixels to the caller). Throws "Circular decoder table entry" for a
// code that the table does not hold yet. Returns the number of pixels produced.
template <class TSink>
std::uint64_t DecodeLzw(TSubBlockReader& in, int minCodeSize, std::uint64_t pixelCount, TSink& sink) {
  if (minCodeSize < 1 || minCodeSize >= kMaxCodeBits) CorruptLzw();
  struct TTable {
    std::uint16_t prefix[kTableSize];
    std::uint16_t length[kTableSize];
    std::uint8_t suffix[kTableSize];
    std::uint8_t first[kTableSize];
    std::uint8_t string[kTableSize];
  };
  auto table = std::make_unique<TTable>();
  const int clearCode = 1 << minCodeSize;
  const int endCode = clearCode + 1;
  for (int i = 0; i < clearCode; ++i) {
    table->length[i] = 1;
    table->suffix[i] = table->first[i] = static_cast<std::uint8_t>(i);
  }
  int next = clearCode + 2;
  int width = minCodeSize + 1;
  int previous = -1;
  std::uint32_t bits = 0;
  int bitCount = 0;
  std::uint64_t produced = 0;

  auto emit = [&](int code) {
    const std::size_t length = table->length[code];
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(length, pixelCount - produced));
    if constexpr (TSink::kNeedsPixels) {
      for (std::size_t i = length; i-- > 0;) {
        table->string[i] = table->suffix[code];
        code = table->prefix[code];
      }
      sink.Put(table->string, take);
    }
    produced += take;
  };

  while (produced < pixelCount) {
    while (bitCount < width) {
      std::uint8_t byte = 0;
      if (!in.NextByte(byte)) return produced;  // "Decoder bit buffer under-run": ignored
      bits |= static_cast<std::uint32_t>(byte) << bitCount;
      bitCount += 8;
    }
    const int code = static_cast<int>(bits & ((1u << width) - 1));
    bits >>= width;
    bitCount -= width;

    if (code == clearCode) {
      next = clearCode + 2;
      width = minCodeSize + 1;
      previous = -1;
      continue;
    }
    if (code == endCode) break;
    if (previous < 0) {
      if (code >= clearCode) CorruptLzw();
    } else {
      if (code > next) CorruptLzw();
      if (next < kTableSize) {
        table->prefix[next] = static_cast<std::uint16_t>(previous);
        table->suffix[next] = code == next ? table->first[previous] : table->first[code];
        table->first[next] = table->first[previous];
        table->length[next] = static_cast<std::uint16_t>(table->length[previous] + 1);
        ++next;
        if (next == (1 << width) && width < kMaxCodeBits) ++width;
      }
    }
    emit(code);
    previous = code;
  }
  return produced;
}

// Puts the first image's pixels into the logical screen in natural row order.
class TFrameWriter {
 public:
  static constexpr bool kNeedsPixels = true;

  TFrameWriter(TBitmap32& target, const TColor32 (&palette)[256], int transparent, std::int32_t left,
               std::int32_t top, std::int32_t width, std::int32_t height, bool interlaced)
      : target_(target),
        palette_(palette),
        transparent_(transparent),
        left_(left),
        top_(top),
        width_(width),
        height_(height),
        interlaced_(interlaced),
        visibleWidth_(std::clamp(target.Width() - left, 0, width)) {
    StartRow();
  }

  void Put(const std::uint8_t* indices, std::size_t count) {
    Advance(count, [indices](std::size_t i) { return indices[i]; });
  }
  void Fill(std::uint8_t index, std::uint64_t count) {
    if (index == transparent_) return;
    Advance(count, [index](std::size_t) { return index; });
  }

 private:
  std::int32_t NaturalRow(std::int32_t row) const {
    if (!interlaced_) return row;
    const std::int32_t pass1 = (height_ + 7) / 8;
    if (row < pass1) return row * 8;
    row -= pass1;
    const std::int32_t pass2 = (height_ + 3) / 8;
    if (row < pass2) return 4 + row * 8;
    row -= pass2;
    const std::int32_t pass3 = (height_ + 1) / 4;
    if (row < pass3) return 2 + row * 4;
    return 1 + (row - pass3) * 2;
  }

  void StartRow() {
    row_ = nullptr;
    if (streamRow_ >= height_) return;
    const std::int32_t y = top_ + NaturalRow(streamRow_);
    if (y < target_.Height() && visibleWidth_ > 0) row_ = target_.ScanLine(y) + left_;
  }

  template <class TIndexAt>
  void Advance(std::uint64_t count, TIndexAt indexAt) {
    std::size_t offset = 0;
    while (count > 0 && streamRow_ < height_) {
      const std::size_t segment = static_cast<std::size_t>(std::min<std::uint64_t>(count, width_ - x_));
      if (row_ != nullptr) {
        const std::int32_t end =
            std::min<std::int32_t>(x_ + static_cast<std::int32_t>(segment), visibleWidth_);
        for (std::int32_t x = x_; x < end; ++x) {
          const std::uint8_t index = indexAt(offset + static_cast<std::size_t>(x - x_));
          if (index != transparent_) row_[x] = palette_[index];
        }
      }
      offset += segment;
      count -= segment;
      x_ += static_cast<std::int32_t>(segment);
      if (x_ == width_) {
        x_ = 0;
        ++streamRow_;
        StartRow();
      }
    }
  }

  TBitmap32& target_;
  const TColor32 (&palette_)[256];
  const int transparent_;  // -1 when the image has no transparent index
  const std::int32_t left_, top_, width_, height_;
  const bool interlaced_;
  const std::int32_t visibleWidth_;  // columns of the image inside the logical screen
  std::int32_t streamRow_ = 0;
  std::int32_t x_ = 0;
  TColor32* row_ = nullptr;  // start of the current image row in the target; nullptr when clipped
};

bool IsGifSignature(const std::uint8_t* s) {
  return AsciiUpper(static_cast<char>(s[0])) == 'G' && AsciiUpper(static_cast<char>(s[1])) == 'I' &&
         AsciiUpper(static_cast<char>(s[2])) == 'F';
}

std::size_t ColorTableEntries(std::uint8_t packed) { return std::size_t{2} << (packed & 0x07); }

}  // namespace

void TGIFImage::LoadFromFile(const std::string& path, TFileStamp* opened) {
  // The signature stands at the start or four bytes in; a file with neither is refused from its first
  // bytes, which fail the decoder's first checks as the whole file would.
  constexpr std::size_t kSignatureSpan = 7;
  TFileReader file(path, opened);
  std::vector<std::uint8_t> head = file.ReadHead(kSignatureSpan);
  const bool hasSignature =
      head.size() >= 3 &&
      (IsGifSignature(head.data()) || (head.size() == kSignatureSpan && IsGifSignature(head.data() + 4)));
  LoadFromBytes(hasSignature ? file.ReadAll() : std::move(head));
}

void TGIFImage::LoadFromBytes(std::vector<std::uint8_t> bytes) {
  data_ = std::move(bytes);
  screenWidth_ = screenHeight_ = imageCount_ = 0;
  first_ = TFrame{};
  TByteReader in(data_.data(), data_.size());

  std::uint8_t signature[3];
  if (!in.Read(signature, 3)) PrematureEnd();
  if (!IsGifSignature(signature)) {
    in.Seek(4);
    if (!in.Read(signature, 3) || !IsGifSignature(signature)) throw EDecoderError("Invalid GIF signature");
  }
  std::uint16_t width = 0, height = 0;
  std::uint8_t packed = 0;
  if (!in.Skip(3) || !in.ReadU16(width) || !in.ReadU16(height) || !in.ReadU8(packed) || !in.Skip(2))
    PrematureEnd();
  std::size_t globalTable = 0, globalCount = 0;
  if (packed & 0x80) {
    globalTable = in.Position();
    globalCount = ColorTableEntries(packed);
    if (!in.Skip(globalCount * 3)) PrematureEnd();
  }

  // Graphic control extensions seen since the last image.
  bool sawControl = false, transparent = false;
  std::uint8_t transparentIndex = 0;
  std::uint8_t introducer = 0;
  while (in.ReadU8(introducer) && introducer != kTrailer) {
    if (introducer == 0) continue;
    if (introducer == kExtensionIntroducer) {
      std::uint8_t label = 0;
      if (!in.ReadU8(label)) break;
      if (label != kPlainTextLabel && label != kGraphicControlLabel && label != kCommentLabel &&
          label != kApplicationLabel)
        throw EDecoderError("Unknown extension type");
      std::uint8_t size = 0;
      if (label == kGraphicControlLabel && in.ReadU8(size)) {
        std::uint8_t control[4] = {};
        const std::size_t start = in.Position();
        in.Read(control, std::min<std::size_t>(size, 4));
        if (size >= 4) {
          if (!sawControl) transparentIndex = control[3];
          transparent = transparent || (control[0] & 0x01) != 0;
          sawControl = true;
        }
        in.Seek(start + size);
      }
      TSubBlockReader rest(in);
      rest.SkipRest();
      continue;
    }
    if (introducer != kImageSeparator) break;  // "Unknown GIF block type": ignored

    TFrame frame;
    std::uint16_t left = 0, top = 0, frameWidth = 0, frameHeight = 0;
    std::uint8_t framePacked = 0;
    if (!in.ReadU16(left) || !in.ReadU16(top) || !in.ReadU16(frameWidth) || !in.ReadU16(frameHeight) ||
        !in.ReadU8(framePacked))
      PrematureEnd();
    if (frameWidth == 0 || frameHeight == 0) {  // "Image exceeds Logical Screen size": ignored
      frameWidth = width;
      frameHeight = height;
    }
    frame.left = left;
    frame.top = top;
    frame.width = frameWidth;
    frame.height = frameHeight;
    frame.interlaced = (framePacked & 0x40) != 0;
    frame.transparent = transparent;
    frame.transparentIndex = transparentIndex;
    frame.colorTable = globalTable;
    frame.colorCount = globalCount;
    if (framePacked & 0x80) {
      frame.colorTable = in.Position();
      frame.colorCount = ColorTableEntries(framePacked);
      if (!in.Skip(frame.colorCount * 3)) PrematureEnd();
    }
    sawControl = transparent = false;
    transparentIndex = 0;

    ++imageCount_;
    std::uint8_t minCodeSize = 0;
    const std::size_t dataStart = in.Position();
    const bool hasData = in.ReadU8(minCodeSize);
    if (hasData) {
      frame.data = dataStart;
      TSubBlockReader lzw(in);
      TCountingSink sink;
      DecodeLzw(lzw, minCodeSize, static_cast<std::uint64_t>(frameWidth) * frameHeight, sink);
      lzw.SkipRest();
    }
    if (imageCount_ == 1) first_ = frame;
    if (!hasData) break;
  }
  screenWidth_ = width;
  screenHeight_ = height;
}

void TGIFImage::Draw(TBitmap32& target) const {
  if (imageCount_ == 0 || target.Width() != screenWidth_ || target.Height() != screenHeight_) return;
  const TFrame& frame = first_;
  TColor32 palette[256];
  std::fill(std::begin(palette), std::end(palette), kOpaqueBlack);  // indices beyond the table: black
  for (std::size_t i = 0; i < std::min<std::size_t>(frame.colorCount, 256); ++i) {
    const std::uint8_t* rgb = data_.data() + frame.colorTable + i * 3;
    palette[i] =
        kOpaqueBlack | static_cast<TColor32>(rgb[0]) << 16 | static_cast<TColor32>(rgb[1]) << 8 | rgb[2];
  }
  const int transparent = frame.transparent ? frame.transparentIndex : -1;
  TFrameWriter writer(target, palette, transparent, frame.left, frame.top, frame.width, frame.height,
                      frame.interlaced);
  const std::uint64_t pixelCount =
      static_cast<std::uint64_t>(frame.width) * static_cast<std::uint64_t>(frame.height);
  std::uint64_t produced = 0;
  if (frame.data != 0) {
    TByteReader in(data_.data(), data_.size());
    in.Seek(frame.data + 1);
    TSubBlockReader lzw(in);
    produced = DecodeLzw(lzw, data_[frame.data], pixelCount, writer);
  }
  // Pixels the data did not reach keep the index the image started from.
  writer.Fill(frame.transparent ? frame.transparentIndex : 0, pixelCount - produced);
}

}  // namespace velquin
