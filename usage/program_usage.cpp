#include "usage/program_usage.h"

#include <algorithm>
#include <string>

namespace velquin {
namespace {

constexpr std::size_t kLineWidth = 80;

// Writes text from column `column` on, breaking it between words before kLineWidth; continued
// lines start at column `indent`.
void WriteWrapped(std::ostream& stream, std::string_view text, std::size_t indent, std::size_t column) {
  while (!text.empty()) {
    std::size_t end = text.size();
    if (column + end > kLineWidth) {
      const std::size_t room = kLineWidth > column ? kLineWidth - column : 0;
      const std::size_t blank = text.rfind(' ', room);
      end = blank != std::string_view::npos && blank > 0 ? blank : text.find(' ');
      if (end == std::string_view::npos) end = text.size();
    }
    stream << text.substr(0, end) << '\n';
    text.remove_prefix(std::min(text.size(), end + 1));
    if (!text.empty()) stream << std::string(indent, ' ');
    column = indent;
  }
}

std::string OptionNames(const TOptionUsage& option) {
  std::string names(option.Name);
  if (!option.Value.empty()) names.append(" ").append(option.Value);
  if (!option.Opposite.empty()) names.append(", ").append(option.Opposite);
  return names;
}

void WriteOptions(std::ostream& stream, std::span<const TOptionUsage> options) {
  std::size_t width = 0;
  for (const TOptionUsage& option : options) width = std::max(width, OptionNames(option).size());
  stream << "options:\n";
  for (const TOptionUsage& option : options) {
    const std::string names = OptionNames(option);
    stream << "  " << names << std::string(width + 2 - names.size(), ' ');
    WriteWrapped(stream, option.Help, width + 4, width + 4);
  }
}

}  // namespace

const TCommandUsage* FindCommand(const TProgramUsage& program, std::string_view name) {
  for (const TCommandUsage& command : program.Commands)
    if (command.Name == name) return &command;
  return nullptr;
}

const TOptionUsage* FindOption(const TCommandUsage& command, std::string_view name) {
  for (const TOptionUsage& option : command.Options)
    if (option.Name == name || (!option.Opposite.empty() && option.Opposite == name)) return &option;
  return nullptr;
}

void WriteHelp(std::ostream& stream, const TProgramUsage& program) {
  stream << "usage: " << program.Name << ' ' << program.Arguments << '\n';
  for (std::string_view paragraph : program.Description) WriteWrapped(stream, paragraph, 0, 0);
  if (!program.Commands.empty()) {
    std::size_t width = 0;
    for (const TCommandUsage& command : program.Commands)
      width = std::max(width, command.Name.size() + 1 + command.Arguments.size());
    stream << "commands:\n";
    for (const TCommandUsage& command : program.Commands) {
      const std::string synopsis = std::string(command.Name) + " " + std::string(command.Arguments);
      stream << "  " << synopsis << std::string(width + 3 - synopsis.size(), ' ');
      WriteWrapped(stream, command.Summary, width + 5, width + 5);
    }
    stream << program.Name << " COMMAND --help shows a command's options.\n";
  }
  WriteOptions(stream, program.Options);
  for (std::string_view note : program.Notes) WriteWrapped(stream, note, 0, 0);
}

void WriteCommandHelp(std::ostream& stream, const TProgramUsage& program, const TCommandUsage& command) {
  stream << "usage: " << program.Name << ' ' << command.Name << ' ' << command.Arguments << '\n';
  WriteWrapped(stream, command.Description, 0, 0);
  if (!command.Options.empty()) WriteOptions(stream, command.Options);
}

std::string_view VersionNumber() { return VELQUIN_VERSION; }

void WriteVersion(std::ostream& stream, const TProgramUsage& program) {
  stream << program.Name << ' ' << VersionNumber() << '\n';
}

TInfoRequest FindInfoRequest(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") return TInfoRequest::Help;
    if (arg == "--version") return TInfoRequest::Version;
  }
  return TInfoRequest::None;
}

std::string WindowFolder(const std::vector<std::string>& args) {
  std::vector<std::string> folders;
  bool folderOnly = false;
  for (const std::string& arg : args) {
    if (!folderOnly && arg == "--") {
      folderOnly = true;
    } else if (!folderOnly && arg.size() > 1 && arg[0] == '-') {
      throw EUsageError("unknown option " + arg);
    } else {
      folders.push_back(arg);
    }
  }
  if (folders.size() > 1) throw EUsageError("expected at most one FOLDER");
  return folders.empty() ? std::string() : folders[0];
}

}  // namespace velquin
