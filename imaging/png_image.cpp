#include "imaging/png_image.h"

#include <png.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/errors.h"

namespace velquin {
namespace {

// What the library reads from, and the text of its fatal error.
struct TPngSource {
  const std::vector<std::uint8_t>* data;
  std::size_t position = 0;
  char message[256] = {};
};

// libpng is C: a fatal error jumps back to the frame that called the library, which then throws.
void PngError(png_structp png, png_const_charp message) {
  auto* source = static_cast<TPngSource*>(png_get_error_ptr(png));
  std::strncpy(source->message, message, sizeof(source->message) - 1);
  png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep out, png_size_t count) {
  auto* source = static_cast<TPngSource*>(png_get_io_ptr(png));
  const std::size_t left = source->data->size() - source->position;
  if (count > left) png_error(png, "Read past the end of the data");
  std::memcpy(out, source->data->data() + source->position, count);
  source->position += count;
}

// One read of the data by the library, freed on every way out.
class TPngRead {
 public:
  explicit TPngRead(const std::vector<std::uint8_t>& data) {
    source_.data = &data;
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source_, PngError, PngWarning);
    if (png_ != nullptr) info_ = png_create_info_struct(png_);
    if (png_ == nullptr || info_ == nullptr) {
      Free();
      throw EOutOfResources("Not enough memory to decode a PNG file");
    }
    png_set_read_fn(png_, &source_, PngRead);
  }
  ~TPngRead() { Free(); }
  TPngRead(const TPngRead&) = delete;
  TPngRead& operator=(const TPngRead&) = delete;

  png_structp Png() const { return png_; }
  png_infop Info() const { return info_; }
  [[noreturn]] void Fail() const { throw EDecoderError(std::string("PNG error: ") + source_.message); }

 private:
  void Free() {
    png_destroy_read_struct(png_ != nullptr ? &png_ : nullptr, info_ != nullptr ? &info_ : nullptr, nullptr);
  }

  TPngSource source_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

}  // namespace

void TPngImage::ReadHeader() {
  TPngRead read(Bytes());
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  if (setjmp(png_jmpbuf(read.Png()))) read.Fail();
  png_read_info(read.Png(), read.Info());
  width = png_get_image_width(read.Png(), read.Info());
  height = png_get_image_height(read.Png(), read.Info());
  SetSize(width, height, "PNG");
}

void TPngImage::Draw(TBitmap32& target) const {
  TPngRead read(Bytes());
  std::vector<png_bytep> rows(static_cast<std::size_t>(Height()));
  for (std::int32_t y = 0; y < Height(); ++y)
    rows[static_cast<std::size_t>(y)] = reinterpret_cast<png_bytep>(target.ScanLine(y));
  png_structp png = read.Png();
  png_infop info = read.Info();
  if (setjmp(png_jmpbuf(png))) read.Fail();
  png_read_info(png, info);
  if (png_get_image_width(png, info) != static_cast<png_uint_32>(Width()) ||
      png_get_image_height(png, info) != static_cast<png_uint_32>(Height()))
    png_error(png, "Image size changed");
  // To bytes blue, green, red, alpha: a TColor32 in memory.
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<std::size_t>(Width()) * sizeof(TColor32))
    png_error(png, "Unexpected row size");
  png_read_image(png, rows.data());
  ComposeOverBlack(target.Bits(), static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height()));
}

}  // namespace velquin
