#include "usage/bash_completion.h"

#include <set>
#include <string>

namespace velquin {
namespace {

// The shell function's name: '_' and the program's name with '-' turned into '_'.
std::string FunctionName(std::string_view program) {
  std::string name = "_";
  name += program;
  for (char& c : name)
    if (c == '-') c = '_';
  return name;
}

}  // namespace

void WriteBashCompletion(std::ostream& stream, const TProgramUsage& program) {
  const std::string function = FunctionName(program.Name);
  stream << "# bash completion for " << program.Name << "; written from its option table at build time.\n"
         << function << "() {\n"
         << "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
         << "  if ((COMP_CWORD == 1)); then\n"
         << "    mapfile -t COMPREPLY < <(compgen -W '";
  for (const TCommandUsage& command : program.Commands) stream << command.Name << ' ';
  for (const TOptionUsage& option : program.Options) stream << option.Name << ' ';
  stream << "-h' -- \"$cur\")\n"
         << "    return\n"
         << "  fi\n"
         << "  local options operand\n"
         << "  case ${COMP_WORDS[1]} in\n";
  for (const TCommandUsage& command : program.Commands) {
    stream << "    " << command.Name << ") options='";
    for (const TOptionUsage& option : command.Options) {
      stream << option.Name << ' ';
      if (!option.Opposite.empty()) stream << option.Opposite << ' ';
    }
    stream << "--help' operand=" << (command.Operand == TOperandKind::Folder ? "-d" : "-f") << " ;;\n";
  }
  stream << "    *) return ;;\n"
         << "  esac\n"
         << "  case $prev in\n";
  // An option's value is the user's to type, but for a FILE, which is completed as a file name.
  std::set<std::string_view> valued;
  std::set<std::string_view> files;
  for (const TCommandUsage& command : program.Commands)
    for (const TOptionUsage& option : command.Options)
      if (!option.Value.empty()) (option.Value == "FILE" ? files : valued).insert(option.Name);
  for (std::string_view name : files) {
    stream << "    " << name << ")\n"
           << "      compopt -o filenames 2>/dev/null\n"
           << "      mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
           << "      return ;;\n";
  }
  for (std::string_view name : valued) stream << "    " << name << ") return ;;\n";
  stream << "  esac\n"
         // After "--" every word is an operand.
         << "  local i\n"
         << "  for ((i = 2; i < COMP_CWORD; ++i)); do\n"
         << "    [[ ${COMP_WORDS[i]} == -- ]] && options=''\n"
         << "  done\n"
         << "  if [[ -n $options && $cur == -* ]]; then\n"
         << "    mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\")\n"
         << "  else\n"
         << "    compopt -o filenames 2>/dev/null\n"
         << "    mapfile -t COMPREPLY < <(compgen $operand -- \"$cur\")\n"
         << "  fi\n"
         << "}\n"
         << "complete -F " << function << ' ' << program.Name << '\n';
}

}  // namespace velquin
