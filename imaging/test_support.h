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
