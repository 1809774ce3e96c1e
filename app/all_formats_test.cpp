// The All formats option: PNG pictures (and the other formats) are scanned and paired with the classic
// ones, and a scan without the option drops their rows again.
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/test_support.h"

namespace velquin {
namespace {

// Writes an 8 x 8 RGB PNG of one colour.
void WritePng(const std::string& path, std::uint32_t rgb) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, 8, 8, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_byte> row;
  for (int x = 0; x < 8; ++x)
    row.insert(row.end(), {static_cast<png_byte>(rgb >> 16), static_cast<png_byte>(rgb >> 8),
                           static_cast<png_byte>(rgb)});
  std::vector<png_bytep> rows(8, row.data());
  png_set_rows(png, info, rows.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

class AllFormatsTest : public FormTest {
 protected:
  void SetUp() override {
    Form.SetNormalizeCB(false);
    Form.SetIncrMatchCB(false);
    Form.SetForceCB(false);
    Form.SetAllFormatsCB(true);
    ChooseFolder();
  }
};

TEST_F(AllFormatsTest, PngPairsWithBmpUntilAScanWithoutAllFormats) {
  const std::string bmp = Pictures.Path() + "a.bmp";
  const std::string png = Pictures.Path() + "b.png";
  WriteBmp(bmp, 8, 8, 0x204080u);
  WritePng(png, 0x204080u);
  Pictures.WriteFile("notes.txt", "no picture");
  EXPECT_EQ(Scan().rfind("2 records added; 0 records edited in ", 0), 0u);
  EXPECT_EQ(Form.lSigsDB(), "Signatures DB (2/2)");
  MatchPass();
  EXPECT_EQ(MatchRows(), std::vector<std::string>{"0|" + bmp + "|" + png});

  Form.SetAllFormatsCB(false);
  EXPECT_EQ(Scan().rfind("0 records added; 0 records edited in ", 0), 0u);
  EXPECT_EQ(SigsNames(), std::vector<std::string>{"a.bmp"});
  EXPECT_EQ(Form.lSigsDB(), "Signatures DB (1/1)");
  EXPECT_TRUE(Desktop.Errors.empty());
}

}  // namespace
}  // namespace velquin
