// What velquin and velquin-cli say about themselves. Each program has one table here; its --help
// text, each command's --help, its man page and its bash completion are all written from that table,
// and velquin-cli reads its options against it, so none of them can drift from the others.
#pragma once

#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velquin {

// A command line that does not fit: exit status 2 with the usage text.
class EUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the arguments that are not options name, for the completion.
enum class TOperandKind { File, Folder };

struct TOptionUsage {
  std::string_view Name;      // "--force"
  std::string_view Opposite;  // the option that undoes it ("--no-force"), or empty
  std::string_view Value;     // the value's placeholder ("N") when the option takes one, else empty
  std::string_view Help;
};

struct TCommandUsage {
  std::string_view Name;       // "scan"
  std::string_view Arguments;  // "[OPTIONS] FOLDER"
  std::string_view Summary;    // one line
  std::string_view Description;
  std::span<const TOptionUsage> Options;
  TOperandKind Operand;
};

// A file the program reads or writes, or an exit status, with what it means.
struct TUsageItem {
  std::string_view Name;
  std::string_view Help;
};

struct TProgramUsage {
  std::string_view Name;       // "velquin-cli"
  std::string_view Summary;    // the man page's NAME line after the dash
  std::string_view Arguments;  // after the name in the synopsis
  std::span<const std::string_view> Description;
  std::span<const TCommandUsage> Commands;
  std::span<const TOptionUsage> Options;  // the program's own, before any command
  std::span<const std::string_view> Notes;
  std::span<const TUsageItem> Files;
  std::span<const TUsageItem> ExitStatus;
  std::string_view SeeAlso;  // the other program, whose man page is in section 1 too
};

const TProgramUsage& WindowUsage();
const TProgramUsage& CliUsage();

// The command of `program` named `name`, or nullptr.
const TCommandUsage* FindCommand(const TProgramUsage& program, std::string_view name);
// The option of `command` named `name` (or named so as its opposite), or nullptr.
const TOptionUsage* FindOption(const TCommandUsage& command, std::string_view name);

// "usage: NAME ARGUMENTS", the description, the commands and the options.
void WriteHelp(std::ostream& stream, const TProgramUsage& program);
// "usage: NAME COMMAND ARGUMENTS", the command's description and its options.
void WriteCommandHelp(std::ostream& stream, const TProgramUsage& program, const TCommandUsage& command);
// "NAME VERSION".
void WriteVersion(std::ostream& stream, const TProgramUsage& program);
// The version number alone, as the build names it ("0.1").
std::string_view VersionNumber();

enum class TInfoRequest { None, Help, Version };
// The first --help, -h or --version in args before any "--".
TInfoRequest FindInfoRequest(const std::vector<std::string>& args);

// The FOLDER of the window's command line (the arguments after the program's name, with Qt's own
// options taken out), or empty. Throws EUsageError for an option or a second FOLDER.
std::string WindowFolder(const std::vector<std::string>& args);

}  // namespace velquin
