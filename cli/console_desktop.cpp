#include "cli/console_desktop.h"

#include "platform/file_utils.h"

namespace velquin {

void TConsoleDesktop::ShowMessage(const std::string& text) { out_ << text << '\n' << std::flush; }

void TConsoleDesktop::ShowError(const std::string& text) {
  errorShown_ = true;
  err_ << text << '\n' << std::flush;
}

TTrashedFile TConsoleDesktop::RecycleFile(const std::string& path) { return velquin::RecycleFile(path); }

void TConsoleDesktop::RestoreFile(const TTrashedFile& entry) { RestoreTrashedFile(entry); }

void TConsoleDesktop::ShellOpen(const std::string& path) { velquin::ShellOpen(path); }

}  // namespace velquin
