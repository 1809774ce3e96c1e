// TIndexScope: a change of a table's active index for the length of a scope. The index that was
// active, and when asked the row that was current, come back on every way out.
#pragma once

#include <string>

#include "platform/scope_guard.h"
#include "tablestore/table.h"

namespace velquin {

class TIndexScope {
 public:
  // kIndexAndRow: come back to the current row too (a bookmark of it is held until then).
  enum TWhat { kIndex, kIndexAndRow };
  explicit TIndexScope(TTable& table, TWhat what = kIndex)
      : table_(table), name_(table.IndexName()), keepRow_(what == kIndexAndRow) {
    if (keepRow_) bookmark_ = table.GetBookmark();
  }
  ~TIndexScope() {
    Quietly([this] {
      if (table_.IndexName() != name_) table_.SetIndexName(name_);
      if (keepRow_) table_.GotoBookmark(bookmark_);
    });
    if (keepRow_) table_.FreeBookmark(bookmark_);
  }
  TIndexScope(const TIndexScope&) = delete;
  TIndexScope& operator=(const TIndexScope&) = delete;

  // The normal way out: sets the index that was active again now; a failure passes on.
  void Restore() { table_.SetIndexName(name_); }

 private:
  TTable& table_;
  const std::string name_;
  const bool keepRow_;
  TBookmark bookmark_;
};

}  // namespace velquin
