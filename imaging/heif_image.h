// THeifImage: the primary picture of a HEIF file (.heic, .heif) decoded through libheif, turned and
// mirrored as the file says, as 8-bit RGB with transparency composed over black. Library errors
// raise EDecoderError "HEIF error: <library text>".
#pragma once

#include "imaging/encoded_picture.h"

namespace velquin {

class THeifImage : public TEncodedPicture {
 public:
  void Draw(TBitmap32& target) const override;
  // The library's decoded planes and the RGBA picture made from them.
  std::uint64_t DecoderMemory() const override;

 private:
  void ReadHeader() override;
};

}  // namespace velquin
