#include "imaging/thumbnail.h"

#include <jpeglib.h>
#include <sys/stat.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include "imaging/bitmap32.h"
#include "imaging/errors.h"
#include "imaging/exif_orientation.h"
#include "imaging/picture_header.h"
#include "imaging/picture_loader.h"

namespace velquin {
namespace {

// libjpeg's fatal errors come back through longjmp with the library's message; warnings are ignored.
struct TThumbnailErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<TThumbnailErrors*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  std::longjmp(errors->jump, 1);
}

void IgnoreMessage(j_common_ptr, int) {}

// Box-filters `source` (width x height, 0xAARRGGBB) down to fit maxSide x maxSide.
TThumbnail Shrink(const std::uint32_t* source, std::int32_t width, std::int32_t height,
                  std::int32_t maxSide) {
  TThumbnail result;
  if (width <= 0 || height <= 0) return result;
  const double scale = std::min(1.0, static_cast<double>(maxSide) / std::max(width, height));
  result.Width = std::max(1, static_cast<std::int32_t>(width * scale));
  result.Height = std::max(1, static_cast<std::int32_t>(height * scale));
  result.Pixels.resize(static_cast<std::size_t>(result.Width) * static_cast<std::size_t>(result.Height));
  for (std::int32_t y = 0; y < result.Height; ++y) {
    const std::int32_t y0 = static_cast<std::int32_t>(static_cast<std::int64_t>(y) * height / result.Height);
    const std::int32_t y1 = std::max(
        y0 + 1, static_cast<std::int32_t>(static_cast<std::int64_t>(y + 1) * height / result.Height));
    for (std::int32_t x = 0; x < result.Width; ++x) {
      const std::int32_t x0 = static_cast<std::int32_t>(static_cast<std::int64_t>(x) * width / result.Width);
      const std::int32_t x1 = std::max(
          x0 + 1, static_cast<std::int32_t>(static_cast<std::int64_t>(x + 1) * width / result.Width));
      std::uint64_t r = 0, g = 0, b = 0;
      for (std::int32_t sy = y0; sy < y1; ++sy) {
        for (std::int32_t sx = x0; sx < x1; ++sx) {
          const std::uint32_t p = source[static_cast<std::size_t>(sy) * static_cast<std::size_t>(width) + sx];
          r += (p >> 16) & 0xFF;
          g += (p >> 8) & 0xFF;
          b += p & 0xFF;
        }
      }
      const std::uint64_t n = static_cast<std::uint64_t>(y1 - y0) * static_cast<std::uint64_t>(x1 - x0);
      result.Pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(result.Width) + x] =
          0xFF000000u | static_cast<std::uint32_t>(r / n) << 16 | static_cast<std::uint32_t>(g / n) << 8 |
          static_cast<std::uint32_t>(b / n);
    }
  }
  return result;
}

// The decoded picture at the chosen scale, as the library delivers it.
struct TScaledPicture {
  std::vector<std::uint32_t> Pixels;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
};

// Returns false, with the library's message in errors.message, when decoding fails. Everything the
// decoding changes lives outside this frame, so the jump back leaves nothing half made here.
bool DecodeScaled(const std::vector<unsigned char>& bytes, std::int32_t maxSide,
                  jpeg_decompress_struct& cinfo, TThumbnailErrors& errors, TScaledPicture& picture,
                  std::vector<JSAMPLE>& row) {
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = ErrorExit;
  errors.pub.emit_message = IgnoreMessage;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  // The smallest scale whose picture still covers the thumbnail.
  cinfo.scale_num = 1;
  cinfo.scale_denom = 1;
  while (cinfo.scale_denom < 8 && std::max(cinfo.image_width, cinfo.image_height) / (cinfo.scale_denom * 2) >=
                                      static_cast<JDIMENSION>(maxSide)) {
    cinfo.scale_denom *= 2;
  }
  cinfo.out_color_space = JCS_RGB;
  // A thumbnail shows no difference between the exact and the fast transform, nor between smooth and
  // plain upsampling of the colour planes; the fast ones let the library merge upsampling with the
  // colour conversion.
  cinfo.dct_method = JDCT_IFAST;
  cinfo.do_fancy_upsampling = FALSE;
  cinfo.do_block_smoothing = FALSE;
  jpeg_start_decompress(&cinfo);
  picture.Width = static_cast<std::int32_t>(cinfo.output_width);
  picture.Height = static_cast<std::int32_t>(cinfo.output_height);
  picture.Pixels.resize(static_cast<std::size_t>(cinfo.output_width) * cinfo.output_height);
  row.resize(static_cast<std::size_t>(cinfo.output_width) * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    std::uint32_t* out =
        &picture.Pixels[static_cast<std::size_t>(cinfo.output_scanline) * cinfo.output_width];
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&cinfo, rows, 1);
    for (std::size_t x = 0; x < cinfo.output_width; ++x) {
      out[x] = 0xFF000000u | static_cast<std::uint32_t>(row[x * 3]) << 16 |
               static_cast<std::uint32_t>(row[x * 3 + 1]) << 8 | row[x * 3 + 2];
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// The whole file, read in one go: the library needs every byte of it, even at 1/8 scale.
std::vector<unsigned char> ReadBytes(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) throw EDecoderError("Cannot open file \"" + path + "\".");
  std::vector<unsigned char> bytes;
  struct stat st {};
  if (fstat(fileno(file), &st) == 0 && st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  unsigned char block[1 << 16];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;)
    bytes.insert(bytes.end(), block, block + got);
  std::fclose(file);
  return bytes;
}

// Turned as the camera meant it to be seen, as the pair display shows the picture.
TThumbnail Oriented(TThumbnail thumbnail, int orientation) {
  if (orientation == kOrientationNormal || thumbnail.Pixels.empty()) return thumbnail;
  TBitmap32 bitmap;
  bitmap.Resize(thumbnail.Width, thumbnail.Height);
  std::copy(thumbnail.Pixels.begin(), thumbnail.Pixels.end(), bitmap.Bits());
  OrientForDisplay(bitmap, orientation);
  thumbnail.Width = bitmap.Width();
  thumbnail.Height = bitmap.Height();
  thumbnail.Pixels.assign(bitmap.Bits(), bitmap.Bits() + thumbnail.Pixels.size());
  return thumbnail;
}

TThumbnail JpegThumbnail(const std::string& path, std::int32_t maxSide) {
  const std::vector<unsigned char> bytes = ReadBytes(path);
  jpeg_decompress_struct cinfo;
  TThumbnailErrors errors;
  TScaledPicture picture;
  std::vector<JSAMPLE> row;
  if (!DecodeScaled(bytes, maxSide, cinfo, errors, picture, row)) throw EDecoderError(errors.message);
  return Oriented(Shrink(picture.Pixels.data(), picture.Width, picture.Height, maxSide),
                  ExifOrientation(bytes.data(), bytes.size()));
}

}  // namespace

TThumbnail LoadThumbnail(const std::string& path, std::int32_t maxSide) {
  const std::optional<TPictureHeader> header = ReadPictureHeader(path);
  if (header && header->Format == "JPEG") return JpegThumbnail(path, maxSide);
  TBitmap32 bitmap;
  if (!LoadPicture(path, bitmap, nullptr, {}, TPictureFormats::kAll))
    throw EDecoderError("Not a picture: \"" + path + "\".");
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(bitmap.Width()) *
                                    static_cast<std::size_t>(bitmap.Height()));
  for (std::int32_t y = 0; y < bitmap.Height(); ++y) {
    const TColor32* line = bitmap.ScanLine(y);
    std::copy(line, line + bitmap.Width(), pixels.begin() + static_cast<std::ptrdiff_t>(y) * bitmap.Width());
  }
  return Shrink(pixels.data(), bitmap.Width(), bitmap.Height(), maxSide);
}

}  // namespace velquin
