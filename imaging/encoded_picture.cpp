#include "imaging/encoded_picture.h"

#include <limits>
#include <utility>

#include "imaging/errors.h"
#include "imaging/file_reader.h"

namespace velquin {

void TEncodedPicture::LoadFromFile(const std::string& path, TFileStamp* opened) {
  const TFileReader file(path, opened);
  LoadFromBytes(file.ReadAll());
}

void TEncodedPicture::LoadFromBytes(std::vector<std::uint8_t> bytes) {
  data_ = std::move(bytes);
  width_ = height_ = 0;
  ReadHeader();
}

void TEncodedPicture::SetSize(std::uint64_t width, std::uint64_t height, const char* format) {
  constexpr std::uint64_t kLargest = std::numeric_limits<std::int32_t>::max();
  if (width == 0 || height == 0 || width > kLargest || height > kLargest)
    throw EDecoderError(std::string(format) + ": no picture in the file");
  width_ = static_cast<std::int32_t>(width);
  height_ = static_cast<std::int32_t>(height);
}

void ComposeOverBlack(TColor32* pixels, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const TColor32 pixel = pixels[i];
    const std::uint32_t alpha = pixel >> 24;
    if (alpha == 255) continue;
    const auto over = [alpha](std::uint32_t channel) { return (channel * alpha + 127) / 255; };
    pixels[i] =
        kOpaqueBlack | over((pixel >> 16) & 0xFF) << 16 | over((pixel >> 8) & 0xFF) << 8 | over(pixel & 0xFF);
  }
}

}  // namespace velquin
