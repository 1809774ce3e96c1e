#include "imaging/webp_image.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "imaging/errors.h"

namespace velquin {
namespace {

std::string StatusText(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
      return "out of memory";
    case VP8_STATUS_INVALID_PARAM:
      return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR:
      return "not a WebP file, or a damaged one";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      return "unsupported feature";
    case VP8_STATUS_NOT_ENOUGH_DATA:
      return "premature end of data";
    default:
      return "decoding failed";
  }
}

[[noreturn]] void Fail(const std::string& reason) { throw EDecoderError("WebP error: " + reason); }

struct TAnimDecoderFree {
  void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

}  // namespace

void TWebPImage::ReadHeader() {
  WebPBitstreamFeatures features{};
  const VP8StatusCode status = WebPGetFeatures(Bytes().data(), Bytes().size(), &features);
  if (status != VP8_STATUS_OK) Fail(StatusText(status));
  animated_ = features.has_animation != 0;
  SetSize(static_cast<std::uint64_t>(std::max(features.width, 0)),
          static_cast<std::uint64_t>(std::max(features.height, 0)), "WebP");
}

std::uint64_t TWebPImage::DecoderMemory() const {
  if (!animated_) return 0;
  return 2 * static_cast<std::uint64_t>(Width()) * static_cast<std::uint64_t>(Height()) * sizeof(TColor32);
}

void TWebPImage::Draw(TBitmap32& target) const {
  const std::size_t pixels = static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height());
  if (animated_) {
    DrawFirstFrame(target);
  } else {
    // Bytes blue, green, red, alpha: a TColor32 in memory.
    auto* out = reinterpret_cast<std::uint8_t*>(target.Bits());
    if (WebPDecodeBGRAInto(Bytes().data(), Bytes().size(), out, pixels * sizeof(TColor32),
                           static_cast<int>(static_cast<std::size_t>(Width()) * sizeof(TColor32))) == nullptr)
      Fail("decoding failed");
  }
  ComposeOverBlack(target.Bits(), pixels);
}

void TWebPImage::DrawFirstFrame(TBitmap32& target) const {
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) Fail("decoding failed");
  options.color_mode = MODE_BGRA;
  options.use_threads = 0;
  const WebPData data{Bytes().data(), Bytes().size()};
  const std::unique_ptr<WebPAnimDecoder, TAnimDecoderFree> decoder(WebPAnimDecoderNew(&data, &options));
  if (decoder == nullptr) Fail("not a WebP file, or a damaged one");
  WebPAnimInfo info{};
  if (!WebPAnimDecoderGetInfo(decoder.get(), &info) ||
      info.canvas_width != static_cast<std::uint32_t>(Width()) ||
      info.canvas_height != static_cast<std::uint32_t>(Height()))
    Fail("the animation's canvas differs from its header");
  std::uint8_t* canvas = nullptr;
  int timestamp = 0;
  if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp)) Fail("decoding failed");
  std::memcpy(target.Bits(), canvas,
              static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height()) * sizeof(TColor32));
}

}  // namespace velquin
