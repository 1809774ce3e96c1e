#include "fuzz/decode_picture.h"
#include "imaging/exif_orientation.h"
#include "imaging/jpeg_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The pair display reads the EXIF orientation of the same files the decoder reads.
  velquin::ExifOrientation(data, size);
  return velquin::DecodePicture<velquin::TJPEGImage>(data, size);
}
