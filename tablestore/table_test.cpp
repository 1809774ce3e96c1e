// Row-set behaviour of the table object over real files in a temporary folder.
#include "tablestore/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "app/program_tables.h"
#include "platform/test_dir.h"
#include "tablestore/index_scope.h"
#include "tablestore/store_exceptions.h"

namespace velquin {
namespace {

namespace fs = std::filesystem;

class TableTest : public ::testing::Test {
 protected:
  void TearDown() override {
    sigs_.Close();
    matches_.Close();
  }

  void OpenBoth() { OpenTables(sigs_, matches_, folder_); }

  void AddSig(const std::string& name, const std::string& path, const std::string& signature) {
    sigs_.Append();
    sigs_.SetFieldValue("FileName", name);
    sigs_.SetFieldValue("FilePath", path);
    sigs_.SetFieldValue("FileDate", 45000.25);
    sigs_.SetFieldValue("Signature", signature);
    sigs_.Post();
  }

  std::vector<std::string> Walk(TTable& table, const char* field) {
    std::vector<std::string> seen;
    for (table.First(); !table.Eof(); table.Next()) seen.push_back(table.FieldAsString(field));
    return seen;
  }

  TTestDir dir_;
  const std::string folder_ = dir_.Path();
  TTable sigs_{"SigsTable"};
  TTable matches_{"MatchesTable"};
};

TEST_F(TableTest, OpenTablesCreatesEmptyTables) {
  OpenBoth();
  for (const char* name : {"Sigs.DAT", "Sigs.IDX", "Matches.DAT", "Matches.IDX"}) {
    EXPECT_TRUE(fs::exists(folder_ + name)) << name;
  }
  EXPECT_EQ(sigs_.RecordCount(), 0);
  EXPECT_EQ(matches_.RecordCount(), 0);
  EXPECT_TRUE(sigs_.Bof());
  EXPECT_TRUE(sigs_.Eof());
  EXPECT_EQ(sigs_.RecNo(), 0);
  EXPECT_EQ(sigs_.State(), TDataSetState::dsBrowse);
  try {
    sigs_.Delete();
    FAIL() << "delete on an empty table";
  } catch (const EDatabaseError& error) {
    EXPECT_STREQ(error.what(), "SigsTable: Cannot perform this operation on an empty dataset");
  }
}

TEST_F(TableTest, RowsSurviveReopenInPrimaryOrder) {
  OpenBoth();
  AddSig("b.jpg", "/p/", "S2");
  AddSig("a.jpg", "/p/", "S1");
  AddSig("A.jpg", "/p/", "S3");
  OpenBoth();
  EXPECT_EQ(sigs_.RecordCount(), 3);
  EXPECT_EQ(sigs_.RecNo(), 1);
  EXPECT_EQ(Walk(sigs_, "FileName"), (std::vector<std::string>{"A.jpg", "a.jpg", "b.jpg"}));
}

TEST_F(TableTest, PositionsAfterDelete) {
  OpenBoth();
  for (const char* name : {"a", "b", "c"}) AddSig(name, "/p/", "S");
  // Middle: the next row becomes current.
  sigs_.First();
  sigs_.Next();
  sigs_.Delete();
  EXPECT_EQ(sigs_.FieldAsString("FileName"), "c");
  EXPECT_FALSE(sigs_.Eof());
  // Last of several: the new last row is current and EOF stays false.
  sigs_.Delete();
  EXPECT_EQ(sigs_.FieldAsString("FileName"), "a");
  EXPECT_FALSE(sigs_.Eof());
  EXPECT_EQ(sigs_.RecNo(), 1);
  // The only row: BOF and EOF.
  sigs_.Delete();
  EXPECT_TRUE(sigs_.Bof());
  EXPECT_TRUE(sigs_.Eof());
  EXPECT_EQ(sigs_.RecordCount(), 0);
}

TEST_F(TableTest, DeleteOrNextLoopVisitsEveryRowOnce) {
  OpenBoth();
  for (int i = 0; i < 50; ++i) AddSig("f" + std::to_string(100 + i), "/p/", "S");
  std::vector<std::string> visited;
  sigs_.First();
  while (!sigs_.Eof()) {
    std::string name = sigs_.FieldAsString("FileName");
    visited.push_back(name);
    if (std::stoi(name.substr(1)) % 3 == 0) {
      sigs_.Delete();
    } else {
      sigs_.Next();
    }
  }
  // f149 is kept, so no row is visited twice.
  EXPECT_EQ(visited.size(), 50u);
  EXPECT_EQ(sigs_.RecordCount(), 50 - 16);  // f102, f105, ..., f147
}

TEST_F(TableTest, UniqueKeySearchIsExactAndCaseSensitive) {
  OpenBoth();
  // A folder as long as the field is found whole; trailing blanks are part of a text.
  const std::string deep = "/" + std::string(98, 'd') + "/";
  AddSig("a.jpg", "/p/", "S1");
  AddSig("b.jpg", "/p/", "S2");
  AddSig("c.jpg", deep, "S3");
  struct Case {
    const char* name;
    std::string path;
    bool found;
  } cases[] = {
      {"a.jpg", "/p/", true},  {"A.jpg", "/p/", false},
      {"a.jp", "/p/", false},  {"b.jpg", "/p/", true},
      {"b.jpg", "/q/", false}, {"b.jpg   ", "/p/", false},
      {"c.jpg", deep, true},   {"c.jpg", deep.substr(0, 99), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + c.path);
    sigs_.First();
    sigs_.SetKey();
    sigs_.SetFieldValue("FileName", std::string(c.name));
    sigs_.SetFieldValue("FilePath", c.path);
    EXPECT_EQ(sigs_.GotoKey(), c.found);
    EXPECT_EQ(sigs_.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(sigs_.FieldAsString("FileName"), c.found ? c.name : "a.jpg");
  }
}

TEST_F(TableTest, NonUniqueSearchHasNoPrefixMatch) {
  OpenBoth();
  std::string long1(192, 'B');
  std::string long2(192, 'C');
  AddSig("x", "/p/", long2);
  AddSig("y", "/p/", long1);
  AddSig("z", "/p/", long1);
  sigs_.SetIndexName("BySignature");
  EXPECT_EQ(Walk(sigs_, "FileName"), (std::vector<std::string>{"y", "z", "x"}));
  sigs_.First();
  sigs_.SetKey();
  sigs_.SetFieldValue("Signature", std::string("BBBB"));
  EXPECT_FALSE(sigs_.GotoKey());
  EXPECT_EQ(sigs_.FieldAsString("FileName"), "y");
  sigs_.Next();
  EXPECT_EQ(sigs_.FieldAsString("FileName"), "z");
  sigs_.SetKey();
  sigs_.SetFieldValue("Signature", long2);
  EXPECT_TRUE(sigs_.GotoKey());
  EXPECT_EQ(sigs_.FieldAsString("FileName"), "x");
  sigs_.SetKey();
  sigs_.SetFieldValue("Signature", long1);
  EXPECT_TRUE(sigs_.GotoKey());
  EXPECT_EQ(sigs_.FieldAsString("FileName"), "y");  // the first of equal keys
  sigs_.SetKey();
  EXPECT_THROW(sigs_.SetFieldValue("FileName", std::string("x")), EDatabaseError);
}

TEST_F(TableTest, IndexSwitchKeepsRowAndEqualKeysKeepInsertionOrder) {
  OpenBoth();
  AddSig("c", "/p/", "SAME");
  AddSig("a", "/p/", "SAME");
  AddSig("b", "/p/", "OTHER");
  sigs_.SetKey();
  sigs_.SetFieldValue("FileName", std::string("c"));
  sigs_.SetFieldValue("FilePath", std::string("/p/"));
  ASSERT_TRUE(sigs_.GotoKey());
  sigs_.SetIndexName("bysignature");
  EXPECT_EQ(sigs_.FieldAsString("FileName"), "c");
  EXPECT_EQ(sigs_.RecNo(), 2);
  // Change the first of the equal rows and change it back: it keeps its place.
  sigs_.Edit();
  sigs_.SetFieldValue("Signature", std::string("ZZZ"));
  sigs_.Post();
  sigs_.Edit();
  sigs_.SetFieldValue("Signature", std::string("SAME"));
  sigs_.Post();
  EXPECT_EQ(Walk(sigs_, "FileName"), (std::vector<std::string>{"b", "c", "a"}));
  sigs_.SetIndexName("");
  EXPECT_EQ(sigs_.FieldAsString("FileName"), "a");
  try {
    sigs_.SetIndexName("Nope");
    FAIL();
  } catch (const EStoreError& error) {
    EXPECT_EQ(error.Code, 10022);
    EXPECT_STREQ(
        error.what(),
        "Tabrix Engine Error # 10022 Invalid secondary index name 'Nope' specified for the table 'Sigs'");
  }
}

TEST_F(TableTest, DuplicateKeyLeavesRowPending) {
  OpenBoth();
  for (int pass = 0; pass < 2; ++pass) {
    matches_.Append();
    matches_.SetFieldValue("MaxDiff", 5);
    matches_.SetFieldValue("File1", std::string("/p/a"));
    matches_.SetFieldValue("File2", std::string("/p/b"));
    if (pass == 0) {
      matches_.Post();
      continue;
    }
    try {
      matches_.Post();
      FAIL() << "duplicate posted";
    } catch (const EStoreError& error) {
      EXPECT_EQ(error.Code, 9729);
      EXPECT_STREQ(error.what(),
                   "Tabrix Engine Error # 9729 Duplicate key found in the index '' of the table 'Matches'");
    }
    EXPECT_EQ(matches_.State(), TDataSetState::dsInsert);
    EXPECT_EQ(matches_.FieldAsInteger("MaxDiff"), 5);
    matches_.Cancel();
    EXPECT_EQ(matches_.State(), TDataSetState::dsBrowse);
  }
  EXPECT_EQ(matches_.RecordCount(), 1);
}

TEST_F(TableTest, NotificationsAreCountedAndNamed) {
  OpenBoth();
  std::vector<std::string> heard;
  TDataSource source;
  source.OnDataChange = [&](std::string_view field) { heard.emplace_back(field); };
  source.SetDataSet(&matches_);
  matches_.SuspendNotifications();
  matches_.SuspendNotifications();
  matches_.Append();
  matches_.SetFieldValue("maxdiff", 1);
  matches_.Post();
  matches_.ResumeNotifications();
  EXPECT_TRUE(heard.empty());
  EXPECT_TRUE(matches_.NotificationsSuspended());
  matches_.ResumeNotifications();
  EXPECT_EQ(heard, std::vector<std::string>{""});
  heard.clear();
  matches_.Edit();
  matches_.SetFieldValue("File1", std::string("x"));
  matches_.Post();
  EXPECT_EQ(heard, (std::vector<std::string>{"", "File1", ""}));
  heard.clear();
  matches_.First();
  matches_.Next();  // to EOF: notifies
  matches_.Next();  // already EOF: nothing
  EXPECT_EQ(heard.size(), 2u);
  heard.clear();
  matches_.Close();
  EXPECT_TRUE(heard.empty());
  matches_.Open();
  EXPECT_EQ(heard.size(), 1u);
}

TEST_F(TableTest, FieldValuesKeepTheirBlanksAndAreRounded) {
  OpenBoth();
  sigs_.Append();
  sigs_.SetFieldValue("Signature", std::string(250, 'x'));
  sigs_.SetFieldValue("FileName", std::string(" a "));
  sigs_.SetFieldValue("FilePath", std::string("   "));
  double noonish = 45000.0 + (12 * 3600 + 0.4996) / 86400.0;
  sigs_.SetFieldValue("FileDate", noonish);
  sigs_.Post();
  OpenBoth();
  EXPECT_EQ(sigs_.FieldAsString("Signature"), std::string(250, 'x'));
  EXPECT_EQ(sigs_.FieldAsString("FileName"), " a ");
  EXPECT_EQ(sigs_.FieldAsString("FilePath"), "   ");
  double ms = std::round((sigs_.FieldAsDateTime("FileDate") - 45000.0) * 86400000.0);
  EXPECT_EQ(ms, 12 * 3600000.0 + 500);
  try {
    sigs_.FieldValue("Nope");
    FAIL();
  } catch (const EDatabaseError& error) {
    EXPECT_STREQ(error.what(), "SigsTable: Field 'Nope' not found");
  }
  EXPECT_THROW(sigs_.SetFieldValue("FileName", std::string("x")), EDatabaseError);

  // Texts read in place show what FieldAsString shows, in browsing and while editing.
  EXPECT_EQ(sigs_.FieldText("filename"), " a ");
  EXPECT_EQ(sigs_.FieldText("FilePath"), "   ");
  sigs_.Edit();
  sigs_.SetFieldValue("FileName", std::string("b"));
  EXPECT_EQ(sigs_.FieldText("FileName"), "b");
  sigs_.Cancel();
  EXPECT_EQ(sigs_.FieldText("FileName"), " a ");
  try {
    sigs_.FieldText("FileDate");
    FAIL();
  } catch (const EDatabaseError& error) {
    EXPECT_STREQ(error.what(), "SigsTable: Field 'FileDate' is not a string field");
  }
}

TEST_F(TableTest, KeysOfTwoLongestTextsKeepOrderAndLookups) {
  TTable table("LongTable");
  table.DatabaseName = folder_;
  table.TableName = "Long.Dat";
  table.FieldDefs = {{"A", TFieldType::ftString, 4096, false}, {"B", TFieldType::ftString, 4096, false}};
  table.IndexDefs = {{"", "A;B", ixPrimary}};
  table.CreateTable();
  std::string header = ReadWholeFile(folder_ + "Long.IDX");
  ASSERT_GE(header.size(), 16u);
  std::uint32_t pageSize;
  std::memcpy(&pageSize, header.data() + 12, 4);
  EXPECT_EQ(pageSize, 32768u);  // three entries of two 4096-byte texts to a page
  table.Open();
  // Keys that differ only in their last bytes, inserted out of order, fill pages of three
  // entries and split them into a tree of three levels.
  auto text = [](char fill, int number) {
    std::string value(4096, fill);
    std::string digits = std::to_string(1000 + number);
    value.replace(value.size() - digits.size(), digits.size(), digits);
    return value;
  };
  std::vector<std::string> expected;
  for (int i = 0; i < 60; ++i) {
    int n = (i * 37) % 60;
    table.Append();
    table.SetFieldValue("A", text('a', n / 2));
    table.SetFieldValue("B", text('b', n));
    table.Post();
    expected.push_back(text('a', n / 2) + text('b', n));
  }
  std::sort(expected.begin(), expected.end());
  std::vector<std::string> walked;
  for (table.First(); !table.Eof(); table.Next())
    walked.push_back(table.FieldAsString("A") + table.FieldAsString("B"));
  EXPECT_EQ(walked, expected);
  for (int n : {0, 31, 59}) {
    table.SetKey();
    table.SetFieldValue("A", text('a', n / 2));
    table.SetFieldValue("B", text('b', n));
    EXPECT_TRUE(table.GotoKey()) << n;
    EXPECT_EQ(table.FieldAsString("B"), text('b', n));
  }
  table.SetKey();
  table.SetFieldValue("A", text('a', 3));
  table.SetFieldValue("B", text('b', 5));
  EXPECT_FALSE(table.GotoKey());
  table.Close();
  EXPECT_TRUE(table.CheckAndRepair(false));
}

// Rows take the room their values need: texts of every length from 1 byte to the field's 4096,
// nulls, rows that grow and shrink on edit and rows deleted, all read back the same after a
// reopen, and the room freed is used again rather than the file growing with every change.
TEST_F(TableTest, RowsOfEveryLengthSurviveChangesAndReuseFreedRoom) {
  TTable table("Texts");
  table.DatabaseName = folder_;
  table.TableName = "Texts.Dat";
  table.FieldDefs = {{"Id", TFieldType::ftInteger, 0, false},
                     {"Short", TFieldType::ftString, 255, false},
                     {"Long", TFieldType::ftString, 4096, false}};
  table.IndexDefs = {{"", "Id", ixPrimary | ixUnique}};
  table.CreateTable();
  table.Open();
  std::mt19937 random(3);
  auto text = [&](std::size_t most) -> std::string {
    const std::size_t length = random() % 4 == 0 ? 0 : 1 + random() % most;
    std::string value(length, ' ');
    for (char& c : value) c = static_cast<char>('!' + random() % 90);
    return value;
  };
  std::map<std::int32_t, std::pair<std::string, std::string>> model;
  auto put = [&](std::int32_t id) {
    auto& [shortText, longText] = model[id] = {text(255), text(4096)};
    table.SetFieldValue("Id", id);
    table.SetFieldValue("Short", shortText);
    table.SetFieldValue("Long", longText);
    table.Post();
  };
  auto payload = [&] {
    std::size_t bytes = 0;
    for (const auto& [id, texts] : model) bytes += 16 + texts.first.size() + texts.second.size();
    return bytes;
  };
  for (std::int32_t id = 0; id < 300; ++id) {
    table.Append();
    put(id);
  }
  std::size_t largest = 0;
  for (int round = 0; round < 6; ++round) {
    for (int change = 0; change < 200; ++change) {
      const auto id = static_cast<std::int32_t>(random() % 400);
      table.SetKey();
      table.SetFieldValue("Id", id);
      const bool found = table.GotoKey();
      if (found && random() % 3 == 0) {
        table.Delete();
        model.erase(id);
      } else {
        found ? table.Edit() : table.Append();
        put(id);
      }
    }
    largest = std::max(largest, payload());
  }
  table.Close();
  // Best fit leaves some room unused, but far less than a file that only grows.
  EXPECT_LT(fs::file_size(folder_ + "Texts.DAT"), 2 * largest + 65536);
  EXPECT_TRUE(table.CheckAndRepair(false));
  table.Open();
  std::map<std::int32_t, std::pair<std::string, std::string>> read;
  for (table.First(); !table.Eof(); table.Next()) {
    read[table.FieldAsInteger("Id")] = {table.FieldAsString("Short"), table.FieldAsString("Long")};
  }
  EXPECT_EQ(read, model);
}

// Every field of every row, in the order of the active index: what a walk along it reads.
std::vector<std::vector<TFieldValue>> WalkEveryField(TTable& table) {
  std::vector<std::vector<TFieldValue>> rows;
  for (table.First(); !table.Eof(); table.Next()) {
    std::vector<TFieldValue>& row = rows.emplace_back();
    for (const TFieldDef& field : table.FieldDefs) row.push_back(table.FieldValue(field.Name));
  }
  return rows;
}

// The rows ReadEveryRow visits, each put at the place of the active index it names.
std::vector<std::vector<TFieldValue>> ReadEveryRowByPlace(TTable& table) {
  std::vector<std::vector<TFieldValue>> visited;
  const std::vector<std::uint32_t> rowOfPlace =
      table.ReadEveryRow([&](const std::vector<TFieldValue>& values) { visited.push_back(values); });
  std::vector<std::uint32_t> rows = rowOfPlace;
  std::sort(rows.begin(), rows.end());
  for (std::uint32_t row = 0; row < rows.size(); ++row) EXPECT_EQ(rows[row], row) << "each row at one place";
  EXPECT_EQ(rows.size(), visited.size());
  std::vector<std::vector<TFieldValue>> byPlace;
  for (const std::uint32_t row : rowOfPlace) byPlace.push_back(visited.at(row));
  return byPlace;
}

TEST_F(TableTest, ReadingEveryRowAtOnceGivesWhatAWalkReadsWhereverTheRowsLie) {
  TTable table("Texts");
  table.DatabaseName = folder_;
  table.TableName = "Texts.Dat";
  table.FieldDefs = {{"Id", TFieldType::ftInteger, 0, false},
                     {"Name", TFieldType::ftString, 40, false},
                     {"Long", TFieldType::ftString, 4096, false}};
  table.IndexDefs = {{"", "Id", ixPrimary | ixUnique}, {"ByName", "Name", 0}};
  table.CreateTable();
  table.Open();
  // Rows of up to 130 units, stored in no key order, many times the bytes the walk reads at once,
  // so that runs straddle its reads; names repeat, so that ByName holds equal keys.
  std::mt19937 random(11);
  auto put = [&](std::int32_t id) {
    table.SetFieldValue("Id", id);
    table.SetFieldValue("Name", "n" + std::to_string(random() % 50));
    table.SetFieldValue("Long",
                        random() % 5 == 0 ? std::string() : std::string(1 + random() % 4000, 'a' + id % 26));
    table.Post();
  };
  auto change = [&](int changes) {
    for (int i = 0; i < changes; ++i) {
      const auto id = static_cast<std::int32_t>(random() % 700);
      table.SetKey();
      table.SetFieldValue("Id", id);
      const bool found = table.GotoKey();
      if (found && random() % 3 == 0) {
        table.Delete();
      } else {
        found ? table.Edit() : table.Append();
        put(id);
      }
    }
  };
  auto expectReadAsWalked = [&](const char* when) {
    SCOPED_TRACE(when);
    for (const char* index : {"", "ByName"}) {
      table.SetIndexName(index);
      table.First();
      table.MoveBy(7);
      const std::int32_t recNo = table.RecNo();
      const std::vector<std::vector<TFieldValue>> read = ReadEveryRowByPlace(table);
      EXPECT_EQ(table.RecNo(), recNo) << "the current row stays";
      EXPECT_EQ(read, WalkEveryField(table)) << "index '" << index << "'";
    }
    table.SetIndexName("");
  };

  expectReadAsWalked("empty");
  change(600);
  ASSERT_GT(fs::file_size(folder_ + "Texts.DAT"), 1u << 19);
  // Edited rows keep their older versions, still marked live, until the next sync point.
  expectReadAsWalked("changed in this session");
  table.Sync();
  change(300);
  expectReadAsWalked("changed again, into freed room");
  table.Append();
  table.SetFieldValue("Id", 1000);
  table.SetFieldValue("Name", "pending");
  const std::vector<std::vector<TFieldValue>> withPending = ReadEveryRowByPlace(table);
  EXPECT_EQ(table.State(), TDataSetState::dsBrowse) << "a pending row is posted first";
  EXPECT_EQ(withPending, WalkEveryField(table));
  table.Close();
  table.Open();
  expectReadAsWalked("reopened");
  table.Close();
}

TEST_F(TableTest, ATextLongerThanItsFieldIsRefusedNeverCut) {
  OpenBoth();
  AddSig("a.jpg", "/p/", "S1");
  struct Case {
    const char* label;
    void (TTable::*enter)();
    const char* field;
    std::size_t length;
  } cases[] = {
      {"append", &TTable::Append, "Signature", 251},
      {"edit", &TTable::Edit, "FileName", kMaxFileNameBytes + 1},
      {"key search", &TTable::SetKey, "FilePath", kMaxPathBytes + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    (sigs_.*c.enter)();
    try {
      sigs_.SetFieldValue(c.field, std::string(c.length, 'x'));
      FAIL() << "accepted";
    } catch (const EStoreError& error) {
      EXPECT_EQ(error.Code, 9493);
      EXPECT_EQ(std::string(error.what()), "Tabrix Engine Error # 9493 A text of " +
                                               std::to_string(c.length) + " bytes is longer than the size " +
                                               std::to_string(c.length - 1) + " of the field '" + c.field +
                                               "' in the table 'Sigs'");
    }
    sigs_.Cancel();
  }
  EXPECT_EQ(Walk(sigs_, "FileName"), std::vector<std::string>{"a.jpg"});
}

TEST_F(TableTest, WideningTextsKeepsRowsAndNeverNarrows) {
  TTable table("Names");
  table.DatabaseName = folder_;
  table.TableName = "Names.Dat";
  table.FieldDefs = {{"Name", TFieldType::ftString, 10, false}, {"Count", TFieldType::ftInteger, 0, false}};
  table.IndexDefs = {{"", "Name", ixPrimary | ixUnique}};
  table.CreateTable();
  table.Open();
  for (const char* name : {"b", "a", "0123456789"}) {
    table.Append();
    table.SetFieldValue("Name", std::string(name));
    table.SetFieldValue("Count", 7);
    table.Post();
  }
  table.Close();
  table.FieldDefs[0].Size = 5;
  EXPECT_FALSE(table.UpgradeFields());
  table.FieldDefs[0].Size = 300;
  EXPECT_TRUE(table.UpgradeFields());
  EXPECT_FALSE(table.UpgradeFields());
  table.Open();
  EXPECT_EQ(table.FieldDefs[0].Size, 300);
  EXPECT_EQ(Walk(table, "Name"), (std::vector<std::string>{"0123456789", "a", "b"}));
  table.Append();
  table.SetFieldValue("Name", std::string(300, 'z'));
  table.Post();
  EXPECT_EQ(table.RecordCount(), 4);
  EXPECT_THROW(table.UpgradeFields(), EDatabaseError);
}

TEST_F(TableTest, UpgradingAppendsMissingFieldsNullInEveryRowAndKeepsIndexes) {
  TTable table("Names");
  table.DatabaseName = folder_;
  table.TableName = "Names.Dat";
  table.FieldDefs = {{"Name", TFieldType::ftString, 10, false}, {"Count", TFieldType::ftInteger, 0, false}};
  table.IndexDefs = {{"", "Name", ixPrimary | ixUnique}, {"ByCount", "Count", 0}};
  table.CreateTable();
  table.Open();
  for (const auto& [name, count] : {std::pair{"b", 2}, {"a", 3}, {"c", 1}}) {
    table.Append();
    table.SetFieldValue("Name", std::string(name));
    table.SetFieldValue("Count", count);
    table.Post();
  }
  table.Close();
  // The wanted fields in another order, one of them new and one wider: stored fields keep their places.
  table.FieldDefs = {{"Extra", TFieldType::ftString, 64, false},
                     {"Count", TFieldType::ftInteger, 0, false},
                     {"Name", TFieldType::ftString, 20, false}};
  EXPECT_TRUE(table.UpgradeFields());
  EXPECT_FALSE(table.UpgradeFields());
  table.Open();
  ASSERT_EQ(table.FieldDefs.size(), 3u);
  EXPECT_EQ(table.FieldDefs[0].Name, "Name");
  EXPECT_EQ(table.FieldDefs[0].Size, 20);
  EXPECT_EQ(table.FieldDefs[2].Name, "Extra");
  EXPECT_EQ(table.FieldDefs[2].Size, 64);
  EXPECT_EQ(Walk(table, "Name"), (std::vector<std::string>{"a", "b", "c"}));
  for (table.First(); !table.Eof(); table.Next()) {
    EXPECT_TRUE(std::holds_alternative<std::monostate>(table.FieldValue("Extra")));
  }
  table.SetIndexName("ByCount");
  EXPECT_EQ(Walk(table, "Name"), (std::vector<std::string>{"c", "b", "a"}));
  table.SetIndexName("");
  table.First();
  table.Edit();
  table.SetFieldValue("Extra", std::string("filled"));
  table.Post();
  EXPECT_EQ(table.FieldAsString("Extra"), "filled");
}

TEST_F(TableTest, BookmarksAndValueAt) {
  OpenBoth();
  for (const char* name : {"d", "b", "a", "c"}) AddSig(name, "/p/", name);
  sigs_.First();
  sigs_.Next();
  TBookmark mark = sigs_.GetBookmark();
  sigs_.SetIndexName("BySignature");
  sigs_.SetIndexName("");
  sigs_.First();
  sigs_.GotoBookmark(mark);
  sigs_.FreeBookmark(mark);
  EXPECT_EQ(sigs_.FieldAsString("FileName"), "b");
  EXPECT_EQ(sigs_.RecNo(), 2);
  EXPECT_EQ(std::get<std::string>(sigs_.ValueAt(4, "FileName")), "d");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(sigs_.ValueAt(5, "FileName")));
  EXPECT_EQ(sigs_.RecNo(), 2);
  sigs_.MoveBy(10);
  EXPECT_TRUE(sigs_.Eof());
  EXPECT_EQ(sigs_.RecNo(), 4);
  sigs_.MoveBy(-2);
  EXPECT_EQ(sigs_.RecNo(), 2);
  EXPECT_FALSE(sigs_.Eof());
}

TEST_F(TableTest, IndexScopeBringsBackTheIndexAndTheRowOnEveryWayOut) {
  OpenBoth();
  for (const auto& [name, signature] : {std::pair{"d", "1"}, {"b", "4"}, {"a", "3"}, {"c", "2"}})
    AddSig(name, "/p/", signature);
  sigs_.First();
  sigs_.Next();
  ASSERT_EQ(sigs_.FieldAsString("FileName"), "b");
  {
    const TIndexScope scope(sigs_);
    sigs_.SetIndexName("BySignature");
  }
  EXPECT_EQ(sigs_.IndexName(), "");
  try {
    const TIndexScope scope(sigs_, TIndexScope::kIndexAndRow);
    sigs_.SetIndexName("BySignature");
    sigs_.First();
    throw std::runtime_error("search");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(sigs_.IndexName(), "");
  EXPECT_EQ(sigs_.FieldAsString("FileName"), "b");
  EXPECT_EQ(sigs_.RecNo(), 2);
  // The row is gone, so going back to it fails: the failure that ended the scope is the one seen.
  try {
    const TIndexScope scope(sigs_, TIndexScope::kIndexAndRow);
    sigs_.Delete();
    throw std::runtime_error("search");
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "search");
  }
  EXPECT_EQ(Walk(sigs_, "FileName"), (std::vector<std::string>{"a", "c", "d"}));
}

TEST_F(TableTest, FilesAreFoundWithoutRegardToCase) {
  OpenBoth();
  AddSig("a", "/p/", "S");
  sigs_.Close();
  matches_.Close();
  fs::rename(folder_ + "Sigs.DAT", folder_ + "sigs.dat");
  fs::rename(folder_ + "Sigs.IDX", folder_ + "SIGS.idx");
  OpenBoth();
  EXPECT_EQ(sigs_.RecordCount(), 1);
  EXPECT_FALSE(fs::exists(folder_ + "Sigs.DAT"));
}

}  // namespace
}  // namespace velquin

namespace velquin {
namespace {

struct CreateCase {
  const char* Label;
  std::vector<TFieldDef> Fields;
  std::vector<TIndexDef> Indexes;
  int Code;
};

TEST_F(TableTest, CreateEnforcesDefinitionLimits) {
  std::vector<TFieldDef> many(1025, {"F", TFieldType::ftInteger, 0, false});
  for (std::size_t i = 0; i < many.size(); ++i) many[i].Name = "F" + std::to_string(i);
  std::vector<TIndexDef> secondaries{{"", "A", ixPrimary}};
  for (int i = 0; i < 31; ++i) secondaries.push_back({"I" + std::to_string(i), "A", 0});
  const CreateCase cases[] = {
      {"too many fields", many, {{"", "F0", ixPrimary}}, 9492},
      {"blank field name", {{"  ", TFieldType::ftInteger, 0, false}}, {{"", "A", ixPrimary}}, 10038},
      {"field name of 31",
       {{std::string(31, 'N'), TFieldType::ftInteger, 0, false}},
       {{"", "A", ixPrimary}},
       10038},
      {"duplicate field name",
       {{"A", TFieldType::ftInteger, 0, false}, {"a", TFieldType::ftInteger, 0, false}},
       {{"", "A", ixPrimary}},
       10038},
      {"text of 4097", {{"A", TFieldType::ftString, 4097, false}}, {{"", "A", ixPrimary}}, 10000},
      {"31 secondary indexes", {{"A", TFieldType::ftInteger, 0, false}}, secondaries, 9487},
  };
  for (const CreateCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TTable table("T");
    table.DatabaseName = folder_;
    table.TableName = "Limits.Dat";
    table.FieldDefs = c.Fields;
    table.IndexDefs = c.Indexes;
    try {
      table.CreateTable();
      FAIL() << "created";
    } catch (const EStoreError& error) {
      EXPECT_EQ(error.Code, c.Code) << error.what();
    }
    EXPECT_FALSE(table.Exists());
  }
  OpenBoth();
  sigs_.Close();
  try {
    sigs_.CreateTable();
    FAIL();
  } catch (const EStoreError& error) {
    EXPECT_EQ(error.Code, 13060);
  }
  TTable elsewhere("T");
  elsewhere.DatabaseName = folder_ + "missing/";
  elsewhere.TableName = "Sigs.Dat";
  SetSigsSchema(elsewhere);
  try {
    elsewhere.CreateTable();
    FAIL();
  } catch (const EStoreError& error) {
    EXPECT_STREQ(error.what(), "Tabrix Engine Error # 11010 Table 'Sigs' does not exist");
  }
}

TEST_F(TableTest, EmptyTableOpenOrClosedAndRecordIdsKeepRising) {
  OpenBoth();
  AddSig("a", "/p/", "S");
  AddSig("b", "/p/", "S");
  int heard = 0;
  TDataSource source;
  source.OnDataChange = [&](std::string_view) { ++heard; };
  source.SetDataSet(&sigs_);
  sigs_.EmptyTable();
  EXPECT_EQ(heard, 1);
  EXPECT_TRUE(sigs_.Bof() && sigs_.Eof());
  EXPECT_EQ(sigs_.RecordCount(), 0);
  // Record ids rise past the emptied rows: equal signatures still keep insertion order.
  AddSig("z", "/p/", "S");
  AddSig("y", "/p/", "S");
  sigs_.SetIndexName("BySignature");
  EXPECT_EQ(Walk(sigs_, "FileName"), (std::vector<std::string>{"z", "y"}));
  sigs_.Close();
  sigs_.EmptyTable();
  sigs_.Open();
  EXPECT_EQ(sigs_.RecordCount(), 0);
}

// Key order: nulls first, integers and date-times by value (negatives too), texts by bytes; a
// descending index runs the other way with nulls still first; a case-insensitive one ignores the
// case of ASCII letters.
TEST_F(TableTest, KeyOrderFollowsTypesAndOptions) {
  TTable table("KeysTable");
  table.DatabaseName = folder_;
  table.TableName = "Keys.Dat";
  table.FieldDefs = {{"Id", TFieldType::ftInteger, 0, false},
                     {"Name", TFieldType::ftString, 10, false},
                     {"When", TFieldType::ftDateTime, 0, false}};
  table.IndexDefs = {{"", "Id", ixPrimary},
                     {"ByName", "Name", ixCaseInsensitive},
                     {"ByNameDown", "Name", ixDescending},
                     {"ByWhen", "When", 0}};
  table.CreateTable();
  table.Open();
  struct Row {
    std::int32_t Id;
    TFieldValue Name;
    TFieldValue When;
  } rows[] = {
      {5, std::string("b"), -2.5},
      {-7, std::string("B"), 1.0},
      {2147483647, std::monostate{}, 0.0},
      {-2147483647 - 1, std::string("ab"), -0.25},
      {0, std::string("a"), std::monostate{}},
  };
  for (const Row& row : rows) {
    table.Append();
    table.SetFieldValue("Id", row.Id);
    table.SetFieldValue("Name", row.Name);
    table.SetFieldValue("When", row.When);
    table.Post();
  }
  auto ids = [&](const std::string& index) {
    table.SetIndexName(index);
    std::vector<std::int32_t> seen;
    for (table.First(); !table.Eof(); table.Next()) seen.push_back(table.FieldAsInteger("Id"));
    return seen;
  };
  EXPECT_EQ(ids(""), (std::vector<std::int32_t>{-2147483647 - 1, -7, 0, 5, 2147483647}));
  // "a" < "ab" < "b" == "B" (equal keys in insertion order).
  EXPECT_EQ(ids("ByName"), (std::vector<std::int32_t>{2147483647, 0, -2147483647 - 1, 5, -7}));
  EXPECT_EQ(ids("ByNameDown"), (std::vector<std::int32_t>{2147483647, 5, -2147483647 - 1, 0, -7}));
  EXPECT_EQ(ids("ByWhen"), (std::vector<std::int32_t>{0, 5, -2147483647 - 1, 2147483647, -7}));
  table.SetIndexName("ByName");
  table.SetKey();
  table.SetFieldValue("Name", std::string("B"));
  ASSERT_TRUE(table.GotoKey());
  EXPECT_EQ(table.FieldAsInteger("Id"), 5);  // the first of the keys equal without regard to case
}

TEST_F(TableTest, ReadOnlyTableRefusesChanges) {
  OpenBoth();
  AddSig("a", "/p/", "S");
  sigs_.Close();
  sigs_.ReadOnly = true;
  sigs_.Open();
  EXPECT_TRUE(sigs_.OpenedReadOnly());
  EXPECT_EQ(sigs_.FieldAsString("FileName"), "a");
  for (auto change : {&TTable::Edit, &TTable::Append, &TTable::Delete, &TTable::EmptyTable}) {
    try {
      (sigs_.*change)();
      FAIL();
    } catch (const EStoreError& error) {
      EXPECT_STREQ(error.what(), "Tabrix Engine Error # 11013 Access denied to table 'Sigs'");
    }
  }
  EXPECT_EQ(sigs_.RecordCount(), 1);
}

}  // namespace
}  // namespace velquin
