// TPngImage: a PNG file decoded through libpng. Palette, gray and 16-bit samples are expanded or
// reduced to 8-bit RGB, transparency (an alpha channel or a tRNS chunk) is composed over black, and
// gamma and colour profiles are not applied, so equal samples give equal pixels. Of an animated file
// the default image is drawn. Fatal library errors raise EDecoderError "PNG error: <library text>".
#pragma once

#include "imaging/encoded_picture.h"

namespace velquin {

class TPngImage : public TEncodedPicture {
 public:
  void Draw(TBitmap32& target) const override;

 private:
  void ReadHeader() override;
};

}  // namespace velquin
