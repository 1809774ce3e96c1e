#include "gui/qt_desktop.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/file_utils.h"
#include "platform/scope_guard.h"

namespace velquin {
namespace {

const QString kTitle = QStringLiteral("Velquin");

// A message box shows the arrow even while a command holds the hourglass.
auto ArrowOverBox(TCursor cursor) {
  const bool active = cursor == TCursor::crHourGlass;
  if (active) QApplication::setOverrideCursor(Qt::ArrowCursor);
  return TScopeGuard([active] {
    if (active) QApplication::restoreOverrideCursor();
  });
}

}  // namespace

TQtDesktop::~TQtDesktop() { SetCursor(TCursor::crDefault); }

void TQtDesktop::ProcessMessages() {
  // Commands ask many times per picture; answering input and repainting once a frame is plenty, and
  // repainting more often only slows the command down.
  if (pumped_.isValid() && pumped_.elapsed() < kPumpIntervalMs) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  pumped_.start();
}

void TQtDesktop::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  // One override cursor at most is ours on the stack, so restoring never removes another's.
  if (cursor == TCursor::crHourGlass)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
  cursor_ = cursor;
}

void TQtDesktop::ShowMessage(const std::string& text) {
  const auto arrow = ArrowOverBox(cursor_);
  QMessageBox::information(window_, kTitle, QString::fromStdString(text));
}

void TQtDesktop::ShowError(const std::string& text) {
  const auto arrow = ArrowOverBox(cursor_);
  QMessageBox::critical(window_, kTitle, QString::fromStdString(text));
}

TTrashedFile TQtDesktop::RecycleFile(const std::string& path) { return velquin::RecycleFile(path); }

void TQtDesktop::RestoreFile(const TTrashedFile& entry) { RestoreTrashedFile(entry); }

void TQtDesktop::ShellOpen(const std::string& path) { velquin::ShellOpen(path); }

}  // namespace velquin
