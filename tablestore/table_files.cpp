#include "tablestore/table_files.h"

#include <cerrno>
#include <stdexcept>

#include "tablestore/data_directory.h"
#include "tablestore/data_session.h"
#include "tablestore/data_table.h"
#include "tablestore/file_system.h"
#include "tablestore/store_error_codes.h"

namespace velquin {

using store::TDataDirectory;

void ReplaceTable(const std::string& folder, const std::string& fromTable, const std::string& table) {
  const TDataDirectory& directory = store::TDataSession::Default().Directory(folder);
  const std::string base = TDataDirectory::BaseName(table);
  // The staged name is the one a crash leaves for clear and the next open to find.
  if (TDataDirectory::BaseName(fromTable) != store::TDataTable::StagedName(base))
    throw std::logic_error("ReplaceTable: " + fromTable + " is not the staged table of " + table);
  store::TDataTable::PublishStaged(directory, base);
}

void DropTable(const std::string& folder, const std::string& table) {
  const TDataDirectory& directory = store::TDataSession::Default().Directory(folder);
  const std::string base = TDataDirectory::BaseName(table);
  for (const char* extension : {".IDX", ".DAT"}) {
    const std::string path = directory.FilePath(base, extension);
    if (store::TFileSystem::Current().Unlink(path) != 0 && errno != ENOENT) {
      throw store::OsError(errno, base, store::TFileOp::kDeleting, path);
    }
  }
}

}  // namespace velquin
