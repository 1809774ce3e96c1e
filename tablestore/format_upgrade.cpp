#include "tablestore/format_upgrade.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "tablestore/data_table.h"
#include "tablestore/store_error_codes.h"

namespace velquin::store {
namespace {

constexpr char kDataExtension[] = ".DAT";
constexpr char kIndexExtension[] = ".IDX";

void Sync(const std::string& path, const std::string& table) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw OsError(errno, table);
  int result = ::fsync(fd);
  int error = errno;
  ::close(fd);
  if (result != 0) throw OsError(error, table);
}

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
  const std::string newBase = base + "-new";
  const std::string newData = directory.FilePath(newBase, kDataExtension);
  const std::string newIndex = directory.FilePath(newBase, kIndexExtension);
  // Left behind by a conversion that a crash cut short.
  ::unlink(newData.c_str());
  ::unlink(newIndex.c_str());
  old.Scan(false);
  TDataTable::Create(directory, newBase, fields, IndexDefsOf(old));
  {
    TDataTable table(directory, newBase, false);
    old.ForEach([&](const TRow& row) {
      TRow copy = row;
      // Fields added after the old ones start null.
      copy.Values.resize(fields.size());
      table.Insert(copy);
    });
    table.Close();
  }
  Sync(newIndex, base);
  Sync(newData, base);
  if (::rename(newIndex.c_str(), directory.FilePath(base, kIndexExtension).c_str()) != 0 ||
      ::rename(newData.c_str(), directory.FilePath(base, kDataExtension).c_str()) != 0) {
    throw OsError(errno, base);
  }
  Sync(directory.Folder().empty() ? "." : directory.Folder(), base);
}

}  // namespace velquin::store
