// TWebPImage: a WebP file decoded through libwebp, lossy or lossless; of an animated file the first
// frame on its canvas. Transparency is composed over black. A file libwebp refuses raises
// EDecoderError "WebP error: <reason>".
#pragma once

#include "imaging/encoded_picture.h"

namespace velquin {

class TWebPImage : public TEncodedPicture {
 public:
  void Draw(TBitmap32& target) const override;
  // An animation is decoded onto the library's own canvas, and the previous one kept beside it.
  std::uint64_t DecoderMemory() const override;

 private:
  void ReadHeader() override;
  void DrawFirstFrame(TBitmap32& target) const;

  bool animated_ = false;
};

}  // namespace velquin
