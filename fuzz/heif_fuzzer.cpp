#include "fuzz/decode_picture.h"
#include "imaging/heif_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return velquin::DecodePicture<velquin::THeifImage>(data, size);
}
