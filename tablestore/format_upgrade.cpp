#include "tablestore/format_upgrade.h"

#include "tablestore/data_table.h"

namespace velquin::store {
namespace {

// The index definitions in the form a table is created from.
std::vector<TIndexDef> IndexDefsOf(const TDataFile& data) {
  std::vector<TIndexDef> defs;
  for (const auto& info : data.IndexCopies()) {
    TIndexDef def{info.Name, "", info.Options};
    for (std::uint16_t field : info.Fields) {
      def.Fields += (def.Fields.empty() ? "" : ";") + data.Fields()[field].Name;
    }
    defs.push_back(std::move(def));
  }
  return defs;
}

}  // namespace

void UpgradeTable(const TDataDirectory& directory, const std::string& base, TDataFile& old,
                  const std::vector<TFieldDef>& fields) {
  old.Scan(false);
  TDataTable::CreateStaged(directory, base, fields, IndexDefsOf(old));
  {
    TDataTable table(directory, TDataTable::StagedName(base), false);
    old.ForEach([&](const TRow& row) {
      TRow copy = row;
      // Fields added after the old ones start null.
      copy.Values.resize(fields.size());
      table.Insert(copy);
    });
    table.Close();
  }
  TDataTable::PublishStaged(directory, base);
}

}  // namespace velquin::store
