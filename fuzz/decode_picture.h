// The body shared by the decoder fuzzers: load the bytes, draw them when the picture is of a size a
// run may allocate, and accept only the decoders' own failures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/bitmap32.h"
#include "imaging/errors.h"

namespace velquin {

// Larger pictures are loaded but not drawn: their memory is the announced size, not a fault.
inline constexpr std::int64_t kMaxFuzzPixels = std::int64_t{1} << 20;

template <class TDecoder>
int DecodePicture(const std::uint8_t* data, std::size_t size) {
  TDecoder decoder;
  try {
    decoder.LoadFromBytes(std::vector<std::uint8_t>(data, data + size));
    if (static_cast<std::int64_t>(decoder.Width()) * decoder.Height() > kMaxFuzzPixels) return 0;
    TBitmap32 bitmap;
    bitmap.AssignPicture(decoder);
  } catch (const EDecoderError&) {
  } catch (const EOutOfResources&) {
  }
  return 0;
}

}  // namespace velquin
