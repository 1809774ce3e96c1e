#include "imaging/gif_image.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "imaging/errors.h"
#include "imaging/test_support.h"

namespace velquin {
namespace {

using testing::TBytes;

// A real LZW compressor (growing codes, clear when the table is full unless told to keep it), so
// that the decoder meets long strings, the code-equals-next case and width changes.
TBytes LzwData(const std::vector<std::uint8_t>& indices, int minCodeSize, bool clearWhenFull = true) {
  std::vector<std::uint8_t> packed;
  std::uint32_t bits = 0;
  int bitCount = 0;
  int width = minCodeSize + 1;
  auto put = [&](int code) {
    bits |= static_cast<std::uint32_t>(code) << bitCount;
    bitCount += width;
    while (bitCount >= 8) {
      packed.push_back(static_cast<std::uint8_t>(bits));
      bits >>= 8;
      bitCount -= 8;
    }
  };
  const int clear = 1 << minCodeSize;
  std::map<std::pair<int, int>, int> table;
  int next = clear + 2;
  put(clear);
  int current = -1;
  for (std::uint8_t index : indices) {
    if (current < 0) {
      current = index;
      continue;
    }
    auto found = table.find({current, index});
    if (found != table.end()) {
      current = found->second;
      continue;
    }
    put(current);
    if (next < 4096) {
      table[{current, index}] = next++;
      if (next > (1 << width) && width < 12) ++width;
    } else if (clearWhenFull) {
      put(clear);
      table.clear();
      next = clear + 2;
      width = minCodeSize + 1;
    }
    current = index;
  }
  if (current >= 0) put(current);
  put(clear + 1);
  if (bitCount > 0) packed.push_back(static_cast<std::uint8_t>(bits));
  return packed;
}

// Writes the encoder's width change one code late, the way GIF decoders expect it.
TBytes SubBlocks(const TBytes& data) {
  TBytes out;
  for (std::size_t pos = 0; pos < data.size(); pos += 255) {
    const std::size_t n = std::min<std::size_t>(255, data.size() - pos);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
               data.begin() + static_cast<std::ptrdiff_t>(pos + n));
  }
  out.push_back(0);
  return out;
}

void PutU16(TBytes& out, int v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

struct TGifBuilder {
  TBytes bytes;

  // The palette has 2^(sizeBits+1) entries: entry i is (i, 2i, 255 - i).
  static TBytes Palette(int sizeBits) {
    TBytes table;
    for (int i = 0; i < (2 << sizeBits); ++i) {
      table.push_back(static_cast<std::uint8_t>(i));
      table.push_back(static_cast<std::uint8_t>(2 * i));
      table.push_back(static_cast<std::uint8_t>(255 - i));
    }
    return table;
  }
  static TColor32 PaletteColor(int i) {
    return kOpaqueBlack | static_cast<TColor32>(i) << 16 | static_cast<TColor32>((2 * i) & 0xFF) << 8 |
           static_cast<TColor32>(255 - i);
  }

  TGifBuilder& Screen(int w, int h, int globalBits = 3) {
    bytes = {'G', 'I', 'F', '8', '9', 'a'};
    PutU16(bytes, w);
    PutU16(bytes, h);
    bytes.push_back(globalBits >= 0 ? static_cast<std::uint8_t>(0x80 | globalBits) : 0);
    bytes.push_back(0);
    bytes.push_back(0);
    if (globalBits >= 0) {
      const TBytes table = Palette(globalBits);
      bytes.insert(bytes.end(), table.begin(), table.end());
    }
    return *this;
  }
  TGifBuilder& Control(bool transparent, int index) {
    const TBytes gce = {
        0x21, 0xF9, 4, static_cast<std::uint8_t>(transparent ? 1 : 0), 0, 0, static_cast<std::uint8_t>(index),
        0};
    bytes.insert(bytes.end(), gce.begin(), gce.end());
    return *this;
  }
  TGifBuilder& Image(int left, int top, int w, int h, const std::vector<std::uint8_t>& indices,
                     bool interlaced = false, int minCodeSize = 4) {
    return RawImage(left, top, w, h, interlaced, minCodeSize, SubBlocks(LzwData(indices, minCodeSize)));
  }
  TGifBuilder& RawImage(int left, int top, int w, int h, bool interlaced, int minCodeSize, const TBytes& data,
                        int localBits = -1) {
    bytes.push_back(0x2C);
    PutU16(bytes, left);
    PutU16(bytes, top);
    PutU16(bytes, w);
    PutU16(bytes, h);
    bytes.push_back(
        static_cast<std::uint8_t>((interlaced ? 0x40 : 0) | (localBits >= 0 ? 0x80 | localBits : 0)));
    if (localBits >= 0) {
      TBytes table = Palette(localBits);
      for (std::size_t i = 0; i < table.size(); i += 3) std::swap(table[i], table[i + 2]);
      bytes.insert(bytes.end(), table.begin(), table.end());
    }
    bytes.push_back(static_cast<std::uint8_t>(minCodeSize));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
  }
  TBytes End() {
    bytes.push_back(0x3B);
    return bytes;
  }
};

std::vector<std::uint8_t> Pattern(int w, int h, int colors, int salt = 0) {
  std::vector<std::uint8_t> indices;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      indices.push_back(static_cast<std::uint8_t>(((x / 3) ^ (y * 7) ^ salt) % colors));
  return indices;
}

void Decode(const TBytes& bytes, TBitmap32& bitmap) {
  TGIFImage gif;
  gif.LoadFromBytes(bytes);
  bitmap.SetHeight(0);
  bitmap.SetWidth(0);
  bitmap.AssignPicture(gif);
}

std::string LoadError(const TBytes& bytes) {
  TGIFImage gif;
  try {
    gif.LoadFromBytes(bytes);
  } catch (const EDecoderError& e) {
    return e.what();
  }
  return "";
}

TEST(GifImageTest, DecodesLongCompressedImagesExactly) {
  struct TCase {
    const char* name;
    int w, h, colors, minCodeSize;
    bool clearWhenFull;
  };
  // 300 x 200 of 16 colours overflows the 4096-entry table many times over.
  const TCase cases[] = {{"small", 7, 5, 4, 2, true},
                         {"full table, cleared", 300, 200, 16, 4, true},
                         {"full table, kept", 300, 200, 16, 4, false},
                         {"eight-bit codes", 64, 48, 256, 8, true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto indices = Pattern(c.w, c.h, c.colors);
    TBytes data = TGifBuilder()
                      .Screen(c.w, c.h, 7)
                      .RawImage(0, 0, c.w, c.h, false, c.minCodeSize,
                                SubBlocks(LzwData(indices, c.minCodeSize, c.clearWhenFull)))
                      .End();
    TBitmap32 bitmap;
    Decode(data, bitmap);
    ASSERT_EQ(bitmap.Width(), c.w);
    ASSERT_EQ(bitmap.Height(), c.h);
    for (std::size_t i = 0; i < indices.size(); ++i)
      ASSERT_EQ(bitmap.Bits()[i], TGifBuilder::PaletteColor(indices[i])) << "pixel " << i;
  }
}

TEST(GifImageTest, MatchesAnIndependentEncoder) {
  testing::TPnm expected;
  ASSERT_TRUE(
      testing::ParsePnm(testing::ReadFile(VELQUIN_SOURCE_DIR "/imaging/testdata/pattern.ppm"), expected));
  for (const char* name : {"plain.gif", "interlaced.gif"}) {
    SCOPED_TRACE(name);
    TGIFImage gif;
    gif.LoadFromFile(std::string(VELQUIN_SOURCE_DIR "/imaging/testdata/") + name);
    TBitmap32 bitmap;
    bitmap.AssignPicture(gif);
    EXPECT_EQ(testing::FirstDifference(bitmap, expected), -1);
  }
}

TEST(GifImageTest, InterlacedEqualsNonInterlacedForEveryPassLayout) {
  for (int h : {1, 2, 3, 4, 5, 8, 9, 12, 17}) {
    SCOPED_TRACE("height " + std::to_string(h));
    const int w = 6;
    const auto natural = Pattern(w, h, 16, h);
    std::vector<std::uint8_t> stored;
    for (int start : {0, 4, 2, 1})
      for (int y = start; y < h; y += start == 0 ? 8 : start == 4 ? 8 : start == 2 ? 4 : 2)
        stored.insert(stored.end(), natural.begin() + y * w, natural.begin() + (y + 1) * w);
    TBitmap32 plain, interlaced;
    Decode(TGifBuilder().Screen(w, h).Image(0, 0, w, h, natural).End(), plain);
    Decode(TGifBuilder().Screen(w, h).Image(0, 0, w, h, stored, true).End(), interlaced);
    ASSERT_EQ(interlaced.Height(), h);
    for (int i = 0; i < w * h; ++i) ASSERT_EQ(plain.Bits()[i], interlaced.Bits()[i]) << "pixel " << i;
  }
}

TEST(GifImageTest, DrawsOnlyTheFirstImageAtItsOffsetClipped) {
  const auto first = std::vector<std::uint8_t>(50 * 40, 5);
  TBytes data = TGifBuilder()
                    .Screen(100, 100)
                    .Image(10, 20, 50, 40, first)
                    .Image(0, 0, 100, 100, std::vector<std::uint8_t>(100 * 100, 6))
                    .Image(0, 0, 10, 10, std::vector<std::uint8_t>(100, 7))
                    .End();
  TGIFImage gif;
  gif.LoadFromBytes(data);
  EXPECT_EQ(gif.ImageCount(), 3);
  TBitmap32 bitmap;
  bitmap.AssignPicture(gif);
  ASSERT_EQ(bitmap.Width(), 100);
  ASSERT_EQ(bitmap.Height(), 100);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) {
      const bool inside = x >= 10 && x < 60 && y >= 20 && y < 60;
      ASSERT_EQ(bitmap.ReadPixel(x, y), inside ? TGifBuilder::PaletteColor(5) : kOpaqueBlack)
          << x << "," << y;
    }

  // An image reaching past the logical screen is cut off there.
  Decode(TGifBuilder().Screen(8, 6).Image(5, 4, 10, 10, Pattern(10, 10, 16)).End(), bitmap);
  const auto clipped = Pattern(10, 10, 16);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(bitmap.ReadPixel(x, y),
                x >= 5 && y >= 4 ? TGifBuilder::PaletteColor(clipped[(y - 4) * 10 + x - 5]) : kOpaqueBlack);
}

TEST(GifImageTest, TransparentPixelsComeOutOpaqueBlack) {
  std::vector<std::uint8_t> indices = {1, 2, 3, 2, 1, 2};
  TBitmap32 bitmap;
  Decode(TGifBuilder().Screen(3, 2).Control(true, 2).Image(0, 0, 3, 2, indices).End(), bitmap);
  const TColor32 expected[] = {TGifBuilder::PaletteColor(1), kOpaqueBlack,
                               TGifBuilder::PaletteColor(3), kOpaqueBlack,
                               TGifBuilder::PaletteColor(1), kOpaqueBlack};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(bitmap.Bits()[i], expected[i]) << i;

  // The index comes from the first control extension, the flag from any of them.
  Decode(TGifBuilder().Screen(3, 2).Control(false, 1).Control(true, 3).Image(0, 0, 3, 2, indices).End(),
         bitmap);
  EXPECT_EQ(bitmap.Bits()[0], kOpaqueBlack);
  EXPECT_EQ(bitmap.Bits()[1], TGifBuilder::PaletteColor(2));
  // Without the flag nothing is transparent.
  Decode(TGifBuilder().Screen(3, 2).Control(false, 2).Image(0, 0, 3, 2, indices).End(), bitmap);
  EXPECT_EQ(bitmap.Bits()[1], TGifBuilder::PaletteColor(2));
}

TEST(GifImageTest, ColoursComeFromTheLocalTableAndOutOfRangeIndicesAreBlack) {
  const std::vector<std::uint8_t> indices = {0, 1, 3, 9};
  TBitmap32 bitmap;
  // Local table of 4 entries holding (255 - i, 2i, i); index 9 lies beyond it.
  Decode(
      TGifBuilder().Screen(4, 1, 7).RawImage(0, 0, 4, 1, false, 4, SubBlocks(LzwData(indices, 4)), 1).End(),
      bitmap);
  EXPECT_EQ(bitmap.Bits()[1], kOpaqueBlack | 254u << 16 | 2u << 8 | 1u);
  EXPECT_EQ(bitmap.Bits()[3], kOpaqueBlack);
  // No colour table at all: every pixel black.
  Decode(TGifBuilder().Screen(4, 1, -1).Image(0, 0, 4, 1, indices).End(), bitmap);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(bitmap.Bits()[i], kOpaqueBlack);
}

TEST(GifImageTest, DataEndingEarlyLeavesTheStartingIndex) {
  auto lzw = LzwData(std::vector<std::uint8_t>(4, 3), 4);
  lzw.pop_back();  // loses the end code and part of the last code
  const TBytes cut = SubBlocks(TBytes(lzw.begin(), lzw.begin() + 2));
  TBitmap32 bitmap;
  Decode(TGifBuilder().Screen(4, 4).RawImage(0, 0, 4, 4, false, 4, cut).End(), bitmap);
  EXPECT_EQ(bitmap.Bits()[0], TGifBuilder::PaletteColor(3));
  EXPECT_EQ(bitmap.Bits()[15], TGifBuilder::PaletteColor(0));
  // With a transparent index the unreached pixels are not drawn.
  Decode(TGifBuilder().Screen(4, 4).Control(true, 7).RawImage(0, 0, 4, 4, false, 4, cut).End(), bitmap);
  EXPECT_EQ(bitmap.Bits()[15], kOpaqueBlack);
}

TEST(GifImageTest, ScreenWithoutImagesAndZeroSizedDescriptors) {
  TBitmap32 bitmap;
  Decode(TGifBuilder().Screen(120, 80).End(), bitmap);
  ASSERT_EQ(bitmap.Width(), 120);
  ASSERT_EQ(bitmap.Height(), 80);
  for (int i = 0; i < 120 * 80; ++i) ASSERT_EQ(bitmap.Bits()[i], kOpaqueBlack);

  // A descriptor of width 0 takes the logical screen's size.
  Decode(TGifBuilder().Screen(3, 2).Image(0, 0, 0, 5, std::vector<std::uint8_t>(6, 4)).End(), bitmap);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(bitmap.Bits()[i], TGifBuilder::PaletteColor(4));
}

TEST(GifImageTest, ToleratesPrefixesCaseAndStrayBlocks) {
  TBytes prefixed = {'X', 'Y', 'Z', 'W'};
  const TBytes gif = TGifBuilder().Screen(2, 1).Image(0, 0, 2, 1, {1, 2}).End();
  prefixed.insert(prefixed.end(), gif.begin(), gif.end());
  // The 4-byte prefix shifts nothing: the header follows the signature wherever it was found.
  TBitmap32 bitmap;
  Decode(prefixed, bitmap);
  EXPECT_EQ(bitmap.Bits()[1], TGifBuilder::PaletteColor(2));

  TBytes lower = gif;
  lower[0] = 'g';
  lower[2] = 'f';
  EXPECT_EQ(LoadError(lower), "");

  // Zero bytes between blocks are skipped, an unknown block byte ends the file quietly, and the
  // comment, application and plain-text extensions are read over.
  TBytes extras = TGifBuilder().Screen(2, 1).bytes;
  const TBytes blocks = {0, 0, 0x21, 0xFE, 3, 'a', 'b', 'c', 0, 0x21, 0xFF, 2, 1, 2, 0, 0x21, 0x01, 1, 9, 0};
  extras.insert(extras.end(), blocks.begin(), blocks.end());
  TGifBuilder rest;
  rest.RawImage(0, 0, 2, 1, false, 4, SubBlocks(LzwData({3, 3}, 4)));
  extras.insert(extras.end(), rest.bytes.begin(), rest.bytes.end());
  extras.push_back('!');
  Decode(extras, bitmap);
  EXPECT_EQ(bitmap.Bits()[0], TGifBuilder::PaletteColor(3));
}

TEST(GifImageTest, ReportsBrokenFiles) {
  const TBytes good = TGifBuilder().Screen(4, 4).Image(0, 0, 4, 4, Pattern(4, 4, 8)).End();
  TBytes badExtension = TGifBuilder().Screen(4, 4).bytes;
  badExtension.insert(badExtension.end(), {0x21, 0x42, 1, 0, 0});
  TBytes circular = TGifBuilder()
                        .Screen(4, 4)
                        .Image(0, 0, 4, 4, Pattern(4, 4, 8))
                        .Image(0, 0, 4, 4, Pattern(4, 4, 8))
                        .RawImage(0, 0, 4, 4, false, 2, {2, 0x04 | 0x07 << 3, 0, 0})  // clear, then code 7
                        .End();
  TBytes badCodeSize = TGifBuilder().Screen(4, 4).RawImage(0, 0, 4, 4, false, 12, {1, 0, 0}).End();
  struct TCase {
    const char* name;
    TBytes bytes;
    const char* error;
  };
  const TCase cases[] = {
      {"empty", {}, "Premature end of data"},
      {"signature only", {'G', 'I', 'F', '8', '9', 'a', 4}, "Premature end of data"},
      {"not a GIF", {'P', 'N', 'G', 'x', 'y', 'z', 'w', 0, 0, 0, 0, 0, 0, 0}, "Invalid GIF signature"},
      {"short colour table", TBytes(good.begin(), good.begin() + 20), "Premature end of data"},
      {"short image descriptor", TBytes(good.begin(), good.begin() + 13 + 48 + 5), "Premature end of data"},
      {"unknown extension", badExtension, "Unknown extension type"},
      {"corrupt third image", circular, "Circular decoder table entry"},
      {"code size 12", badCodeSize, "Circular decoder table entry"},
      {"good", good, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LoadError(c.bytes), c.error);
  }
}

}  // namespace
}  // namespace velquin
