// velquin-usage-files FOLDER: writes velquin.1, velquin-cli.1 and the bash completion velquin-cli into
// FOLDER, from the same tables the programs' --help is written from. Run by the build.
#include <fstream>
#include <iostream>
#include <string>

#include "usage/bash_completion.h"
#include "usage/man_page.h"
#include "usage/program_usage.h"

namespace {

template <typename TWrite>
bool WriteFile(const std::string& path, TWrite write) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  write(file);
  file.close();
  if (!file) std::cerr << "velquin-usage-files: cannot write " << path << '\n';
  return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: velquin-usage-files FOLDER\n";
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  using velquin::CliUsage;
  using velquin::WindowUsage;
  const bool written =
      WriteFile(folder + "velquin.1", [](std::ostream& s) { velquin::WriteManPage(s, WindowUsage()); }) &&
      WriteFile(folder + "velquin-cli.1", [](std::ostream& s) { velquin::WriteManPage(s, CliUsage()); }) &&
      WriteFile(folder + "velquin-cli", [](std::ostream& s) { velquin::WriteBashCompletion(s, CliUsage()); });
  return written ? 0 : 1;
}
