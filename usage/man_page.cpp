#include "usage/man_page.h"

#include <cctype>
#include <string>

namespace velquin {
namespace {

// Text made safe for roff: backslashes and dashes escaped, a control character at a line's start
// neutralised.
std::string Roff(std::string_view text) {
  std::string out;
  if (!text.empty() && (text[0] == '.' || text[0] == '\'')) out = "\\&";
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

void WriteOptionItems(std::ostream& stream, std::span<const TOptionUsage> options) {
  for (const TOptionUsage& option : options) {
    stream << ".TP\n\\fB" << Roff(option.Name) << "\\fR";
    if (!option.Value.empty()) stream << " \\fI" << Roff(option.Value) << "\\fR";
    if (!option.Opposite.empty()) stream << ", \\fB" << Roff(option.Opposite) << "\\fR";
    stream << '\n' << Roff(option.Help) << '\n';
  }
}

void WriteItems(std::ostream& stream, const char* section, std::span<const TUsageItem> items) {
  if (items.empty()) return;
  stream << ".SH \"" << section << "\"\n";
  for (const TUsageItem& item : items)
    stream << ".TP\n.I " << Roff(item.Name) << '\n' << Roff(item.Help) << '\n';
}

}  // namespace

void WriteManPage(std::ostream& stream, const TProgramUsage& program) {
  stream << ".TH " << Roff(Upper(program.Name)) << " 1 \"\" \"Velquin " << VersionNumber()
         << "\" \"User Commands\"\n"
         << ".SH NAME\n"
         << Roff(program.Name) << " \\- " << Roff(program.Summary) << '\n'
         << ".SH SYNOPSIS\n";
  if (program.Commands.empty()) {
    stream << ".B " << Roff(program.Name) << '\n' << Roff(program.Arguments) << '\n';
  } else {
    for (const TCommandUsage& command : program.Commands)
      stream << ".B " << Roff(program.Name) << ' ' << Roff(command.Name) << '\n'
             << Roff(command.Arguments) << "\n.br\n";
    for (const TOptionUsage& option : program.Options)
      stream << ".B " << Roff(program.Name) << ' ' << Roff(option.Name) << "\n.br\n";
  }
  stream << ".SH DESCRIPTION\n";
  for (std::string_view paragraph : program.Description) stream << ".PP\n" << Roff(paragraph) << '\n';
  if (!program.Commands.empty()) {
    stream << ".SH COMMANDS\n";
    for (const TCommandUsage& command : program.Commands) {
      stream << ".SS \"" << Roff(command.Name) << ' ' << Roff(command.Arguments) << "\"\n"
             << Roff(command.Description) << '\n';
      WriteOptionItems(stream, command.Options);
    }
  }
  stream << ".SH OPTIONS\n";
  WriteOptionItems(stream, program.Options);
  if (!program.Notes.empty()) {
    stream << ".SH NOTES\n";
    for (std::string_view note : program.Notes) stream << ".PP\n" << Roff(note) << '\n';
  }
  WriteItems(stream, "FILES", program.Files);
  WriteItems(stream, "EXIT STATUS", program.ExitStatus);
  stream << ".SH \"SEE ALSO\"\n.BR " << Roff(program.SeeAlso) << " (1)\n";
}

}  // namespace velquin
