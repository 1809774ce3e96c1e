// The trees against a reference model: random inserts, edits and deletes through the table
// object, with the order, the row numbers and the tree structure checked as they grow and shrink.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "app/program_tables.h"
#include "platform/test_dir.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

class TreeModelTest : public ::testing::TestWithParam<unsigned> {
 protected:
  void TearDown() override {
    sigs_.Close();
    matches_.Close();
  }
  TTestDir dir_;
  const std::string folder_ = dir_.Path();
  TTable sigs_{"SigsTable"};
  TTable matches_{"MatchesTable"};
};

// Long keys make the trees three levels deep with a few thousand rows.
std::string Signature(std::mt19937& random) {
  std::string text(192, 'A');
  for (int i = 0; i < 3; ++i) text[static_cast<std::size_t>(i)] = static_cast<char>('A' + random() % 4);
  return text;
}

TEST_P(TreeModelTest, RandomChangesKeepOrderCountsAndStructure) {
  std::mt19937 random(GetParam());
  OpenTables(sigs_, matches_, folder_);
  std::map<std::string, std::string> model;  // FileName -> Signature
  int nextName = 0;
  auto checkWalks = [&] {
    ASSERT_EQ(sigs_.RecordCount(), static_cast<std::int32_t>(model.size()));
    sigs_.SetIndexName("");
    auto it = model.begin();
    std::int32_t recNo = 0;
    for (sigs_.First(); !sigs_.Eof(); sigs_.Next(), ++it) {
      ASSERT_NE(it, model.end());
      ASSERT_EQ(sigs_.FieldAsString("FileName"), it->first);
      ASSERT_EQ(sigs_.RecNo(), ++recNo);
    }
    ASSERT_EQ(it, model.end());
    // BySignature: by signature, equal signatures in insertion order (names rise with it).
    std::multimap<std::string, std::string> bySignature;
    for (const auto& [name, signature] : model) bySignature.emplace(signature, name);
    sigs_.SetIndexName("BySignature");
    std::string lastSignature;
    std::size_t rows = 0;
    for (sigs_.Last(); !sigs_.Bof(); sigs_.Prior()) {
      ++rows;
      std::string signature = sigs_.FieldAsString("Signature");
      if (rows > 1) {
        ASSERT_LE(signature, lastSignature);
      }
      lastSignature = signature;
    }
    ASSERT_EQ(rows, model.size());
    sigs_.SetIndexName("");
  };
  for (int round = 0; round < 6; ++round) {
    for (int step = 0; step < 700; ++step) {
      int what = static_cast<int>(random() % 10);
      if (what < 6 || model.empty()) {
        char name[16];
        std::snprintf(name, sizeof name, "n%07d", static_cast<int>(random() % 1000000));
        if (model.count(name)) continue;
        std::string signature = Signature(random);
        sigs_.Append();
        sigs_.SetFieldValue("FileName", std::string(name));
        sigs_.SetFieldValue("FilePath", std::string("/p/"));
        sigs_.SetFieldValue("Signature", signature);
        sigs_.Post();
        model[name] = signature;
        ++nextName;
        continue;
      }
      auto it = model.begin();
      std::advance(it, static_cast<long>(random() % model.size()));
      sigs_.SetKey();
      sigs_.SetFieldValue("FileName", it->first);
      sigs_.SetFieldValue("FilePath", std::string("/p/"));
      ASSERT_TRUE(sigs_.GotoKey()) << it->first;
      ASSERT_EQ(sigs_.RecNo(), static_cast<std::int32_t>(std::distance(model.begin(), it)) + 1);
      if (what < 8) {
        sigs_.Delete();
        model.erase(it);
      } else {
        std::string signature = Signature(random);
        sigs_.Edit();
        sigs_.SetFieldValue("Signature", signature);
        sigs_.Post();
        it->second = signature;
      }
    }
    // Shrink hard every other round, so pages empty and the trees lose levels.
    if (round % 2 == 1) {
      sigs_.First();
      while (!sigs_.Eof() && model.size() > 40) {
        if (random() % 8 != 0) {
          model.erase(sigs_.FieldAsString("FileName"));
          sigs_.Delete();
        } else {
          sigs_.Next();
        }
      }
    }
    checkWalks();
    sigs_.Close();
    matches_.Close();
    ASSERT_TRUE(sigs_.CheckAndRepair(false)) << "round " << round;
    OpenTables(sigs_, matches_, folder_);
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, TreeModelTest, ::testing::Values(1u, 2u, 3u));

}  // namespace
}  // namespace velquin
