// TNotificationHold: one suspension of a table's change notifications, so that a run of changes
// reaches the attached views as one change at its end, and so that the suspension ends on every
// way out.
#pragma once

#include "platform/scope_guard.h"
#include "tablestore/table.h"

namespace velquin {

class TNotificationHold {
 public:
  explicit TNotificationHold(TTable& table) : table_(table) { table_.SuspendNotifications(); }
  // Resuming raises a data-change notification; its failure must not mask the one that is ending
  // the scope.
  ~TNotificationHold() {
    if (held_) Quietly([this] { table_.ResumeNotifications(); });
  }
  TNotificationHold(const TNotificationHold&) = delete;
  TNotificationHold& operator=(const TNotificationHold&) = delete;

  // The normal way out: a failure of the notification it raises passes on.
  void Resume() {
    held_ = false;
    table_.ResumeNotifications();
  }

 private:
  TTable& table_;
  bool held_ = true;
};

}  // namespace velquin
