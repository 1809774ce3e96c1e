#include "cli/command_line.h"

#include <stdexcept>
#include <string>

#include "usage/program_usage.h"

namespace velquin {
namespace {

struct TCommand {
  std::string_view name;
  TCommandHandler handler;
};

constexpr TCommand kCommands[] = {
    {"signature", SignatureCommand}, {"scan", ScanCommand},     {"match", MatchCommand},
    {"auto", AutoCommand},           {"pairs", PairsCommand},   {"sigs", SigsCommand},
    {"clear", ClearCommand},         {"groups", GroupsCommand}, {"keep-best", KeepBestCommand},
    {"restore", RestoreCommand},
};

TCommandHandler HandlerOf(std::string_view name) {
  for (const TCommand& command : kCommands)
    if (command.name == name) return command.handler;
  throw std::logic_error("velquin-cli: no handler for command " + std::string(name));
}

}  // namespace

void WriteUsage(std::ostream& stream) { WriteHelp(stream, CliUsage()); }

void WriteCommandUsage(std::ostream& stream, std::string_view name) {
  const TCommandUsage* command = FindCommand(CliUsage(), name);
  if (command == nullptr) throw std::logic_error("velquin-cli: no usage for command " + std::string(name));
  WriteCommandHelp(stream, CliUsage(), *command);
}

int RunCommandLine(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    WriteUsage(err);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    WriteUsage(out);
    return kExitOk;
  }
  if (args[0] == "--version") {
    WriteVersion(out, CliUsage());
    return kExitOk;
  }
  const TCommandUsage* command = FindCommand(CliUsage(), args[0]);
  if (command == nullptr) {
    err << "velquin-cli: unknown command \"" << args[0] << "\"\n";
    WriteUsage(err);
    return kExitUsage;
  }
  const TCommandArgs rest(args.begin() + 1, args.end());
  if (FindInfoRequest(rest) == TInfoRequest::Help) {
    WriteCommandHelp(out, CliUsage(), *command);
    return kExitOk;
  }
  return HandlerOf(command->Name)(rest, out, err);
}

}  // namespace velquin
