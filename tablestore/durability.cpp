#include "tablestore/durability.h"

#include <cerrno>

#include "tablestore/file_system.h"
#include "tablestore/store_error_codes.h"

namespace velquin::store {

TSyncPolicy& SyncPolicy() {
  static TSyncPolicy policy;
  return policy;
}

void SyncFolder(const std::string& folder, const std::string& table) {
  if (!SyncPolicy().Enabled) return;
  const std::string path = folder.empty() ? "." : folder;
  if (TFileSystem::Current().SyncFolder(path) != 0) throw OsError(errno, table, TFileOp::kSyncing, path);
}

}  // namespace velquin::store
