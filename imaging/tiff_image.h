// TTiffImage: the first page of a TIFF file, decoded through libtiff's RGBA reader, which takes every
// photometric kind the library knows (palette, gray, RGB, YCbCr, CMYK, ...), reduces 16-bit samples
// to 8 and delivers transparency premultiplied, that is composed over black. Library errors raise
// EDecoderError "TIFF error: <library text>"; warnings are ignored.
#pragma once

#include "imaging/encoded_picture.h"

namespace velquin {

class TTiffImage : public TEncodedPicture {
 public:
  void Draw(TBitmap32& target) const override;

 private:
  void ReadHeader() override;
};

}  // namespace velquin
