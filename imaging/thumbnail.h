// LoadThumbnail: a small picture of a file for a strip of thumbnails. JPEG files are decoded at a
// reduced scale by libjpeg itself (1/2, 1/4 or 1/8, the smallest that still covers the thumbnail), so a
// large photo costs a fraction of its full decoding, and is turned as its EXIF orientation says, as the
// pair display shows it; GIF and BMP files are decoded in full. Safe to call from any thread; nothing is
// shared between calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velquin {

struct TThumbnail {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::vector<std::uint32_t> Pixels;  // 0xAARRGGBB, row by row, top row first
};

// The picture scaled down (never up) to fit maxSide x maxSide, keeping its proportions. Throws
// EDecoderError (imaging/errors.h) when the file cannot be decoded. REQUIRES: maxSide > 0.
TThumbnail LoadThumbnail(const std::string& path, std::int32_t maxSide);

}  // namespace velquin
