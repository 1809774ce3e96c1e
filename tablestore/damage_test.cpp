// Damaged table files: bytes flipped, files cut short, pages zeroed. Check and repair keeps every
// row it can read or raises a store error, and never crashes; a damaged index file loses no row,
// since the trees (and the index file itself) are made again from the data file. Also replays the
// fuzzer's seed corpus and every input it ever crashed on.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/program_tables.h"
#include "platform/test_dir.h"
#include "tablestore/table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace velquin {
namespace {

namespace fs = std::filesystem;

constexpr int kRows = 300;
constexpr std::size_t kDataHeader = 512;  // the Sigs data file's header, as created
constexpr std::size_t kPageSize = 8192;   // index file pages

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Spill(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

enum class Damage { kFlipBytes, kTruncate, kZeroRange };

struct Case {
  const char* Label;
  bool DataFile;  // else the index file
  Damage Kind;
  std::size_t From;  // first byte the damage may touch
};

class DamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 random(11);
    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    OpenTables(sigs, matches, folder_);
    for (int i = 0; i < kRows; ++i) {
      std::string name = "n" + std::to_string(1000 + i);
      std::string signature;
      for (int k = 0; k < 192; ++k) signature += static_cast<char>('0' + random() % 10);
      sigs.Append();
      sigs.SetFieldValue("FileName", name);
      sigs.SetFieldValue("FilePath", std::string("/p/"));
      sigs.SetFieldValue("Signature", signature);
      sigs.Post();
      rows_[name] = signature;
    }
    sigs.Close();
    matches.Close();
    data_ = Slurp(folder_ + "Sigs.DAT");
    index_ = Slurp(folder_ + "Sigs.IDX");
    slotSize_ = (data_.size() - kDataHeader) / kRows;
    ASSERT_EQ(kDataHeader + slotSize_ * kRows, data_.size());
  }

  TTestDir dir_;
  const std::string folder_ = dir_.Path();
  std::map<std::string, std::string> rows_;
  std::string data_;
  std::string index_;
  std::size_t slotSize_ = 0;
};

TEST_F(DamageTest, RepairKeepsEveryReadableRow) {
  const Case cases[] = {
      {"data slots, bytes flipped", true, Damage::kFlipBytes, kDataHeader},
      {"data file cut short", true, Damage::kTruncate, kDataHeader},
      {"data slots zeroed", true, Damage::kZeroRange, kDataHeader},
      {"data header, bytes flipped", true, Damage::kFlipBytes, 0},
      {"index pages, bytes flipped", false, Damage::kFlipBytes, kPageSize},
      {"index file cut short", false, Damage::kTruncate, 0},
      {"index page zeroed", false, Damage::kZeroRange, kPageSize},
      {"index header, bytes flipped", false, Damage::kFlipBytes, 0},
  };
  std::mt19937 random(5);
  for (const Case& c : cases) {
    for (int trial = 0; trial < 6; ++trial) {
      SCOPED_TRACE(std::string(c.Label) + ", trial " + std::to_string(trial));
      std::string data = data_;
      std::string index = index_;
      std::string& target = c.DataFile ? data : index;
      std::size_t span = target.size() - c.From;
      std::size_t limit = c.From == 0 ? (c.DataFile ? kDataHeader : 64) : span;  // headers: their own bytes
      std::size_t lowest = target.size();
      std::size_t highest = 0;
      switch (c.Kind) {
        case Damage::kFlipBytes:
          for (int n = 0; n < 4; ++n) {
            std::size_t at = c.From + random() % limit;
            target[at] = static_cast<char>(target[at] ^ (1 + random() % 255));
            lowest = std::min(lowest, at);
            highest = std::max(highest, at);
          }
          break;
        case Damage::kTruncate:
          lowest = c.From + random() % span;
          highest = target.size() - 1;
          target.resize(lowest);
          break;
        case Damage::kZeroRange: {
          std::size_t length = c.DataFile ? 700 : kPageSize;
          lowest = c.From + random() % (span - length);
          if (!c.DataFile) lowest -= lowest % kPageSize;
          highest = lowest + length - 1;
          std::fill(target.begin() + static_cast<long>(lowest),
                    target.begin() + static_cast<long>(highest) + 1, '\0');
          break;
        }
      }
      Spill(folder_ + "Sigs.DAT", data);
      Spill(folder_ + "Sigs.IDX", index);
      TTable sigs("SigsTable");
      TTable matches("MatchesTable");
      try {
        OpenTables(sigs, matches, folder_);
      } catch (const EStoreError& error) {
        // Only a data header that cannot be read may stop the repair.
        EXPECT_TRUE(c.DataFile && c.From == 0) << error.what();
        continue;
      }
      std::map<std::string, std::string> found;
      for (sigs.First(); !sigs.Eof(); sigs.Next()) {
        std::string name = sigs.FieldAsString("FileName");
        EXPECT_TRUE(found.emplace(name, sigs.FieldAsString("Signature")).second) << "twice: " << name;
      }
      EXPECT_EQ(static_cast<std::int32_t>(found.size()), sigs.RecordCount());
      sigs.SetIndexName("BySignature");
      std::int32_t walked = 0;
      for (sigs.First(); !sigs.Eof(); sigs.Next()) ++walked;
      EXPECT_EQ(walked, sigs.RecordCount());
      for (int i = 0; i < kRows; ++i) {
        std::string name = "n" + std::to_string(1000 + i);
        std::size_t slotFirst = kDataHeader + slotSize_ * static_cast<std::size_t>(i);
        bool touched = c.DataFile && highest >= slotFirst && lowest < slotFirst + slotSize_;
        auto it = found.find(name);
        if (!touched) {
          ASSERT_NE(it, found.end()) << "lost " << name;
          EXPECT_EQ(it->second, rows_[name]);
        } else if (it != found.end()) {
          EXPECT_EQ(it->second, rows_[name]) << "a damaged slot read back as a row";
        }
      }
      // The repaired table takes changes.
      sigs.SetIndexName("");
      sigs.Append();
      sigs.SetFieldValue("FileName", std::string("new"));
      sigs.Post();
      sigs.First();
      sigs.Delete();
    }
  }
}

TEST_F(DamageTest, LostIndexFileIsMadeAgain) {
  fs::remove(folder_ + "Sigs.IDX");
  TTable sigs("SigsTable");
  TTable matches("MatchesTable");
  OpenTables(sigs, matches, folder_);
  EXPECT_EQ(sigs.RecordCount(), kRows);
  sigs.SetIndexName("BySignature");
  sigs.SetKey();
  sigs.SetFieldValue("Signature", rows_["n1007"]);
  ASSERT_TRUE(sigs.GotoKey());
  EXPECT_EQ(sigs.FieldAsString("FileName"), "n1007");
}

TEST_F(DamageTest, CurrentHeaderIsRebuiltFromTheOpeningDefinitions) {
  struct THeaderCase {
    const char* Label;
    std::size_t At;  // the byte changed; kEmpty: the file is emptied
    std::uint8_t Value;
  };
  constexpr std::size_t kEmpty = ~std::size_t{0};
  const THeaderCase cases[] = {
      {"magic", 0, 'X'},           {"version field zeroed", 8, 0}, {"header size", 13, 0x7F},
      {"unit size", 16, 0x21},     {"field count", 20, 9},         {"checksum", 29, 0x55},
      {"a field's name", 66, 'Z'}, {"an index copy", 212, 0x11},   {"padding", 500, 0xAB},
      {"empty file", kEmpty, 0},
  };
  for (const THeaderCase& c : cases) {
    SCOPED_TRACE(c.Label);
    std::string data = data_;
    if (c.At == kEmpty) {
      data.clear();
    } else {
      ASSERT_NE(data[c.At], static_cast<char>(c.Value));
      data[c.At] = static_cast<char>(c.Value);
    }
    Spill(folder_ + "Sigs.DAT", data);
    Spill(folder_ + "Sigs.IDX", index_);
    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    OpenTables(sigs, matches, folder_);
    std::map<std::string, std::string> found;
    for (sigs.First(); !sigs.Eof(); sigs.Next())
      found[sigs.FieldAsString("FileName")] = sigs.FieldAsString("Signature");
    if (c.At == kEmpty) {
      EXPECT_TRUE(found.empty());
    } else {
      EXPECT_EQ(found, rows_);
    }
    sigs.Close();
    matches.Close();
    // The header now reads as it was written: the bytes are those of a table made anew.
    EXPECT_EQ(Slurp(folder_ + "Sigs.DAT").substr(0, kDataHeader), data_.substr(0, kDataHeader));
  }
}

TEST_F(DamageTest, EmptyMatchesDataFileIsMadeAgainInPlace) {
  Spill(folder_ + "Matches.DAT", "");
  TTable sigs("SigsTable");
  TTable matches("MatchesTable");
  std::vector<std::string> reports;
  OpenTables(sigs, matches, folder_, [&](const std::string& line) { reports.push_back(line); });
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(matches.RecordCount(), 0);
  EXPECT_FALSE(fs::exists(folder_ + "Matches.DAT.damaged"));
  EXPECT_EQ(sigs.RecordCount(), kRows);
}

TEST(DamagedHeaderTest, OlderVersionIsNeverRebuiltAsTheCurrentOne) {
  TTestDir dir;
  const fs::path v1 = fs::path(VELQUIN_SOURCE_DIR) / "tablestore/testdata/v1";
  for (const char* name : {"Sigs.DAT", "Sigs.IDX"}) fs::copy_file(v1 / name, dir.Path() + name);
  std::string data = Slurp(dir.Path() + "Sigs.DAT");
  data[40] = static_cast<char>(data[40] ^ 0x5A);  // reserved header bytes: the checksum fails
  Spill(dir.Path() + "Sigs.DAT", data);
  TTable sigs("SigsTable");
  TTable matches("MatchesTable");
  try {
    OpenTables(sigs, matches, dir.Path());
    ADD_FAILURE() << "an older table with a damaged header was opened";
  } catch (const EStoreError& error) {
    EXPECT_EQ(error.Code, 12100) << error.what();
  }
  EXPECT_EQ(Slurp(dir.Path() + "Sigs.DAT"), data);
}

TEST(FuzzReplayTest, SeedsAndRegressionsRunClean) {
  std::size_t inputs = 0;
  for (const char* dir : {"/fuzz/corpus/tablestore", "/fuzz/regressions/tablestore"}) {
    fs::path path = fs::path(VELQUIN_SOURCE_DIR + std::string(dir));
    if (!fs::exists(path)) continue;
    for (const auto& entry : fs::directory_iterator(path)) {
      SCOPED_TRACE(entry.path().string());
      std::string bytes = Slurp(entry.path().string());
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++inputs;
    }
  }
  EXPECT_GE(inputs, 6u);
}

}  // namespace
}  // namespace velquin
