#include "fuzz/decode_picture.h"
#include "imaging/webp_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return velquin::DecodePicture<velquin::TWebPImage>(data, size);
}
