// libFuzzer target over the files of one table. Input: the length of the data file (4 bytes,
// little-endian), the data file, then the index file. The table is checked and repaired, opened,
// walked along every index reading every field, searched, changed, closed and walked again.
// Store errors and row-set errors are the expected outcome of damaged files; anything else that
// escapes, and every crash, is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "tablestore/store_exceptions.h"
#include "tablestore/table.h"

namespace {

namespace fs = std::filesystem;

const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = (fs::temp_directory_path() / "tablestore-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern + "/";
  }();
  return folder;
}

void Write(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void WalkEveryIndex(velquin::TTable& table) {
  std::vector<velquin::TIndexDef> indexes = table.IndexDefs;
  for (const velquin::TIndexDef& index : indexes) {
    table.SetIndexName(index.Name);
    int rows = 0;
    for (table.First(); !table.Eof() && rows < 5000; table.Next(), ++rows) {
      for (const velquin::TFieldDef& field : table.FieldDefs) (void)table.FieldValue(field.Name);
      (void)table.RecNo();
    }
    for (table.Last(); !table.Bof() && rows > 0; table.Prior(), --rows) (void)table.GetBookmark();
  }
  table.SetIndexName("");
}

void Exercise(velquin::TTable& table) {
  table.CheckAndRepair(false);
  table.Open();
  WalkEveryIndex(table);
  std::int32_t count = table.RecordCount();
  if (count > 0) {
    table.MoveBy(count / 2);
    velquin::TBookmark mark = table.GetBookmark();
    std::vector<velquin::TFieldValue> key;
    for (const velquin::TFieldDef& field : table.FieldDefs) key.push_back(table.FieldValue(field.Name));
    table.SetKey();
    for (std::size_t i = 0; i < key.size(); ++i) {
      try {
        table.SetFieldValue(table.FieldDefs[i].Name, key[i]);
      } catch (const velquin::EDatabaseError&) {
        // Not a field of the active index.
      }
    }
    table.GotoKey();
    table.GotoBookmark(mark);
    (void)table.ValueAt(count, table.FieldDefs[0].Name);
    table.Delete();
  }
  table.Append();
  for (const velquin::TFieldDef& field : table.FieldDefs) {
    table.SetFieldValue(field.Name, field.DataType == velquin::TFieldType::ftString
                                        ? velquin::TFieldValue{"fuzz"}
                                        : velquin::TFieldValue{7});
  }
  try {
    table.Post();
  } catch (const velquin::EStoreError&) {
    table.Cancel();
  }
  table.Close();
  table.Open();
  WalkEveryIndex(table);
  table.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t dataLength;
  std::memcpy(&dataLength, data, 4);
  if (dataLength > size - 4) return 0;
  const std::string& folder = Folder();
  Write(folder + "T.DAT", data + 4, dataLength);
  Write(folder + "T.IDX", data + 4 + dataLength, size - 4 - dataLength);
  velquin::TTable table("FuzzTable");
  table.DatabaseName = folder;
  table.TableName = "T.Dat";
  try {
    Exercise(table);
  } catch (const velquin::EStoreError&) {
  } catch (const velquin::EDatabaseError&) {
  }
  return 0;
}
