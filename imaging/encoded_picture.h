// TEncodedPicture: a picture file of a format decoded by a system library (PNG, WebP, TIFF, HEIC),
// held in memory whole; its size is read from its header at load and its pixels are decoded when it
// is drawn. Whatever the file holds, the picture drawn is 8 bits per channel and opaque: samples of
// more than 8 bits are reduced to 8 and partly transparent pixels are composed over black; of a file
// with several pages or frames only the first is drawn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/bitmap32.h"
#include "platform/file_utils.h"

namespace velquin {

class TEncodedPicture : public TGraphic {
 public:
  // Reads the whole file, then its header. Throws EDecoderError when the file cannot be opened or
  // read, or its header names no picture; EOutOfResources when it does not fit in memory.
  void LoadFromFile(const std::string& path, TFileStamp* opened = nullptr);
  void LoadFromBytes(std::vector<std::uint8_t> bytes);

  std::int32_t Width() const override { return width_; }
  std::int32_t Height() const override { return height_; }
  // Draw writes every pixel with alpha 255.
  bool KeepsAlpha() const override { return true; }
  // Bytes the library holds beside the bitmap while drawing.
  virtual std::uint64_t DecoderMemory() const { return 0; }

 protected:
  // Reads the size from Bytes() and calls SetSize. Throws EDecoderError.
  virtual void ReadHeader() = 0;
  const std::vector<std::uint8_t>& Bytes() const { return data_; }
  // Throws EDecoderError("<format>: no picture in the file") unless both sizes are above 0 and fit.
  void SetSize(std::uint64_t width, std::uint64_t height, const char* format);

 private:
  std::vector<std::uint8_t> data_;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
};

// Makes `count` pixels of straight (not premultiplied) alpha opaque, each colour composed over black.
void ComposeOverBlack(TColor32* pixels, std::size_t count);

}  // namespace velquin
