#include "app/program_tables.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <initializer_list>
#include <system_error>
#include <vector>

#include "platform/file_utils.h"
#include "platform/scope_guard.h"
#include "platform/text_utils.h"
#include "tablestore/durability.h"
#include "tablestore/file_system.h"
#include "tablestore/store_error_codes.h"
#include "tablestore/store_exceptions.h"

namespace velquin {
namespace {

// One table of OpenTables: close, bind to the folder, create when missing, check and repair, open.
void OpenOne(TTable& table, const std::string& folder, const char* tableName, void (*schema)(TTable&)) {
  table.Close();
  table.DatabaseName = folder;
  table.TableName = tableName;
  // The object may last have read another folder's tables.
  table.ReadOnly = false;
  schema(table);
  if (table.Exists()) {
    // Tables made before names could be this long, or before a field was added, are converted
    // once, keeping their rows.
    table.UpgradeFields();
  } else {
    table.CreateTable();
  }
  table.CheckAndRepair(false);
  table.Open();
}

[[noreturn]] void ThrowInUse(const EStoreError& locked) {
  throw EStoreError(locked.Code, locked.Text + " (another Velquin is using this folder)");
}

// The names of the data and index files of `tables` in `folder`, found without regard to case, in the
// order of `tables` (so the first table locked is reported first), data file before index file.
std::vector<std::string> TableFilesIn(const std::string& folder, std::initializer_list<const char*> tables) {
  std::vector<std::pair<std::size_t, std::string>> found;  // the file's place in tables x extensions
  ForEachFolderEntry(folder, [&](const std::string& name, bool isDirectory) {
    if (isDirectory) return;
    std::size_t place = 0;
    for (const char* table : tables) {
      for (const char* extension : {".DAT", ".IDX"}) {
        if (SameTextIgnoringCase(name, std::string(table) + extension)) found.emplace_back(place, name);
        ++place;
      }
    }
  });
  std::sort(found.begin(), found.end());
  std::vector<std::string> names;
  for (auto& [place, name] : found) names.push_back(std::move(name));
  return names;
}

// Whether a table file (as TableFilesIn names it) is an index file. Whenever a table's files are
// moved or deleted, the index file goes first: a data file alone opens (its index is made again from
// the rows), while an index file alone is taken for a leftover and deleted by the next creation.
bool IsIndexFile(const std::string& name) {
  return SameTextIgnoringCase(name.substr(name.size() - 4), ".IDX");
}

// Renames every file of `table` in `folder` to its name plus ".damaged", or ".damaged-2" and on where
// that is taken, so no damaged file is ever lost. Returns the new names, joined by " and ".
std::string MoveTableAside(const std::string& folder, const char* table) {
  std::vector<std::pair<std::string, std::string>> moves;  // as named, data file first
  std::string moved;
  for (const std::string& name : TableFilesIn(folder, {table})) {
    std::string aside = name + ".damaged";
    for (int n = 2; FileExists(folder + aside) || FolderExists(folder + aside); ++n) {
      aside = name + ".damaged-" + std::to_string(n);
    }
    moves.emplace_back(name, aside);
    moved += (moved.empty() ? "" : " and ") + aside;
  }
  for (const bool index : {true, false}) {
    for (const auto& [name, aside] : moves) {
      if (IsIndexFile(name) != index) continue;
      if (store::TFileSystem::Current().Rename(folder + name, folder + aside) != 0)
        throw store::OsError(errno, table, store::TFileOp::kRenaming, folder + name);
    }
  }
  // Durable before the report names the new places.
  store::SyncFolder(folder, table);
  return moved;
}

// errno's text as the system words it.
std::string SystemReason(int error) { return std::generic_category().message(error); }

}  // namespace

void SetSigsSchema(TTable& sigs) {
  sigs.Close();
  sigs.FieldDefs = {
      {"FileName", TFieldType::ftString, kMaxFileNameBytes, false},
      {"FilePath", TFieldType::ftString, kMaxPathBytes, false},
      {"FileDate", TFieldType::ftDateTime, 0, false},
      {"Signature", TFieldType::ftString, 250, false},
      {"Gray", TFieldType::ftString, 64, false},
  };
  sigs.IndexDefs = {
      {"", "FileName;FilePath", ixPrimary | ixUnique},
      {"BySignature", "Signature", 0},
  };
}

void SetMatchesSchema(TTable& matches) {
  matches.Close();
  matches.FieldDefs = {
      {"MaxDiff", TFieldType::ftInteger, 0, false},
      {"File1", TFieldType::ftString, kMaxPathBytes, false},
      {"File2", TFieldType::ftString, kMaxPathBytes, false},
  };
  matches.IndexDefs = {
      {"", "MaxDiff;File1;File2", ixPrimary | ixUnique},
  };
}

void OpenTables(TTable& sigs, TTable& matches, const std::string& folderText,
                const std::function<void(const std::string&)>& report) {
  std::string folder = folderText.substr(0, folderText.find_last_of('/') + 1);
  try {
    OpenOne(sigs, folder, "Sigs.Dat", SetSigsSchema);
    try {
      OpenOne(matches, folder, "Matches.Dat", SetMatchesSchema);
    } catch (const EStoreError& error) {
      if (error.Code != store::kErrDamaged) throw;
      const std::string moved = MoveTableAside(folder, "Matches");
      if (report) report(std::string(error.what()) + "; moved aside as " + moved + " and made anew");
      OpenOne(matches, folder, "Matches.Dat", SetMatchesSchema);
    }
  } catch (const ETableLocked& error) {
    ThrowInUse(error);
  }
}

void OpenTableToRead(TTable& table) {
  table.ReadOnly = true;
  try {
    table.Open();
  } catch (const ETableLocked& error) {
    ThrowInUse(error);
  }
}

void OpenTablesToRead(TTable& sigs, TTable& matches, const std::string& folderText) {
  const std::string folder = folderText.substr(0, folderText.find_last_of('/') + 1);
  for (auto [table, tableName] :
       {std::pair<TTable*, const char*>{&sigs, "Sigs.Dat"}, {&matches, "Matches.Dat"}}) {
    table->Close();
    table->DatabaseName = folder;
    table->TableName = tableName;
    if (table->Exists()) OpenTableToRead(*table);
  }
}

std::string TablesWriteProblem(const std::string& folder) {
  if (::access(folder.c_str(), W_OK) != 0) return SystemReason(errno);
  for (const std::string& name : TableFilesIn(folder, {"Sigs", "Matches"})) {
    if (::access((folder + name).c_str(), W_OK) != 0) return SystemReason(errno);
  }
  return "";
}

void DeleteTables(const std::string& folderText) {
  const std::string folder(FolderOfPath(folderText));
  if (folder.empty()) return;
  // With the files a conversion cut short left beside the tables.
  const std::vector<std::string> names = TableFilesIn(folder, {"Sigs", "Matches", "Sigs-new", "Matches-new"});
  std::vector<int> locks;
  const TScopeGuard unlock([&locks] {
    for (int fd : locks) ::close(fd);
  });
  for (const std::string& name : names) {
    const std::string table = name.substr(0, name.find('.'));
    // A file that cannot be opened cannot be in use by a Velquin of this user either.
    const int fd = ::open((folder + name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    locks.push_back(fd);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK) ThrowInUse(store::StoreError(store::kErrAccessDenied, {table}));
      throw store::OsError(errno, table);
    }
  }
  for (const bool index : {true, false}) {
    for (const std::string& name : names) {
      if (IsIndexFile(name) != index) continue;
      if (store::TFileSystem::Current().Unlink(folder + name) != 0 && errno != ENOENT)
        throw store::OsError(errno, name.substr(0, name.find('.')), store::TFileOp::kDeleting, folder + name);
    }
  }
  if (!names.empty()) store::SyncFolder(folder, "Sigs");
}

}  // namespace velquin
