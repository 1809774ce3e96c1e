#include "fuzz/decode_picture.h"
#include "imaging/tiff_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return velquin::DecodePicture<velquin::TTiffImage>(data, size);
}
