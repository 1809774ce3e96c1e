#include "imaging/heif_image.h"

#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <string>

#include "imaging/errors.h"

namespace velquin {
namespace {

struct THeifFree {
  void operator()(heif_context* context) const { heif_context_free(context); }
  void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
  void operator()(heif_image* image) const { heif_image_release(image); }
};
template <typename T>
using THeifPtr = std::unique_ptr<T, THeifFree>;

void Check(const heif_error& error) {
  if (error.code != heif_error_Ok) throw EDecoderError(std::string("HEIF error: ") + error.message);
}

// The file's primary picture, read from the data in place.
class THeifRead {
 public:
  explicit THeifRead(const std::vector<std::uint8_t>& data) : context_(heif_context_alloc()) {
    if (context_ == nullptr) throw EOutOfResources("Not enough memory to decode a HEIF file");
    Check(heif_context_read_from_memory_without_copy(context_.get(), data.data(), data.size(), nullptr));
    heif_image_handle* handle = nullptr;
    Check(heif_context_get_primary_image_handle(context_.get(), &handle));
    handle_.reset(handle);
  }
  heif_image_handle* Handle() const { return handle_.get(); }

 private:
  THeifPtr<heif_context> context_;
  THeifPtr<heif_image_handle> handle_;
};

}  // namespace

void THeifImage::ReadHeader() {
  const THeifRead read(Bytes());
  const int width = heif_image_handle_get_width(read.Handle());
  const int height = heif_image_handle_get_height(read.Handle());
  SetSize(width > 0 ? static_cast<std::uint64_t>(width) : 0,
          height > 0 ? static_cast<std::uint64_t>(height) : 0, "HEIF");
}

std::uint64_t THeifImage::DecoderMemory() const {
  // 4 bytes a pixel of RGBA, up to 2 more of 4:2:0 planes.
  return 6 * static_cast<std::uint64_t>(Width()) * static_cast<std::uint64_t>(Height());
}

void THeifImage::Draw(TBitmap32& target) const {
  const THeifRead read(Bytes());
  heif_image* decoded = nullptr;
  Check(
      heif_decode_image(read.Handle(), &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr));
  const THeifPtr<heif_image> image(decoded);
  if (heif_image_get_width(decoded, heif_channel_interleaved) != Width() ||
      heif_image_get_height(decoded, heif_channel_interleaved) != Height())
    throw EDecoderError("HEIF error: the decoded picture's size differs from its header");
  int stride = 0;
  const std::uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
  if (plane == nullptr || stride < Width() * 4) throw EDecoderError("HEIF error: no picture decoded");
  for (std::int32_t y = 0; y < Height(); ++y) {
    const std::uint8_t* in = plane + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
    TColor32* out = target.ScanLine(y);
    for (std::int32_t x = 0; x < Width(); ++x, in += 4)
      out[x] = static_cast<TColor32>(in[3]) << 24 | static_cast<TColor32>(in[0]) << 16 |
               static_cast<TColor32>(in[1]) << 8 | in[2];
  }
  ComposeOverBlack(target.Bits(), static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height()));
}

}  // namespace velquin
