#include "cli/command_line.h"

#include <string_view>

namespace velquin {
namespace {

struct TCommand {
  std::string_view name;
  TCommandHandler handler;
  std::string_view synopsis;
};

constexpr TCommand kCommands[] = {
    {"signature", SignatureCommand,
     "signature [--normalize] FILE...   print each FILE's signature text (after brightness equalisation)"},
    {"scan", ScanCommand,
     "scan [OPTIONS] FOLDER             compute the folder's signatures (Signatures command)"},
    {"match", MatchCommand, "match [OPTIONS] FOLDER            rebuild the folder's pairs (Matches command)"},
    {"auto", AutoCommand,
     "auto [OPTIONS] [FOLDER...]        scan and match every folder of DirList.Txt, or those named"},
    {"pairs", PairsCommand, "pairs [--json] FOLDER             list the pairs: MaxDiff, File1, File2"},
    {"sigs", SigsCommand,
     "sigs FOLDER                       list the signatures: FileName, FilePath, FileDate, Signature"},
    {"clear", ClearCommand,
     "clear FOLDER                      delete the folder's tables (ClearDBs command)"},
};

}  // namespace

void WriteUsage(std::ostream& stream) {
  stream << "usage: velquin-cli COMMAND [ARGUMENTS...]\ncommands:\n";
  for (const TCommand& command : kCommands) stream << "  " << command.synopsis << '\n';
  stream << "In the lines of pairs and sigs a name's backslash, TAB, CR and LF are written \\\\, \\t, \\r, "
            "\\n.\n"
            "pairs --json writes a name that is not valid UTF-8 with U+FFFD for each invalid byte and adds\n"
            "  its bytes in base64 as \"File1_base64\" or \"File2_base64\".\n";
  WriteFormOptions(stream);
}

int RunCommandLine(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    WriteUsage(out);
    return kExitOk;
  }
  if (!args.empty())
    for (const TCommand& command : kCommands)
      if (args[0] == command.name)
        return command.handler(TCommandArgs(args.begin() + 1, args.end()), out, err);
  if (!args.empty()) err << "velquin-cli: unknown command \"" << args[0] << "\"\n";
  WriteUsage(err);
  return kExitUsage;
}

void WriteFormOptions(std::ostream& stream) {
  stream << "OPTIONS of scan, match, auto: --margin N (default 10), --force/--no-force,\n"
            "  --normalize/--no-normalize, --incremental/--no-incremental, --colors/--cell-sum\n"
            "  (defaults: all ticked, --colors); --verbose copies the log lines to stderr\n";
}

}  // namespace velquin
