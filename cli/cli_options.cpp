#include "cli/cli_options.h"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>

#include "app/form1.h"
#include "cli/command_line.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "signature/convert.h"

namespace velquin {

namespace {

// Sets what `option` (of the command's table) stands for; `name` is how it was given.
void SetOption(TCliOptions& options, const TOptionUsage& option, std::string_view name, std::string value) {
  const bool on = name == option.Name;
  if (option.Name == "--margin") {
    // Checked here as the form would read it, so that a command refuses before it starts.
    try {
      StrToInt(value);
    } catch (const EConvertError& e) {
      throw EUsageError("option --margin: " + std::string(e.what()));
    }
    options.Margin = std::move(value);
  } else if (option.Name == "--force") {
    options.Force = on;
  } else if (option.Name == "--normalize") {
    options.Normalize = on;
  } else if (option.Name == "--incremental") {
    options.IncrMatch = on;
  } else if (option.Name == "--colors") {
    options.Colors = on;
  } else if (option.Name == "--subfolders") {
    options.Subfolders = on;
  } else if (option.Name == "--turned") {
    options.Turned = on;
  } else if (option.Name == "--gray") {
    options.Gray = on;
  } else if (option.Name == "--all-formats") {
    options.AllFormats = on;
  } else if (option.Name == "--verbose") {
    options.Verbose = true;
  } else if (option.Name == "--json") {
    options.Json = true;
  } else if (option.Name == "--apply") {
    options.Apply = true;
  } else if (option.Name == "--keep") {
    options.Keep.push_back(std::move(value));
  } else if (option.Name == "--threads") {
    options.Threads = ParseThreads(value);
  } else {
    throw std::logic_error("velquin-cli: no setting for option " + std::string(option.Name));
  }
}

}  // namespace

unsigned ParseThreads(std::string_view value) {
  unsigned threads = 0;
  const bool digits =
      !value.empty() && value.size() <= 3 && value.find_first_not_of("0123456789") == std::string_view::npos;
  if (digits) threads = static_cast<unsigned>(std::stoul(std::string(value)));
  if (threads < 1 || threads > kMaxThreads)
    throw EUsageError("option --threads: \"" + std::string(value) +
                      "\" is not a number of threads from 1 to " + std::to_string(kMaxThreads));
  return threads;
}

TCliOptions ParseCliOptions(std::string_view command, const std::vector<std::string>& args) {
  const TCommandUsage* usage = FindCommand(CliUsage(), command);
  if (usage == nullptr) throw std::logic_error("velquin-cli: no usage for command " + std::string(command));
  TCliOptions options;
  bool folderOnly = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (folderOnly || arg.empty() || arg[0] != '-' || arg == "-") {
      options.Folders.push_back(arg);
      continue;
    }
    if (arg == "--") {
      folderOnly = true;
      continue;
    }
    // A value comes after the option, or after '=' in the same argument.
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const TOptionUsage* option = FindOption(*usage, name);
    if (option == nullptr || (option->Value.empty() && equals != std::string::npos))
      throw EUsageError("unknown option " + arg);
    std::string value;
    if (!option->Value.empty()) {
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        throw EUsageError("option " + name + " needs a value");
      }
    }
    SetOption(options, *option, name, std::move(value));
  }
  return options;
}

void ApplyCliOptions(const TCliOptions& options, TForm1& form) {
  form.SetMarginEditText(options.Margin);
  form.SetForceCB(options.Force);
  form.SetNormalizeCB(options.Normalize);
  form.SetIncrMatchCB(options.IncrMatch);
  form.SetColorsCB(options.Colors);
  form.SetSubfoldersCB(options.Subfolders);
  form.SetTurnedCB(options.Turned);
  form.SetGrayCB(options.Gray);
  form.SetAllFormatsCB(options.AllFormats);
  form.ScanDecoding.Threads = options.Threads;
}

std::string AbsoluteFolder(const std::string& folder) {
  std::string path = std::filesystem::absolute(folder).lexically_normal().string();
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

std::string AbsoluteFile(const std::string& file) {
  return std::filesystem::absolute(file).lexically_normal().string();
}

int RunCliCommand(const char* name, std::ostream& err, const std::function<int()>& body) {
  try {
    return body();
  } catch (const EUsageError& e) {
    err << "velquin-cli " << name << ": " << e.what() << '\n';
    WriteCommandUsage(err, name);
    return kExitUsage;
  } catch (const ENoSuchFolder& e) {
    err << "velquin-cli: " << e.what() << '\n';
    return kExitFailed;
  } catch (const std::exception& e) {
    err << e.what() << '\n';
    return kExitFailed;
  }
}

void RequireFolders(const TCliOptions& options) {
  for (const std::string& folder : options.Folders) {
    if (!FolderExists(folder)) throw ENoSuchFolder(folder);
  }
}

std::string SingleFolder(const TCliOptions& options) {
  if (options.Folders.size() != 1) throw EUsageError("expected one FOLDER");
  RequireFolders(options);
  return AbsoluteFolder(options.Folders[0]);
}

}  // namespace velquin
