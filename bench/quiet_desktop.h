// A desktop for benchmarks: no messages to run, no boxes to show, nothing recycled or opened.
#pragma once

#include <string>

#include "platform/desktop.h"

namespace velquin {

class TQuietDesktop : public TDesktop {
 public:
  void ProcessMessages() override {}
  TCursor Cursor() const override { return cursor_; }
  void SetCursor(TCursor cursor) override { cursor_ = cursor; }
  void ShowMessage(const std::string& text) override { LastMessage = text; }
  void ShowError(const std::string& text) override { LastError = text; }
  TTrashedFile RecycleFile(const std::string& path) override { return {path, "", ""}; }
  void RestoreFile(const TTrashedFile&) override {}
  void ShellOpen(const std::string&) override {}

  std::string LastMessage;
  std::string LastError;

 private:
  TCursor cursor_ = TCursor::crDefault;
};

}  // namespace velquin
