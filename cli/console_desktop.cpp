#include "cli/console_desktop.h"

#include <iostream>

#include "platform/file_utils.h"

namespace velquin {

void TConsoleDesktop::ShowMessage(const std::string& text) { std::cout << text << '\n' << std::flush; }

void TConsoleDesktop::ShowError(const std::string& text) {
  errorShown_ = true;
  std::cerr << text << '\n' << std::flush;
}

void TConsoleDesktop::RecycleFile(const std::string& path) { velquin::RecycleFile(path); }

void TConsoleDesktop::ShellOpen(const std::string& path) { velquin::ShellOpen(path); }

}  // namespace velquin
