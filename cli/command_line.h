// velquin-cli: one program, a subcommand per task. Each subcommand is documented in CliUsage's table
// (usage/) and has a handler in the table of command_line.cpp; a handler gets the arguments after its name
// and the two output streams, and returns the exit status (0 done, 1 some item failed, 2 usage error).
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace velquin {

using TCommandArgs = std::vector<std::string>;
using TCommandHandler = int (*)(const TCommandArgs& args, std::ostream& out, std::ostream& err);

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Subcommand handlers, one source file each.
int SignatureCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err);
// The form's commands (scan, match, auto, clear) and the table listings (pairs, sigs): 0 done, 1 the
// command ended by an error (its text on err), 2 usage error.
int ScanCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err);
int MatchCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err);
int AutoCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err);
int PairsCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err);
int SigsCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err);
int ClearCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err);
// The groups of copies: groups lists them, keep-best trashes the rest of each, restore brings files back.
int GroupsCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err);
int KeepBestCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err);
int RestoreCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err);

// Runs the subcommand named by args[0] with the rest of args. "--help" or "-h" prints the usage
// text to out, "--version" the version (kExitOk); a missing or unknown subcommand prints the usage
// text to err (kExitUsage). "--help" or "-h" among a subcommand's arguments (before "--") prints
// that subcommand's usage text to out (kExitOk).
int RunCommandLine(const TCommandArgs& args, std::ostream& out, std::ostream& err);

// Writes "usage: velquin-cli COMMAND ..." with every subcommand's synopsis.
void WriteUsage(std::ostream& stream);
// Writes "usage: velquin-cli NAME ..." with the subcommand's options.
void WriteCommandUsage(std::ostream& stream, std::string_view name);

}  // namespace velquin
