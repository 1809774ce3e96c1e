#include "imaging/tiff_image.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/errors.h"

namespace velquin {
namespace {

// The data the library reads through the client procedures below, and the text of its last error.
struct TTiffSource {
  const std::vector<std::uint8_t>* data;
  toff_t position = 0;
  std::string error;
};

TTiffSource& SourceOf(thandle_t handle) { return *static_cast<TTiffSource*>(handle); }

tmsize_t ReadProc(thandle_t handle, void* out, tmsize_t count) {
  TTiffSource& source = SourceOf(handle);
  const std::size_t size = source.data->size();
  if (count < 0 || source.position >= size) return 0;
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), size - source.position);
  std::memcpy(out, source.data->data() + source.position, n);
  source.position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  TTiffSource& source = SourceOf(handle);
  toff_t base = 0;
  if (whence == SEEK_CUR)
    base = source.position;
  else if (whence == SEEK_END)
    base = source.data->size();
  source.position = base + offset;
  return source.position;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return SourceOf(handle).data->size(); }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

int ErrorProc(TIFF*, void* user, const char*, const char* format, va_list args) {
  char text[256];
  std::vsnprintf(text, sizeof(text), format, args);
  auto* source = static_cast<TTiffSource*>(user);
  if (source->error.empty()) source->error = text;
  return 1;
}
int WarningProc(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TTiffClose {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// The file opened by the library on its first page, closed on every way out.
class TTiffRead {
 public:
  explicit TTiffRead(const std::vector<std::uint8_t>& data) {
    source_.data = &data;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) throw EOutOfResources("Not enough memory to decode a TIFF file");
    TIFFOpenOptionsSetErrorHandlerExtR(options, ErrorProc, &source_);
    TIFFOpenOptionsSetWarningHandlerExtR(options, WarningProc, &source_);
    // "m": the data is read through the procedures, never mapped.
    tiff_.reset(TIFFClientOpenExt("picture", "rm", &source_, ReadProc, WriteProc, SeekProc, CloseProc,
                                  SizeProc, MapProc, UnmapProc, options));
    TIFFOpenOptionsFree(options);
    if (tiff_ == nullptr) Fail();
  }

  TIFF* Tiff() const { return tiff_.get(); }
  [[noreturn]] void Fail() const {
    throw EDecoderError("TIFF error: " +
                        (source_.error.empty() ? std::string("decoding failed") : source_.error));
  }

 private:
  TTiffSource source_;
  std::unique_ptr<TIFF, TTiffClose> tiff_;
};

}  // namespace

void TTiffImage::ReadHeader() {
  const TTiffRead read(Bytes());
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  if (!TIFFGetField(read.Tiff(), TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(read.Tiff(), TIFFTAG_IMAGELENGTH, &height))
    read.Fail();
  SetSize(width, height, "TIFF");
}

void TTiffImage::Draw(TBitmap32& target) const {
  const TTiffRead read(Bytes());
  // Each pixel comes as 0xAABBGGRR, alpha premultiplied.
  auto* raster = reinterpret_cast<std::uint32_t*>(target.Bits());
  if (!TIFFReadRGBAImageOriented(read.Tiff(), static_cast<std::uint32_t>(Width()),
                                 static_cast<std::uint32_t>(Height()), raster, ORIENTATION_TOPLEFT, 1))
    read.Fail();
  const std::size_t pixels = static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height());
  for (std::size_t i = 0; i < pixels; ++i) {
    const std::uint32_t abgr = raster[i];
    raster[i] = kOpaqueBlack | (abgr & 0xFF) << 16 | (abgr & 0xFF00) | ((abgr >> 16) & 0xFF);
  }
}

}  // namespace velquin
