// The facts under each picture of the pair: what they hold, which side has the larger of each, and
// the EXIF orientation turning the shown picture (and its facts) but nothing the scan stores.
#include "app/picture_facts.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "app/test_support.h"
#include "platform/file_utils.h"

namespace velquin {
namespace {

TEST(PictureFactsTest, TheLargerOfEachValueIsOnTheSideThatHasIt) {
  const TPictureFacts base{"/p/a.jpg", 1000, 40, 30, "JPEG", 5000};
  struct TCase {
    const char* name;
    TPictureFacts right;
    TFactsComparison expected;
  };
  const auto with = [&](auto change) {
    TPictureFacts facts = base;
    change(facts);
    return facts;
  };
  using L = TLarger;
  const TCase cases[] = {
      {"all equal", base, {L::Neither, L::Neither, L::Neither}},
      {"right bigger file, older",
       with([](auto& f) {
         f.Bytes = 1001;
         f.ModifiedMs = 4999;
       }),
       {L::Right, L::Neither, L::Left}},
      {"more pixels though narrower",
       with([](auto& f) {
         f.Width = 39;
         f.Height = 31;
       }),
       {L::Neither, L::Right, L::Neither}},
      {"turned: same pixels",
       with([](auto& f) {
         f.Width = 30;
         f.Height = 40;
       }),
       {L::Neither, L::Neither, L::Neither}},
      {"fewer pixels, newer",
       with([](auto& f) {
         f.Width = 20;
         f.ModifiedMs = 6000;
       }),
       {L::Neither, L::Left, L::Right}},
      {"right shows nothing", TPictureFacts{}, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CompareFacts(base, c.right), c.expected);
  }
  EXPECT_EQ(CompareFacts(TPictureFacts{}, base), TFactsComparison{});
}

class PairFactsTest : public FormTest {
 protected:
  void SetUp() override { ChooseFolder(); }
};

// corner.jpg (48 x 32) with an EXIF block saying "turn a quarter clockwise" (orientation 6).
std::string WriteTurnedJpeg(const std::string& path) {
  std::ifstream in(std::filesystem::path(VELQUIN_SOURCE_DIR) / "imaging/testdata/corner.jpg",
                   std::ios::binary);
  const std::string plain((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // APP1, length 34: "Exif" 00 00, little-endian TIFF header, one IFD entry 0112 SHORT 1 = 6.
  const std::string exif(
      "\xFF\xE1\x00\x22"
      "Exif\0\0"
      "II\x2A\x00\x08\x00\x00\x00"
      "\x01\x00"
      "\x12\x01\x03\x00\x01\x00\x00\x00\x06\x00\x00\x00"
      "\x00\x00\x00\x00",
      36);
  std::ofstream(path, std::ios::binary) << plain.substr(0, 2) << exif << plain.substr(2);
  return path;
}

TEST_F(PairFactsTest, EachPictureHasItsFactsAsShown) {
  const std::string left = WriteTurnedJpeg(Pictures.Path() + "turned.jpg");
  const std::string right = Pictures.Path() + "flat.bmp";
  WriteBmp(right, 40, 30, 0x808080);
  SetFileTime(left, 1'700'000'000);
  SetFileTime(right, 1'600'000'000);
  AddMatchRow(1, left, right);
  ASSERT_TRUE(Desktop.Errors.empty());

  const TPictureFacts& facts1 = Form.PairFacts(true);
  EXPECT_EQ(facts1.File, left);
  EXPECT_EQ(facts1.Format, "JPEG");
  EXPECT_EQ(facts1.Bytes, static_cast<std::uint64_t>(GetFileSize(left)));
  EXPECT_EQ(facts1.ModifiedMs, 1'700'000'000'000);
  // Shown turned: the stored 48 x 32 stands 32 x 48, and the label and comparison say so.
  EXPECT_EQ(facts1.Width, 32);
  EXPECT_EQ(facts1.Height, 48);
  EXPECT_EQ(Form.Im1.Width(), 32);
  EXPECT_TRUE(Form.lFile1().ends_with("; 32 x 48")) << Form.lFile1();
  const TPictureFacts& facts2 = Form.PairFacts(false);
  EXPECT_EQ(facts2.Format, "BMP");
  EXPECT_EQ(facts2.Bytes, 54u + 40 * 30 * 3);
  EXPECT_EQ(facts2.Width, 40);
  EXPECT_EQ(CompareFacts(facts1, facts2), (TFactsComparison{TLarger::Right, TLarger::Left, TLarger::Left}));

  // The scan condenses the picture as stored: turning for display changes no stored signature.
  const std::string beforeTurn = Pictures.Path() + "stored.jpg";
  std::filesystem::copy_file(std::filesystem::path(VELQUIN_SOURCE_DIR) / "imaging/testdata/corner.jpg",
                             beforeTurn);
  Scan();
  Form.SigsTable.First();
  std::map<std::string, std::string> signatures;
  for (; !Form.SigsTable.Eof(); Form.SigsTable.Next())
    signatures[Form.SigsTable.FieldAsString("FileName")] = Form.SigsTable.FieldAsString("Signature");
  ASSERT_EQ(signatures.count("turned.jpg"), 1u);
  EXPECT_EQ(signatures["turned.jpg"], signatures["stored.jpg"]);

  // An empty table empties the facts with the labels.
  Form.MatchesTable.EmptyTable();
  EXPECT_TRUE(Form.PairFacts(true).Empty());
  EXPECT_TRUE(Form.PairFacts(false).Empty());
}

}  // namespace
}  // namespace velquin
