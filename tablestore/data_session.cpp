#include "tablestore/data_session.h"

namespace velquin::store {

TDataSession& TDataSession::Default() {
  static TDataSession session;
  return session;
}

TDataDirectory& TDataSession::Directory(const std::string& folder) {
  auto& slot = directories_[folder];
  if (!slot) slot = std::make_unique<TDataDirectory>(folder);
  return *slot;
}

}  // namespace velquin::store
