// Helpers shared by the imaging tests: files and PNM pictures (temporary folders: TTestDir).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/bitmap32.h"
#include "platform/test_dir.h"

namespace velquin::testing {

using TBytes = std::vector<std::uint8_t>;

inline void WriteFile(const std::string& path, const TBytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline TBytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// JPEG segments for EXIF tests. A marker segment: FF, marker, 16-bit length, body.
inline std::string Segment(std::uint8_t marker, const std::string& body) {
  const std::size_t length = body.size() + 2;
  return std::string{'\xFF', static_cast<char>(marker), static_cast<char>(length >> 8),
                     static_cast<char>(length & 0xFF)} +
         body;
}

// A TIFF block whose first IFD holds one entry (tag, type, count, value); the IFD follows the header.
inline std::string Tiff(bool bigEndian, std::uint16_t value, std::uint16_t tag = 0x0112,
                        std::uint16_t type = 3, std::uint32_t count = 1, std::uint32_t ifd = 8,
                        std::uint16_t entries = 2) {
  std::string out = bigEndian ? "MM" : "II";
  const auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      const int shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
      out += static_cast<char>((v >> shift) & 0xFF);
    }
  };
  put(42, 2);
  put(ifd, 4);
  put(entries, 2);
  // Another tag first, as cameras write several.
  put(0x010F, 2);
  put(2, 2);
  put(4, 4);
  out += "Cam";
  out += '\0';
  put(tag, 2);
  put(type, 2);
  put(count, 4);
  put(value, 2);
  put(0, 2);
  put(0, 4);  // no next IFD
  return out;
}

inline std::string Exif(const std::string& tiff) { return Segment(0xE1, std::string("Exif\0\0", 6) + tiff); }

// jpeg with an EXIF block of the given orientation right after its start marker.
inline TBytes WithExifOrientation(const TBytes& jpeg, std::uint16_t orientation) {
  const std::string exif = Exif(Tiff(orientation % 2 == 0, orientation));
  TBytes file(jpeg.begin(), jpeg.begin() + 2);
  file.insert(file.end(), exif.begin(), exif.end());
  file.insert(file.end(), jpeg.begin() + 2, jpeg.end());
  return file;
}

// A P5 or P6 picture with maxval 255, as 0xFFRRGGBB pixels.
struct TPnm {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<TColor32> pixels;
};

inline bool ParsePnm(const TBytes& bytes, TPnm& pnm) {
  std::size_t pos = 0;
  auto token = [&]() {
    while (pos < bytes.size() && (std::isspace(bytes[pos]) || bytes[pos] == '#')) {
      if (bytes[pos] == '#')
        while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
      else
        ++pos;
    }
    std::string text;
    while (pos < bytes.size() && !std::isspace(bytes[pos])) text += static_cast<char>(bytes[pos++]);
    return text;
  };
  const std::string magic = token();
  if (magic != "P5" && magic != "P6") return false;
  pnm.width = std::stoi(token());
  pnm.height = std::stoi(token());
  if (token() != "255") return false;
  ++pos;
  const std::size_t channels = magic == "P6" ? 3 : 1;
  const std::size_t count = static_cast<std::size_t>(pnm.width) * static_cast<std::size_t>(pnm.height);
  if (bytes.size() - pos < count * channels) return false;
  pnm.pixels.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = bytes.data() + pos + i * channels;
    const TColor32 r = p[0], g = p[channels > 1 ? 1 : 0], b = p[channels > 1 ? 2 : 0];
    pnm.pixels[i] = kOpaqueBlack | r << 16 | g << 8 | b;
  }
  return true;
}

// Returns the index of the first pixel where the bitmap differs from the picture, or -1.
inline std::int64_t FirstDifference(const TBitmap32& bitmap, const TPnm& pnm) {
  if (bitmap.Width() != pnm.width || bitmap.Height() != pnm.height) return 0;
  for (std::size_t i = 0; i < pnm.pixels.size(); ++i)
    if (bitmap.Bits()[i] != pnm.pixels[i]) return static_cast<std::int64_t>(i);
  return -1;
}

}  // namespace velquin::testing
