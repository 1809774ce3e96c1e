#include "tablestore/table_files.h"

#include <unistd.h>

#include <cerrno>

#include "tablestore/data_directory.h"
#include "tablestore/data_session.h"
#include "tablestore/format_upgrade.h"
#include "tablestore/store_error_codes.h"

namespace velquin {

using store::TDataDirectory;

void ReplaceTable(const std::string& folder, const std::string& fromTable, const std::string& table) {
  const TDataDirectory& directory = store::TDataSession::Default().Directory(folder);
  store::InstallTable(directory, TDataDirectory::BaseName(fromTable), TDataDirectory::BaseName(table));
}

void DropTable(const std::string& folder, const std::string& table) {
  const TDataDirectory& directory = store::TDataSession::Default().Directory(folder);
  const std::string base = TDataDirectory::BaseName(table);
  for (const char* extension : {".IDX", ".DAT"}) {
    const std::string path = directory.FilePath(base, extension);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
      throw store::OsError(errno, base, store::TFileOp::kDeleting, path);
    }
  }
}

}  // namespace velquin
