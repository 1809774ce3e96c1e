// TJPEGImage: a JPEG file, held open or in memory, decoded through libjpeg (API 62) when it is drawn.
// The library is fed the file in pieces, never the whole file at once.
//
// Decoding is fixed, because signatures depend on the exact pixels: full scale, accurate integer
// IDCT, fancy upsampling, no buffered image; three-component files give the library's RGB output,
// one-component files go through its one-pass quantiser to 236 gray levels with Floyd-Steinberg
// dithering. Warnings are ignored; fatal library errors raise EDecoderError with the library's own
// message text (for instance "Not a JPEG file: starts with 0x00 0x00").
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/bitmap32.h"
#include "platform/file_utils.h"

namespace velquin {

class TFileReader;

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  ~TJPEGImage() override;

  // Opens the file, keeps it open for Draw and reads its header. A 0-byte file is a 0 x 0 picture.
  // Throws EDecoderError for unreadable files, header errors and files with other than 1 or 3
  // colour components.
  void LoadFromFile(const std::string& path, TFileStamp* opened = nullptr);
  void LoadFromBytes(std::vector<std::uint8_t> bytes);

  std::int32_t Width() const override { return width_; }
  std::int32_t Height() const override { return height_; }
  bool Grayscale() const { return grayscale_; }
  bool ProgressiveEncoding() const { return progressive_; }
  // Bytes the library holds beside the bitmap while drawing: the whole image's coefficients for
  // files of several scans, nothing worth counting otherwise.
  std::uint64_t CoefficientMemory() const { return coefficientMemory_; }
  // Decodes with a fresh decompressor straight into the target's rows.
  void Draw(TBitmap32& target) const override;
  // Draw writes every pixel with alpha 255 already, so the pass that would make them opaque is saved.
  bool KeepsAlpha() const override { return true; }
  // The library delivers every row in full, top first, even for data that ends early.
  bool DrawsEveryRowInOrder() const override { return true; }

 private:
  bool Empty() const;
  void ReadPictureHeader();

  std::unique_ptr<TFileReader> file_;
  std::vector<std::uint8_t> data_;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  bool grayscale_ = false;
  bool progressive_ = false;
  std::uint64_t coefficientMemory_ = 0;
};

}  // namespace velquin
