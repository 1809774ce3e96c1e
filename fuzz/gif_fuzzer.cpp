#include "fuzz/decode_picture.h"
#include "imaging/gif_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return velquin::DecodePicture<velquin::TGIFImage>(data, size);
}
