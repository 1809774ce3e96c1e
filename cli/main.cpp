// velquin-cli: the program's commands from a terminal. Each subcommand lives in its own file.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/subcommands.h"

namespace {

struct TSubcommandEntry {
  const char* Name;
  int (*Run)(const std::vector<std::string>& args);
  const char* Usage;
};

constexpr const char* kFormOptions =
    "  OPTIONS: --margin N (default 10), --force/--no-force, --normalize/--no-normalize,\n"
    "           --incremental/--no-incremental, --colors/--cell-sum (defaults: all ticked, --colors),\n"
    "           --verbose (the log pane's lines on stderr)\n";

const TSubcommandEntry kSubcommands[] = {
    {"scan", velquin::ScanCommand, "velquin-cli scan [OPTIONS] FOLDER      compute the folder's signatures"},
    {"match", velquin::MatchCommand, "velquin-cli match [OPTIONS] FOLDER     rebuild the folder's pairs"},
    {"auto", velquin::AutoCommand, "velquin-cli auto [OPTIONS] [FOLDER...]  scan and match every folder of the list"},
    {"pairs", velquin::PairsCommand, "velquin-cli pairs [--json] FOLDER       list the recorded pairs"},
    {"sigs", velquin::SigsCommand, "velquin-cli sigs FOLDER                 list the stored signatures"},
    {"clear", velquin::ClearCommand, "velquin-cli clear FOLDER                delete the folder's tables"},
};

void PrintUsage(std::ostream& out) {
  out << "Usage:\n";
  for (const TSubcommandEntry& entry : kSubcommands) out << "  " << entry.Usage << '\n';
  out << kFormOptions;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    PrintUsage(std::cout);
    return 0;
  }
  if (argc < 2) {
    PrintUsage(std::cerr);
    return 2;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const TSubcommandEntry& entry : kSubcommands) {
    if (entry.Name != std::string(argv[1])) continue;
    try {
      return entry.Run(args);
    } catch (const velquin::EUsageError& e) {
      std::cerr << "velquin-cli " << entry.Name << ": " << e.what() << '\n';
      PrintUsage(std::cerr);
      return 2;
    } catch (const std::exception& e) {
      std::cerr << e.what() << '\n';
      return 1;
    }
  }
  std::cerr << "velquin-cli: unknown subcommand " << argv[1] << '\n';
  PrintUsage(std::cerr);
  return 2;
}
