#include "tablestore/format_upgrade.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "tablestore/data_table.h"
#include "tablestore/store_error_codes.h"

namespace velquin::store {
namespace {

constexpr char kDataExtension[] = ".DAT";
constexpr char kIndexExtension[] = ".IDX";

void Sync(const std::string& path, const std::string& table) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw OsError(errno, table, TFileOp::kSyncing, path);
  int result = ::fsync(fd);
  int error = errno;
  ::close(fd);
  if (result != 0) throw OsError(error, table, TFileOp::kSyncing, path);
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
      table.Insert(copy);
    });
    table.Close();
  }
  InstallTable(directory, newBase, base);
}

void InstallTable(const TDataDirectory& directory, const std::string& fromBase, const std::string& base) {
  const std::string fromData = directory.FilePath(fromBase, kDataExtension);
  const std::string fromIndex = directory.FilePath(fromBase, kIndexExtension);
  Sync(fromIndex, base);
  Sync(fromData, base);
  for (const auto& [from, extension] :
       {std::pair{fromIndex, kIndexExtension}, std::pair{fromData, kDataExtension}}) {
    const std::string to = directory.FilePath(base, extension);
    if (::rename(from.c_str(), to.c_str()) != 0) throw OsError(errno, base, TFileOp::kRenaming, from);
  }
  Sync(directory.Folder().empty() ? "." : directory.Folder(), base);
}

}  // namespace velquin::store
