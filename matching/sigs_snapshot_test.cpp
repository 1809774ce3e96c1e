#include "matching/sigs_snapshot.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/program_tables.h"
#include "matching/written_form.h"
#include "platform/test_dir.h"
#include "signature/signature.h"

namespace velquin {
namespace {

class SigsSnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sigs_.DatabaseName = dir_.Path();
    sigs_.TableName = "Sigs.Dat";
    SetSigsSchema(sigs_);
    sigs_.CreateTable();
    sigs_.Open();
  }
  void TearDown() override { sigs_.Close(); }

  void Put(const std::string& name, const std::string& path, const std::string& signature) {
    sigs_.SetFieldValue("FileName", name);
    sigs_.SetFieldValue("FilePath", path);
    sigs_.SetFieldValue("FileDate", 46000.5);
    sigs_.SetFieldValue("Signature", signature);
    sigs_.Post();
  }

  // Full names along the active index.
  std::vector<std::string> Walk(const std::string& index) {
    sigs_.SetIndexName(index);
    std::vector<std::string> names;
    for (sigs_.First(); !sigs_.Eof(); sigs_.Next())
      names.push_back(sigs_.FieldAsString("FilePath") + sigs_.FieldAsString("FileName"));
    sigs_.SetIndexName("");
    return names;
  }

  TTestDir dir_;
  TTable sigs_{"SigsTable"};
};

// The snapshot against walks along both indexes: names by place of the primary index, ranks in
// BySignature order (equal texts included), and each rank's values those of its row's text.
TEST_F(SigsSnapshotTest, PlacesAndRanksAreThoseOfTheIndexesWhereverTheRowsLie) {
  std::mt19937 random(5);
  auto signature = [&] {
    TSignature s;
    for (TRgb& c : s.Cells) c = {7, 7, 255};
    s.Cells[0].R = static_cast<std::int32_t>(random() % 4);
    return SignatureToText(s);
  };
  const std::string folders[] = {dir_.Path(), dir_.Path() + "sub/"};
  // A third of the names long, so that the snapshot holds the names in more than one block.
  auto nameOf = [](unsigned n) {
    return "p" + std::to_string(n) + std::string(n % 3 == 0 ? 240 : 0, 'x') + ".jpg";
  };
  // Names stored against their order; few signatures, so that many texts are equal.
  for (int i = 0; i < 400; ++i) {
    sigs_.Append();
    Put(nameOf((i * 7919) % 400), folders[i % 2], signature());
  }
  // Edits move rows to other room in the file (the older versions stay marked until the next sync
  // point), and some rows go.
  for (int i = 0; i < 300; ++i) {
    sigs_.SetKey();
    sigs_.SetFieldValue("FileName", nameOf(random() % 400));
    sigs_.SetFieldValue("FilePath", folders[random() % 2]);
    if (!sigs_.GotoKey()) continue;
    if (random() % 4 == 0) {
      sigs_.Delete();
    } else {
      sigs_.Edit();
      Put(random() % 2 == 0 ? sigs_.FieldAsString("FileName") : "q" + std::to_string(i) + ".jpg",
          sigs_.FieldAsString("FilePath"), signature());
    }
  }
  for (const bool reopened : {false, true}) {
    SCOPED_TRACE(reopened ? "reopened" : "in the session that changed the rows");
    if (reopened) {
      sigs_.Close();
      sigs_.Open();
    }
    const std::vector<std::string> byPlace = Walk("");
    const std::vector<std::string> byRank = Walk("BySignature");
    TSigsSnapshot snapshot(sigs_);
    ASSERT_EQ(snapshot.PrimaryOrder().size(), byPlace.size());
    for (std::size_t place = 0; place < byPlace.size(); ++place) {
      EXPECT_EQ(snapshot.FullName(snapshot.PrimaryOrder()[place]), byPlace[place]);
      EXPECT_TRUE(byPlace[place].ends_with(snapshot.FileNameAt(place)));
    }
    TRankedSignatures signatures = snapshot.TakeSignatures();
    const auto& values = std::get<TWrittenValues>(signatures).Values;
    for (std::uint32_t rank = 0; rank < byRank.size(); ++rank) {
      ASSERT_EQ(snapshot.FullName(rank), byRank[rank]);
      const auto name = snapshot.FileName(rank);
      sigs_.SetKey();
      sigs_.SetFieldValue("FileName", std::string(name));
      sigs_.SetFieldValue("FilePath", byRank[rank].substr(0, byRank[rank].size() - name.size()));
      ASSERT_TRUE(sigs_.GotoKey());
      std::uint8_t stored[kSignatureValues];
      ASSERT_TRUE(ReadWrittenForm(sigs_.FieldAsString("Signature"), stored));
      EXPECT_TRUE(std::equal(stored, stored + kSignatureValues, &values[rank * kSignatureValues]));
    }
  }
}

TEST_F(SigsSnapshotTest, OfTwoMalformedTextsTheFirstAlongThePrimaryIndexFails) {
  const std::string good = SignatureToText(TSignature{});
  std::string first = good, second = good;
  first.replace(0, 4, "  x1");
  second.replace(0, 4, "  x2");
  // Stored in the other order than the names'.
  sigs_.Append();
  Put("b.jpg", dir_.Path(), second);
  sigs_.Append();
  Put("c.jpg", dir_.Path(), good);
  sigs_.Append();
  Put("a.jpg", dir_.Path(), first);
  try {
    TSigsSnapshot snapshot(sigs_);
    ADD_FAILURE() << "no error";
  } catch (const std::exception& error) {
    EXPECT_EQ(std::string(error.what()), "'  x1' is not a valid integer value");
  }
}

}  // namespace
}  // namespace velquin
