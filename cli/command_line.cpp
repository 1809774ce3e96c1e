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
};

}  // namespace

void WriteUsage(std::ostream& stream) {
  stream << "usage: velquin-cli COMMAND [ARGUMENTS...]\ncommands:\n";
  for (const TCommand& command : kCommands) stream << "  " << command.synopsis << '\n';
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

}  // namespace velquin
