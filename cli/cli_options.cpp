#include "cli/cli_options.h"

#include <filesystem>

#include "app/form1.h"
#include "cli/command_line.h"

namespace velquin {

TCliOptions ParseCliOptions(const std::vector<std::string>& args, bool formOptions, bool json) {
  TCliOptions options;
  bool folderOnly = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (folderOnly || arg.empty() || arg[0] != '-' || arg == "-") {
      options.Folders.push_back(arg);
    } else if (arg == "--") {
      folderOnly = true;
    } else if (arg == "--verbose") {
      options.Verbose = true;
    } else if (json && arg == "--json") {
      options.Json = true;
    } else if (formOptions && (arg == "--margin" || arg.rfind("--margin=", 0) == 0)) {
      if (arg == "--margin") {
        if (i + 1 >= args.size()) throw EUsageError("option --margin needs a value");
        options.Margin = args[++i];
      } else {
        options.Margin = arg.substr(9);
      }
    } else if (formOptions && (arg == "--force" || arg == "--no-force")) {
      options.Force = arg == "--force";
    } else if (formOptions && (arg == "--normalize" || arg == "--no-normalize")) {
      options.Normalize = arg == "--normalize";
    } else if (formOptions && (arg == "--incremental" || arg == "--no-incremental")) {
      options.IncrMatch = arg == "--incremental";
    } else if (formOptions && (arg == "--colors" || arg == "--cell-sum")) {
      options.Colors = arg == "--colors";
    } else {
      throw EUsageError("unknown option " + arg);
    }
  }
  return options;
}

void ApplyCliOptions(const TCliOptions& options, TForm1& form) {
  form.SetMarginEditText(options.Margin);
  form.SetForceCB(options.Force);
  form.SetNormalizeCB(options.Normalize);
  form.SetIncrMatchCB(options.IncrMatch);
  form.SetColorsCB(options.Colors);
}

std::string AbsoluteFolder(const std::string& folder) {
  std::string path = std::filesystem::absolute(folder).lexically_normal().string();
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

int RunCliCommand(const char* name, std::ostream& err, const std::function<int()>& body) {
  try {
    return body();
  } catch (const EUsageError& e) {
    err << "velquin-cli " << name << ": " << e.what() << '\n';
    WriteUsage(err);
    return kExitUsage;
  } catch (const std::exception& e) {
    err << e.what() << '\n';
    return kExitFailed;
  }
}

std::string SingleFolder(const TCliOptions& options) {
  if (options.Folders.size() != 1) throw EUsageError("expected one FOLDER");
  return AbsoluteFolder(options.Folders[0]);
}

}  // namespace velquin
