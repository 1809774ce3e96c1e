// A JPEG encoder for tests: photo-like pictures (gradients, edges and noise) in the layouts decoders
// must handle (colour with any sampling, grayscale, CMYK, progressive).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <cstdlib>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace velquin::testing {

struct TJpegParams {
  int width = 64;
  int height = 48;
  int components = 3;
  int hSampling = 2;  // of the first component; the others use 1 x 1
  int vSampling = 2;
  bool progressive = false;
  int quality = 85;
};

// Compresses the picture whose samples sample(x, y, component) gives, asked row by row, left to
// right, component by component, with libjpeg.
template <typename TSample>
std::vector<std::uint8_t> CompressPixels(const TJpegParams& params, TSample&& sample) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(params.width);
  cinfo.image_height = static_cast<JDIMENSION>(params.height);
  cinfo.input_components = params.components;
  cinfo.in_color_space = params.components == 1 ? JCS_GRAYSCALE : params.components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, params.quality, TRUE);
  cinfo.comp_info[0].h_samp_factor = params.hSampling;
  cinfo.comp_info[0].v_samp_factor = params.vSampling;
  if (params.progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(params.width) *
                           static_cast<std::size_t>(params.components));
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < params.width; ++x)
      for (int c = 0; c < params.components; ++c)
        row[static_cast<std::size_t>(x * params.components + c)] = static_cast<JSAMPLE>(sample(x, y, c));
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  std::free(buffer);
  return bytes;
}

// Compresses a photo-like picture (gradients, edges and noise).
inline std::vector<std::uint8_t> Compress(const TJpegParams& params) {
  std::uint32_t noise = 12345;
  return CompressPixels(params, [&](int x, int y, int c) {
    noise = noise * 1103515245u + 12345u;
    const int edge = ((x / 9 + y / 7) % 3) * 60;
    const int value =
        (x * 255 / params.width + c * 70 + edge + y * 2) % 256 + static_cast<int>((noise >> 16) % 24);
    return std::min(value, 255);
  });
}

}  // namespace velquin::testing
