// ReadPictureHeader: a picture's format and pixel size from the first bytes of its file, without
// decoding it, for listings of many pictures at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velquin {

struct TPictureHeader {
  std::string Format;  // "JPEG", "GIF" or "BMP"
  std::int32_t Width = 0;
  std::int32_t Height = 0;
};

// The format by the file's signature bytes (not its name) and the size the decoders give the picture:
// a JPEG's frame header, a GIF's logical screen, a BMP's header (a top-down BMP's height made positive).
// nullopt when the file cannot be read or its header is not one of these, or is cut short.
std::optional<TPictureHeader> ReadPictureHeader(const std::string& path);

}  // namespace velquin
