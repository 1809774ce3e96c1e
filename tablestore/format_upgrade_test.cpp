// Tables of an older file format: converted on open, refused when they cannot be.
#include "tablestore/format_upgrade.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/program_tables.h"
#include "platform/test_dir.h"
#include "tablestore/store_error_codes.h"
#include "tablestore/store_exceptions.h"

namespace velquin {
namespace {

namespace fs = std::filesystem;

const std::string kCutName(100, 'q');  // the 104-byte name as the first format stored it

class FormatUpgradeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& entry :
         fs::directory_iterator(fs::path(VELQUIN_SOURCE_DIR) / "tablestore/testdata/v1")) {
      if (entry.path().extension() != ".md")
        fs::copy_file(entry.path(), fs::path(dir_.Path()) / entry.path().filename());
    }
  }
  void TearDown() override {
    sigs_.Close();
    matches_.Close();
  }

  std::uint32_t VersionOf(const std::string& file) const {
    std::string bytes = ReadWholeFile(dir_.Path() + file);
    std::uint32_t version = 0;
    if (bytes.size() >= 12) std::memcpy(&version, bytes.data() + 8, 4);
    return version;
  }
  void SetVersion(const std::string& file, std::uint32_t version) const {
    std::string bytes = ReadWholeFile(dir_.Path() + file);
    std::memcpy(bytes.data() + 8, &version, 4);
    dir_.WriteFile(file, bytes);
  }
  int OpenError(bool readOnly) {
    sigs_.DatabaseName = dir_.Path();
    sigs_.TableName = "Sigs.Dat";
    sigs_.ReadOnly = readOnly;
    try {
      sigs_.Open();
    } catch (const EStoreError& error) {
      return error.Code;
    }
    return 0;
  }
  std::vector<std::string> SigsRows() {
    std::vector<std::string> rows;
    for (sigs_.First(); !sigs_.Eof(); sigs_.Next()) {
      rows.push_back(sigs_.FieldAsString("FileName") + "|" + sigs_.FieldAsString("FilePath") + "|" +
                     sigs_.FieldAsString("Signature"));
    }
    return rows;
  }
  std::vector<std::string> MatchesRows() {
    std::vector<std::string> rows;
    for (matches_.First(); !matches_.Eof(); matches_.Next()) {
      rows.push_back(std::to_string(std::get<std::int32_t>(matches_.FieldValue("MaxDiff"))) + "|" +
                     matches_.FieldAsString("File1") + "|" + matches_.FieldAsString("File2"));
    }
    return rows;
  }

  TTestDir dir_;
  TTable sigs_{"SigsTable"};
  TTable matches_{"MatchesTable"};
};

TEST_F(FormatUpgradeTest, OpenTablesConvertsEveryRowAndLeavesNoNewFiles) {
  OpenTables(sigs_, matches_, dir_.Path());
  EXPECT_EQ(SigsRows(),
            (std::vector<std::string>{"a.jpg|/pics/|0102030405", "b.png|/pics/|0102030406",
                                      "c d.bmp|/pics/sub dir/|FFEE", kCutName + "|/pics/|A0B0C0"}));
  EXPECT_EQ(MatchesRows(),
            (std::vector<std::string>{"0|/pics/a.jpg|/pics/" + kCutName + ".jpg", "3|/pics/a.jpg|/pics/b.png",
                                      "12|/pics/b.png|/pics/sub dir/c d.bmp"}));
  sigs_.SetKey();
  sigs_.SetFieldValue("FileName", std::string("c d.bmp"));
  sigs_.SetFieldValue("FilePath", std::string("/pics/sub dir/"));
  EXPECT_TRUE(sigs_.GotoKey());
  // The old tables' texts were widened to what a folder may hold.
  const std::string longName = "z" + std::string(kMaxFileNameBytes - 1, 'n');
  const std::string longPath = "/" + std::string(kMaxPathBytes - 2, 'p') + "/";
  sigs_.Append();
  sigs_.SetFieldValue("FileName", longName);
  sigs_.SetFieldValue("FilePath", longPath);
  sigs_.Post();
  matches_.Append();
  matches_.SetFieldValue("MaxDiff", 99);
  matches_.SetFieldValue("File1", longPath);
  matches_.SetFieldValue("File2", "/q" + longPath.substr(2));
  matches_.Post();
  sigs_.Close();
  matches_.Close();
  OpenTables(sigs_, matches_, dir_.Path());
  EXPECT_EQ(SigsRows().back(), longName + "|" + longPath + "|");
  EXPECT_EQ(MatchesRows().back(), "99|" + longPath + "|/q" + longPath.substr(2));
  sigs_.Close();
  matches_.Close();
  for (const char* file : {"Sigs.DAT", "Sigs.IDX", "Matches.DAT", "Matches.IDX"})
    EXPECT_EQ(VersionOf(file), 2u) << file;
  for (const auto& entry : fs::directory_iterator(dir_.Path()))
    EXPECT_EQ(entry.path().filename().string().find("-new"), std::string::npos) << entry.path();
}

TEST_F(FormatUpgradeTest, AConversionCutShortIsDoneAgain) {
  // A crash after the new index file was renamed over the old one, with the new data file
  // still under its -new name, half written.
  dir_.WriteFile("Sigs-new.DAT", "VQTBLDAT half");
  {
    TTestDir other;
    for (const char* file : {"Sigs.DAT", "Sigs.IDX"}) fs::copy_file(dir_.Path() + file, other.Path() + file);
    TTable converted("Converted");
    converted.DatabaseName = other.Path();
    converted.TableName = "Sigs.Dat";
    converted.Open();
    converted.Close();
    fs::copy_file(other.Path() + "Sigs.IDX", dir_.Path() + "Sigs.IDX", fs::copy_options::overwrite_existing);
  }
  ASSERT_EQ(OpenError(false), 0);
  EXPECT_EQ(SigsRows().size(), 4u);
  EXPECT_FALSE(fs::exists(dir_.Path() + "Sigs-new.DAT"));
}

TEST_F(FormatUpgradeTest, TablesThatCannotBeConvertedAreRefused) {
  struct TCase {
    const char* name;
    const char* file;
    std::uint32_t version;
    bool readOnly;
    int code;
  };
  const TCase cases[] = {
      {"old table opened read-only", "Sigs.DAT", 1, true, store::kErrOldFormatReadOnly},
      {"newer data file", "Sigs.DAT", 3, false, store::kErrNewerFormat},
      {"newer data file, read-only", "Sigs.DAT", 3, true, store::kErrNewerFormat},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string before = ReadWholeFile(dir_.Path() + c.file);
    SetVersion(c.file, c.version);
    EXPECT_EQ(OpenError(c.readOnly), c.code);
    EXPECT_EQ(VersionOf(c.file), c.version);
    dir_.WriteFile(c.file, before);
  }
}

}  // namespace
}  // namespace velquin
