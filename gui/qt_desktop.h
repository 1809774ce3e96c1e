// TQtDesktop: the desktop services of the form, given by Qt: the event loop run from inside a
// command, the busy cursor, message boxes over the main window, and the trash and opener of the
// platform layer.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include "platform/desktop.h"

namespace velquin {

class TQtDesktop : public TDesktop {
 public:
  TQtDesktop() = default;
  ~TQtDesktop() override;

  // The window message boxes are centred on; none (the default) centres them on the screen.
  void SetMainWindow(QWidget* window) { window_ = window; }

  void ProcessMessages() override;
  TCursor Cursor() const override { return cursor_; }
  void SetCursor(TCursor cursor) override;
  void ShowMessage(const std::string& text) override;
  void ShowError(const std::string& text) override;
  TTrashedFile RecycleFile(const std::string& path) override;
  void RestoreFile(const TTrashedFile& entry) override;
  void ShellOpen(const std::string& path) override;

 private:
  static constexpr qint64 kPumpIntervalMs = 15;

  QPointer<QWidget> window_;
  // Since the last run of the event loop; invalid before the first.
  QElapsedTimer pumped_;
  TCursor cursor_ = TCursor::crDefault;
};

}  // namespace velquin
