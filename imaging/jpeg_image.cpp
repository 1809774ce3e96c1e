#include "imaging/jpeg_image.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <memory>
#include <string>
#include <utility>

#include "imaging/errors.h"
#include "imaging/file_reader.h"

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

namespace velquin {
namespace {

// The library's own file source hands out pieces of this size; the output does not depend on it.
constexpr std::size_t kSourcePiece = 4096;
// An open file is read in pieces of this size: few enough reads that decoding from the file costs no
// more than from memory, while a file that is no JPEG costs one piece whatever its size.
constexpr std::size_t kFilePiece = 64 * 1024;
constexpr int kGrayLevels = 236;
constexpr int kDecodedOk = -1;

struct TJpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

// Hands the library the bytes in memory, or those of the open file read into `buffer`.
struct TJpegSource {
  jpeg_source_mgr pub;
  const JOCTET* data;
  const TFileReader* file;
  std::size_t size;
  std::uint64_t position;
  JOCTET buffer[kFilePiece];
};

// libjpeg is C: its fatal error exit must not unwind C++ frames through it, so it jumps back to
// the frame that called the library, which then throws.
void ErrorExit(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
  std::longjmp(manager->jump, 1);
}
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
  auto* source = reinterpret_cast<TJpegSource*>(cinfo->src);
  if (source->file != nullptr) {
    const std::ptrdiff_t got = source->file->ReadAt(source->position, source->buffer, kFilePiece);
    if (got < 0) ERREXIT(cinfo, JERR_FILE_READ);
    if (got > 0) {
      source->pub.next_input_byte = source->buffer;
      source->pub.bytes_in_buffer = static_cast<std::size_t>(got);
      source->position += static_cast<std::uint64_t>(got);
      return TRUE;
    }
  }
  if (source->file != nullptr || source->position >= source->size) {
    // Data that ends early is completed with an end-of-image marker, as the file source does.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    source->pub.next_input_byte = kEndOfImage;
    source->pub.bytes_in_buffer = 2;
    return TRUE;
  }
  const std::size_t piece = std::min<std::size_t>(kSourcePiece, source->size - source->position);
  source->pub.next_input_byte = source->data + source->position;
  source->pub.bytes_in_buffer = piece;
  source->position += piece;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  auto* source = reinterpret_cast<TJpegSource*>(cinfo->src);
  while (static_cast<std::size_t>(count) > source->pub.bytes_in_buffer) {
    count -= static_cast<long>(source->pub.bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  source->pub.next_input_byte += count;
  source->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

// Where a picture's bytes are: the open file when there is one, else the bytes in memory.
struct TJpegInput {
  const TFileReader* file;
  const std::vector<std::uint8_t>* data;
};

void Prepare(jpeg_decompress_struct& cinfo, TJpegErrorManager& errors, TJpegSource& source,
             const TJpegInput& input) {
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = ErrorExit;
  errors.pub.emit_message = EmitMessage;
  errors.pub.output_message = OutputMessage;
  source.pub.init_source = InitSource;
  source.pub.fill_input_buffer = FillInputBuffer;
  source.pub.skip_input_data = SkipInputData;
  source.pub.resync_to_restart = jpeg_resync_to_restart;
  source.pub.term_source = TermSource;
  source.pub.next_input_byte = nullptr;
  source.pub.bytes_in_buffer = 0;
  source.file = input.file;
  source.data = input.data->data();
  source.size = input.data->size();
  source.position = 0;
}

struct THeader {
  JDIMENSION width;
  JDIMENSION height;
  int components;
  bool progressive;
  std::uint64_t blocks;  // DCT blocks of all components
};

// The library's text for its fatal error, with the code that tells running out of memory apart.
struct TJpegFailure {
  int code;
  char text[JMSG_LENGTH_MAX];
};

int Fail(jpeg_decompress_struct& cinfo, TJpegErrorManager& errors, TJpegFailure& failure) {
  failure.code = errors.pub.msg_code;
  errors.pub.format_message(reinterpret_cast<j_common_ptr>(&cinfo), failure.text);
  jpeg_destroy_decompress(&cinfo);
  return failure.code;
}

// The two functions below hold no object with a destructor: a longjmp out of the library may
// only cross plain frames. Each returns kDecodedOk or, having filled `failure`, the library's code.
int ReadHeader(const TJpegInput& input, THeader& header, TJpegFailure& failure) {
  jpeg_decompress_struct cinfo;
  TJpegErrorManager errors;
  TJpegSource source;
  Prepare(cinfo, errors, source, input);
  if (setjmp(errors.jump)) return Fail(cinfo, errors, failure);
  jpeg_create_decompress(&cinfo);
  cinfo.src = &source.pub;
  jpeg_read_header(&cinfo, TRUE);
  header.width = cinfo.image_width;
  header.height = cinfo.image_height;
  header.components = cinfo.num_components;
  header.progressive = jpeg_has_multiple_scans(&cinfo);
  header.blocks = 0;
  for (int c = 0; c < cinfo.num_components; ++c)
    header.blocks +=
        static_cast<std::uint64_t>(cinfo.comp_info[c].width_in_blocks) * cinfo.comp_info[c].height_in_blocks;
  jpeg_destroy_decompress(&cinfo);
  return kDecodedOk;
}

int DecodeInto(const TJpegInput& input, TBitmap32& target, TJpegFailure& failure) {
  jpeg_decompress_struct cinfo;
  TJpegErrorManager errors;
  TJpegSource source;
  Prepare(cinfo, errors, source, input);
  if (setjmp(errors.jump)) return Fail(cinfo, errors, failure);
  jpeg_create_decompress(&cinfo);
  cinfo.src = &source.pub;
  jpeg_read_header(&cinfo, TRUE);
  cinfo.scale_num = 1;
  cinfo.scale_denom = 1;
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.do_fancy_upsampling = TRUE;
  cinfo.do_block_smoothing = TRUE;
  cinfo.buffered_image = FALSE;
  const bool gray = cinfo.num_components == 1;
  if (gray) {
    cinfo.quantize_colors = TRUE;
    cinfo.desired_number_of_colors = kGrayLevels;
    cinfo.dither_mode = JDITHER_FS;
    cinfo.two_pass_quantize = FALSE;
  } else {
    // Same values as the library's RGB output, laid out as TColor32 with alpha 0xFF, so each
    // scanline lands in its bitmap row without a copy.
    cinfo.out_color_space = JCS_EXT_BGRA;
  }
  jpeg_start_decompress(&cinfo);
  const JDIMENSION rows = cinfo.output_height;
  const JDIMENSION columns = cinfo.output_width;
  if (gray) {
    TColor32 levels[256] = {};
    for (int j = 0; j < cinfo.actual_number_of_colors; ++j) {
      const TColor32 v = cinfo.colormap[0][j];
      levels[j] = kOpaqueBlack | v << 16 | v << 8 | v;
    }
    JSAMPARRAY line = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                 cinfo.output_width, 1);
    while (cinfo.output_scanline < rows) {
      const JDIMENSION y = cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, line, 1);
      TColor32* out = target.ScanLine(static_cast<std::int32_t>(y));
      for (JDIMENSION x = 0; x < columns; ++x) out[x] = levels[line[0][x]];
      target.NotifyRowDrawn(static_cast<std::int32_t>(y));
    }
  } else {
    while (cinfo.output_scanline < rows) {
      const auto y = static_cast<std::int32_t>(cinfo.output_scanline);
      JSAMPROW row = reinterpret_cast<JSAMPROW>(target.ScanLine(y));
      jpeg_read_scanlines(&cinfo, &row, 1);
      target.NotifyRowDrawn(y);
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return kDecodedOk;
}

[[noreturn]] void ThrowJpegError(const TJpegFailure& failure) {
  if (failure.code == JERR_OUT_OF_MEMORY)
    throw EOutOfResources(std::string("Not enough memory to decode the JPEG picture (") + failure.text + ")");
  throw EDecoderError(failure.text);
}

}  // namespace

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::LoadFromFile(const std::string& path, TFileStamp* opened) {
  auto file = std::make_unique<TFileReader>(path, opened);
  data_.clear();
  file_ = std::move(file);
  ReadPictureHeader();
}

void TJPEGImage::LoadFromBytes(std::vector<std::uint8_t> bytes) {
  file_.reset();
  data_ = std::move(bytes);
  ReadPictureHeader();
}

bool TJPEGImage::Empty() const { return file_ != nullptr ? file_->Size() == 0 : data_.empty(); }

void TJPEGImage::ReadPictureHeader() {
  width_ = height_ = 0;
  grayscale_ = progressive_ = false;
  coefficientMemory_ = 0;
  if (Empty()) return;
  THeader header{};
  TJpegFailure failure{};
  if (ReadHeader({file_.get(), &data_}, header, failure) != kDecodedOk) ThrowJpegError(failure);
  if (header.components != 1 && header.components != 3)
    throw EDecoderError("JPEG files with " + std::to_string(header.components) +
                        " colour components (CMYK, YCCK) are not supported");
  width_ = static_cast<std::int32_t>(header.width);
  height_ = static_cast<std::int32_t>(header.height);
  grayscale_ = header.components == 1;
  progressive_ = header.progressive;
  coefficientMemory_ = progressive_ ? header.blocks * DCTSIZE2 * sizeof(JCOEF) : 0;
}

void TJPEGImage::Draw(TBitmap32& target) const {
  if (Empty() || target.Width() != width_ || target.Height() != height_) return;
  TJpegFailure failure{};
  if (DecodeInto({file_.get(), &data_}, target, failure) != kDecodedOk) ThrowJpegError(failure);
}

}  // namespace velquin
