// TGIFImage: a GIF87a/GIF89a file, checked whole when loaded, drawn as its first image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/bitmap32.h"
#include "platform/file_utils.h"

namespace velquin {

class TGIFImage : public TGraphic {
 public:
  // Reads the file and decodes every image in it, so that an error in any image fails the load.
  // Throws EDecoderError with the decoder's own texts ("Invalid GIF signature", "Premature end of
  // data", "Circular decoder table entry", "Unknown extension type", "Cannot open file ...").
  void LoadFromFile(const std::string& path, TFileStamp* opened = nullptr);
  void LoadFromBytes(std::vector<std::uint8_t> bytes);

  // The logical screen's size.
  std::int32_t Width() const override { return screenWidth_; }
  std::int32_t Height() const override { return screenHeight_; }
  std::int32_t ImageCount() const { return imageCount_; }
  // Draws the first image at its offset, clipped to the logical screen; transparent pixels and
  // the screen outside the image are left untouched.
  void Draw(TBitmap32& target) const override;

 private:
  struct TFrame {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool interlaced = false;
    bool transparent = false;
    std::uint8_t transparentIndex = 0;
    std::size_t colorTable = 0;  // offset of the colour table in use; 0 when there is none
    std::size_t colorCount = 0;
    std::size_t data = 0;  // offset of the LZW minimum code size byte; 0 when the file ends before it
  };

  std::vector<std::uint8_t> data_;
  std::int32_t screenWidth_ = 0;
  std::int32_t screenHeight_ = 0;
  std::int32_t imageCount_ = 0;
  TFrame first_;
};

}  // namespace velquin
