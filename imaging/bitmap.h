// TBitmap: a BMP file's raster in the file's own pixel format, converted to TColor32 when drawn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/bitmap32.h"
#include "platform/file_utils.h"

namespace velquin {

class TBitmap : public TGraphic {
 public:
  // Reads the file and checks its headers; a 0-byte file is a 0 x 0 picture. Throws EDecoderError
  // "Bitmap image is not valid" for a header that cannot be drawn, "Stream read error" when the
  // file ends inside its file header, info header, masks or colour table.
  void LoadFromFile(const std::string& path, TFileStamp* opened = nullptr);
  void LoadFromBytes(std::vector<std::uint8_t> bytes);

  std::int32_t Width() const override { return width_; }
  std::int32_t Height() const override { return height_; }
  std::uint16_t BitCount() const { return bitCount_; }
  // Writes every pixel. Pixel data cut short reads as zero bytes.
  void Draw(TBitmap32& target) const override;
  // A 32-bit raster brings its own fourth byte, which is kept as it stands.
  bool KeepsAlpha() const override { return bitCount_ == 32; }

 private:
  struct TField {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
  };

  void DrawUncompressed(TBitmap32& target) const;
  void DrawRunLength(TBitmap32& target) const;
  TColor32 FromFields(std::uint32_t raw) const;

  std::vector<std::uint8_t> data_;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  bool topDown_ = false;
  std::uint16_t bitCount_ = 0;
  std::uint32_t compression_ = 0;
  bool useFields_ = false;
  TField fields_[3];  // red, green, blue
  TColor32 palette_[256] = {};
  std::size_t pixelOffset_ = 0;
};

}  // namespace velquin
