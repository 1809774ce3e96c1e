// The command line of velquin-cli's subcommands: options, folders, usage errors.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "usage/program_usage.h"

namespace velquin {

class TForm1;

// Options of scan, match and auto; the defaults are the window's first-run defaults.
struct TCliOptions {
  std::string Margin = "10";
  bool Force = true;
  bool Normalize = true;
  bool IncrMatch = true;
  bool Colors = true;
  bool Subfolders = false;
  bool Turned = false;
  bool Gray = false;
  bool AllFormats = false;
  bool Verbose = false;
  bool Json = false;
  bool Apply = false;             // keep-best
  std::vector<std::string> Keep;  // keep-best: the chosen keepers, as given
  // --threads N for scan and auto; 0 for one per core.
  unsigned Threads = 0;
  std::vector<std::string> Folders;
};

// The N of --threads N: a whole number from 1 to kMaxThreads. Throws EUsageError otherwise.
inline constexpr unsigned kMaxThreads = 256;
unsigned ParseThreads(std::string_view value);

// Reads args (after the subcommand's name), admitting the options that CliUsage lists for `command`.
// Throws EUsageError for any other option, a missing value or a Margin that is not an integer.
TCliOptions ParseCliOptions(std::string_view command, const std::vector<std::string>& args);

// Puts the options on the form's controls.
void ApplyCliOptions(const TCliOptions& options, TForm1& form);

// The folder made absolute and normal, ending in '/'.
std::string AbsoluteFolder(const std::string& folder);
// The file made absolute and normal.
std::string AbsoluteFile(const std::string& file);

// Runs a subcommand's body: a usage error gives "velquin-cli <name>: <problem>" and the subcommand's
// usage text on err and status 2, a missing folder "velquin-cli: <folder>: no such folder" and status
// 1, any other failure its text on err and status 1.
int RunCliCommand(const char* name, std::ostream& err, const std::function<int()>& body);

// Throws ENoSuchFolder for the first FOLDER named that is not an existing folder, as it was given.
void RequireFolders(const TCliOptions& options);

// The single FOLDER of a subcommand, made absolute. Throws EUsageError unless there is exactly one,
// ENoSuchFolder unless it is an existing folder.
std::string SingleFolder(const TCliOptions& options);

}  // namespace velquin
