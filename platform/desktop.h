// TDesktop: what the program's logic needs from the desktop it runs on. The Qt window, velquin-cli
// and the tests each provide one; nothing below app/ talks to a window system directly.
#pragma once

#include <string>

#include "platform/trash.h"

namespace velquin {

enum class TCursor { crDefault, crHourGlass };

class TDesktop {
 public:
  virtual ~TDesktop() = default;

  // Lets pending window messages run (repaints, clicks); may run any handler of the form.
  virtual void ProcessMessages() = 0;
  // The screen cursor: the hourglass while a long command works.
  virtual TCursor Cursor() const = 0;
  virtual void SetCursor(TCursor cursor) = 0;
  // A plain information box with an OK button; returns when it is closed.
  virtual void ShowMessage(const std::string& text) = 0;
  // The application's default error report for a failure that reached a handler.
  virtual void ShowError(const std::string& text) = 0;
  // Moves the file to the trash without asking and says where it went. Throws ERecycleError
  // (platform/errors.h) when it cannot; the file then stays where it is.
  virtual TTrashedFile RecycleFile(const std::string& path) = 0;
  // Puts a file this desktop trashed back (RestoreTrashedFile, platform/trash.h). Throws ERestoreError.
  virtual void RestoreFile(const TTrashedFile& entry) = 0;
  // Opens the file with its associated program and does not wait for it.
  virtual void ShellOpen(const std::string& path) = 0;
};

// The hourglass for one stretch of work; the cursor shown before it comes back on every way out.
class TBusyCursor {
 public:
  explicit TBusyCursor(TDesktop& desktop) : desktop_(desktop), saved_(desktop.Cursor()) {
    desktop_.SetCursor(TCursor::crHourGlass);
  }
  ~TBusyCursor() { desktop_.SetCursor(saved_); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;

 private:
  TDesktop& desktop_;
  TCursor saved_;
};

}  // namespace velquin
