// The decoders of the formats beyond JPEG, GIF and BMP, over small files written in each test by the
// format's own library.
#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "imaging/errors.h"
#include "imaging/heif_image.h"
#include "imaging/picture_loader.h"
#include "imaging/png_image.h"
#include "imaging/test_support.h"
#include "imaging/tiff_image.h"
#include "imaging/webp_image.h"

namespace velquin {
namespace {

constexpr std::int32_t kWidth = 5;
constexpr std::int32_t kHeight = 3;

// Straight (not premultiplied) RGBA of pixel (x, y) of the test pictures: every channel varies, and
// the alpha of the bottom row runs from opaque to clear.
struct TRgba {
  std::uint8_t r, g, b, a;
};
TRgba Source(std::int32_t x, std::int32_t y) {
  const auto a = static_cast<std::uint8_t>(y == kHeight - 1 ? 255 - x * 60 : 255);
  return {static_cast<std::uint8_t>(40 * x + 17), static_cast<std::uint8_t>(70 * y + 5),
          static_cast<std::uint8_t>(200 - 30 * x), a};
}
// What the bitmap must hold for it: each colour composed over black, opaque.
TColor32 Expected(std::int32_t x, std::int32_t y, bool alpha) {
  const TRgba p = Source(x, y);
  const std::uint32_t a = alpha ? p.a : 255;
  const auto over = [a](std::uint32_t c) { return (c * a + 127) / 255; };
  return kOpaqueBlack | over(p.r) << 16 | over(p.g) << 8 | over(p.b);
}

std::vector<std::uint8_t> SourceRgba() {
  std::vector<std::uint8_t> rgba;
  for (std::int32_t y = 0; y < kHeight; ++y)
    for (std::int32_t x = 0; x < kWidth; ++x) {
      const TRgba p = Source(x, y);
      rgba.insert(rgba.end(), {p.r, p.g, p.b, p.a});
    }
  return rgba;
}

// The first pixel where the bitmap is not the expected picture, as text; "" when there is none.
std::string Difference(const TBitmap32& bitmap,
                       const std::function<TColor32(std::int32_t, std::int32_t)>& expected) {
  if (bitmap.Width() != kWidth || bitmap.Height() != kHeight)
    return "size " + std::to_string(bitmap.Width()) + " x " + std::to_string(bitmap.Height());
  for (std::int32_t y = 0; y < kHeight; ++y)
    for (std::int32_t x = 0; x < kWidth; ++x)
      if (bitmap.ReadPixel(x, y) != expected(x, y)) {
        char text[80];
        std::snprintf(text, sizeof(text), "(%d, %d): %08X, not %08X", x, y, bitmap.ReadPixel(x, y),
                      expected(x, y));
        return text;
      }
  return "";
}

// --- PNG -------------------------------------------------------------------------------------------

struct TPngCase {
  const char* name;
  int colorType;
  int bitDepth;
  bool interlaced;
};

void WritePng(const std::string& path, const TPngCase& c) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, kWidth, kHeight, c.bitDepth, c.colorType,
               c.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  const bool alpha = (c.colorType & PNG_COLOR_MASK_ALPHA) != 0;
  const bool gray = (c.colorType & PNG_COLOR_MASK_COLOR) == 0;
  const int bytes = c.bitDepth / 8;
  std::vector<std::vector<std::uint8_t>> rows(kHeight);
  for (std::int32_t y = 0; y < kHeight; ++y) {
    for (std::int32_t x = 0; x < kWidth; ++x) {
      const TRgba p = Source(x, y);
      std::vector<std::uint8_t> samples;
      if (gray)
        samples.push_back(p.g);
      else
        samples.insert(samples.end(), {p.r, p.g, p.b});
      if (alpha) samples.push_back(p.a);
      // A 16-bit sample v * 257 reduces to v exactly.
      for (std::uint8_t s : samples)
        for (int i = 0; i < bytes; ++i) rows[y].push_back(s);
    }
  }
  std::vector<png_bytep> pointers;
  for (auto& row : rows) pointers.push_back(row.data());
  png_set_rows(png, info, pointers.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

TEST(EncodedPictureTest, PngOfEveryKindGivesEightBitRgbOverBlack) {
  const TPngCase cases[] = {
      {"rgb", PNG_COLOR_TYPE_RGB, 8, false},
      {"rgb, interlaced", PNG_COLOR_TYPE_RGB, 8, true},
      {"rgba", PNG_COLOR_TYPE_RGB_ALPHA, 8, false},
      {"rgba 16-bit", PNG_COLOR_TYPE_RGB_ALPHA, 16, false},
      {"gray", PNG_COLOR_TYPE_GRAY, 8, false},
      {"gray and alpha, 16-bit, interlaced", PNG_COLOR_TYPE_GRAY_ALPHA, 16, true},
  };
  TTestDir dir;
  for (const TPngCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("picture.png");
    WritePng(path, c);
    const bool alpha = (c.colorType & PNG_COLOR_MASK_ALPHA) != 0;
    const bool gray = (c.colorType & PNG_COLOR_MASK_COLOR) == 0;
    TBitmap32 bitmap;
    ASSERT_TRUE(LoadPicture(path, bitmap, nullptr, {}, TPictureFormats::kAll));
    EXPECT_EQ(Difference(bitmap,
                         [&](std::int32_t x, std::int32_t y) {
                           if (!gray) return Expected(x, y, alpha);
                           const TRgba p = Source(x, y);
                           const std::uint32_t v = alpha ? (p.g * p.a + 127u) / 255u : p.g;
                           return kOpaqueBlack | v << 16 | v << 8 | v;
                         }),
              "");
  }
}

TEST(EncodedPictureTest, PngPaletteWithTransparency) {
  // Four palette entries, the last half transparent.
  TTestDir dir;
  const std::string path = dir.File("palette.png");
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, 2, 2, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_color palette[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {200, 100, 50}};
  png_set_PLTE(png, info, palette, 4);
  png_byte trans[4] = {255, 255, 255, 128};
  png_set_tRNS(png, info, trans, 4, nullptr);
  std::uint8_t row0[2] = {0, 1};
  std::uint8_t row1[2] = {2, 3};
  png_bytep rows[2] = {row0, row1};
  png_set_rows(png, info, rows);
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);

  TBitmap32 bitmap;
  ASSERT_TRUE(LoadPicture(path, bitmap, nullptr, {}, TPictureFormats::kAll));
  EXPECT_EQ(bitmap.ReadPixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(bitmap.ReadPixel(1, 0), 0xFF00FF00u);
  EXPECT_EQ(bitmap.ReadPixel(0, 1), 0xFF0000FFu);
  EXPECT_EQ(bitmap.ReadPixel(1, 1), 0xFF643219u);  // 200, 100, 50 at 128/255
}

// --- WebP ------------------------------------------------------------------------------------------

TEST(EncodedPictureTest, LosslessWebPWithAndWithoutAlpha) {
  TTestDir dir;
  for (const bool alpha : {false, true}) {
    SCOPED_TRACE(alpha ? "alpha" : "opaque");
    std::vector<std::uint8_t> rgba = SourceRgba();
    if (!alpha)
      for (std::size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
    std::uint8_t* encoded = nullptr;
    const std::size_t size = WebPEncodeLosslessRGBA(rgba.data(), kWidth, kHeight, kWidth * 4, &encoded);
    ASSERT_GT(size, 0u);
    testing::WriteFile(dir.File("picture.webp"), testing::TBytes(encoded, encoded + size));
    WebPFree(encoded);
    TBitmap32 bitmap;
    ASSERT_TRUE(LoadPicture(dir.File("picture.webp"), bitmap, nullptr, {}, TPictureFormats::kAll));
    EXPECT_EQ(Difference(bitmap, [&](std::int32_t x, std::int32_t y) { return Expected(x, y, alpha); }), "");
  }
}

TEST(EncodedPictureTest, AnimatedWebPGivesItsFirstFrame) {
  WebPAnimEncoderOptions options;
  ASSERT_TRUE(WebPAnimEncoderOptionsInit(&options));
  WebPAnimEncoder* encoder = WebPAnimEncoderNew(kWidth, kHeight, &options);
  ASSERT_NE(encoder, nullptr);
  WebPConfig config;
  ASSERT_TRUE(WebPConfigInit(&config));
  config.lossless = 1;
  std::vector<std::uint8_t> first = SourceRgba();
  for (std::size_t i = 3; i < first.size(); i += 4) first[i] = 255;
  std::vector<std::uint8_t> second(first.size(), 255);  // white
  int timestamp = 0;
  for (const std::vector<std::uint8_t>* frame : {&first, &second}) {
    WebPPicture picture;
    ASSERT_TRUE(WebPPictureInit(&picture));
    picture.use_argb = 1;
    picture.width = kWidth;
    picture.height = kHeight;
    ASSERT_TRUE(WebPPictureImportRGBA(&picture, frame->data(), kWidth * 4));
    ASSERT_TRUE(WebPAnimEncoderAdd(encoder, &picture, timestamp, &config));
    WebPPictureFree(&picture);
    timestamp += 100;
  }
  ASSERT_TRUE(WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr));
  WebPData data;
  WebPDataInit(&data);
  ASSERT_TRUE(WebPAnimEncoderAssemble(encoder, &data));
  WebPAnimEncoderDelete(encoder);
  TTestDir dir;
  testing::WriteFile(dir.File("animated.webp"), testing::TBytes(data.bytes, data.bytes + data.size));
  WebPDataClear(&data);

  TBitmap32 bitmap;
  ASSERT_TRUE(LoadPicture(dir.File("animated.webp"), bitmap, nullptr, {}, TPictureFormats::kAll));
  EXPECT_EQ(Difference(bitmap, [](std::int32_t x, std::int32_t y) { return Expected(x, y, false); }), "");
}

// --- TIFF ------------------------------------------------------------------------------------------

struct TTiffCase {
  const char* name;
  int bits;
  bool alpha;
  int pages;
};

void WriteTiff(const std::string& path, const TTiffCase& c) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  for (int page = 0; page < c.pages; ++page) {
    const int channels = c.alpha ? 4 : 3;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, c.bits);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, kHeight);
    if (c.alpha) {
      const std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
      TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (c.pages > 1) TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    for (std::int32_t y = 0; y < kHeight; ++y) {
      std::vector<std::uint16_t> samples;
      for (std::int32_t x = 0; x < kWidth; ++x) {
        // Pages after the first are white.
        const TRgba p = page == 0 ? Source(x, y) : TRgba{255, 255, 255, 255};
        samples.insert(samples.end(), {p.r, p.g, p.b});
        if (c.alpha) samples.push_back(p.a);
      }
      std::vector<std::uint8_t> row;
      for (std::uint16_t s : samples) {
        if (c.bits == 8) {
          row.push_back(static_cast<std::uint8_t>(s));
        } else {
          const std::uint16_t wide = static_cast<std::uint16_t>(s * 257);
          row.insert(row.end(),
                     {static_cast<std::uint8_t>(wide & 0xFF), static_cast<std::uint8_t>(wide >> 8)});
        }
      }
      ASSERT_EQ(TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0), 1);
    }
    ASSERT_TRUE(TIFFWriteDirectory(tiff));
  }
  TIFFClose(tiff);
}

TEST(EncodedPictureTest, TiffFirstPageEightBitRgbOverBlack) {
  const TTiffCase cases[] = {
      {"rgb", 8, false, 1},
      {"rgb 16-bit", 16, false, 1},
      {"rgba", 8, true, 1},
      {"two pages", 8, false, 2},
  };
  TTestDir dir;
  for (const TTiffCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteTiff(dir.File("picture.tif"), c);
    TBitmap32 bitmap;
    ASSERT_TRUE(LoadPicture(dir.File("picture.tif"), bitmap, nullptr, {}, TPictureFormats::kAll));
    EXPECT_EQ(Difference(bitmap, [&](std::int32_t x, std::int32_t y) { return Expected(x, y, c.alpha); }),
              "");
  }
}

// --- HEIF ------------------------------------------------------------------------------------------

TEST(EncodedPictureTest, HeicIsDecodedNearItsSource) {
  if (!heif_have_encoder_for_format(heif_compression_HEVC) ||
      !heif_have_decoder_for_format(heif_compression_HEVC))
    GTEST_SKIP() << "libheif has no HEVC codec here";
  // HEVC is lossy and works on 8 x 8 blocks at least: a larger picture of four flat quarters.
  constexpr int kSide = 64;
  const auto quarter = [](int x, int y) -> TRgba {
    static const TRgba kColors[4] = {
        {200, 30, 30, 255}, {30, 200, 30, 255}, {30, 30, 200, 255}, {220, 220, 220, 255}};
    return kColors[(y >= kSide / 2) * 2 + (x >= kSide / 2)];
  };
  heif_image* image = nullptr;
  ASSERT_EQ(heif_image_create(kSide, kSide, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, &image).code,
            heif_error_Ok);
  ASSERT_EQ(heif_image_add_plane(image, heif_channel_interleaved, kSide, kSide, 8).code, heif_error_Ok);
  int stride = 0;
  std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const TRgba p = quarter(x, y);
      std::uint8_t* out = plane + y * stride + x * 4;
      out[0] = p.r, out[1] = p.g, out[2] = p.b, out[3] = p.a;
    }
#if defined(__SANITIZE_ADDRESS__)
  // The HEVC encoder keeps memory it never frees; the program itself never encodes.
  const __lsan::ScopedDisabler encoderLeaks;
#endif
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  ASSERT_EQ(heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code,
            heif_error_Ok);
  heif_encoder_set_lossy_quality(encoder, 95);
  ASSERT_EQ(heif_context_encode_image(context, image, encoder, nullptr, nullptr).code, heif_error_Ok);
  heif_encoder_release(encoder);
  heif_image_release(image);
  TTestDir dir;
  const std::string path = dir.File("picture.heic");
  ASSERT_EQ(heif_context_write_to_file(context, path.c_str()).code, heif_error_Ok);
  heif_context_free(context);

  TBitmap32 bitmap;
  ASSERT_TRUE(LoadPicture(path, bitmap, nullptr, {}, TPictureFormats::kAll));
  ASSERT_EQ(bitmap.Width(), kSide);
  ASSERT_EQ(bitmap.Height(), kSide);
  for (const auto& [x, y] : {std::pair{8, 8}, std::pair{56, 8}, std::pair{8, 56}, std::pair{56, 56}}) {
    const TColor32 got = bitmap.ReadPixel(x, y);
    const TRgba want = quarter(x, y);
    EXPECT_EQ(got >> 24, 255u);
    EXPECT_NEAR(static_cast<int>((got >> 16) & 0xFF), want.r, 12) << x << ", " << y;
    EXPECT_NEAR(static_cast<int>((got >> 8) & 0xFF), want.g, 12) << x << ", " << y;
    EXPECT_NEAR(static_cast<int>(got & 0xFF), want.b, 12) << x << ", " << y;
  }
}

// --- Damaged files ---------------------------------------------------------------------------------

TEST(EncodedPictureTest, DamagedFilesFailWithTheFormatsOwnError) {
  struct TCase {
    const char* name;
    const char* prefix;
  };
  const TCase cases[] = {{"x.png", "PNG error: "},
                         {"x.webp", "WebP error: "},
                         {"x.tif", "TIFF error: "},
                         {"x.heic", "HEIF error: "}};
  TTestDir dir;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& content : {std::string(), std::string("not a picture at all, just text")}) {
      dir.WriteFile(c.name, content);
      TBitmap32 bitmap;
      try {
        LoadPicture(dir.File(c.name), bitmap, nullptr, {}, TPictureFormats::kAll);
        ADD_FAILURE() << "loaded";
      } catch (const EDecoderError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(c.prefix, 0), 0u) << e.what();
      }
      EXPECT_TRUE(bitmap.IsEmpty());
    }
  }
}

}  // namespace
}  // namespace velquin
