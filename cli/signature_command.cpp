// velquin-cli signature [--normalize] [--threads N] FILE...
//
// For each FILE in the order given, one line on stdout: FILE, a TAB, and its 192-character
// signature text. A FILE that cannot be loaded or loads nothing gives "velquin-cli: FILE: MESSAGE"
// on stderr instead, and the others are still done. Exit status 1 when any FILE failed, else 0.
// Other programs compare pictures against this output, so its form does not change. The FILEs are
// decoded ahead on N threads (one per core by default); the lines still come in the order given.
#include <cstddef>
#include <exception>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/command_line.h"
#include "imaging/picture_loader.h"
#include "scan/decode_ahead.h"
#include "scan/memory_budget.h"
#include "signature/signature.h"

namespace velquin {
namespace {

int SignatureUsage(std::ostream& err, const std::string& problem) {
  err << "velquin-cli signature: " << problem << '\n';
  WriteCommandUsage(err, "signature");
  return kExitUsage;
}

}  // namespace

int SignatureCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  bool normalize = false;
  unsigned threads = 0;
  std::size_t first = 0;
  try {
    for (; first < args.size() && args[first].starts_with("-"); ++first) {
      const std::string& arg = args[first];
      if (arg == "--") {
        ++first;
        break;
      }
      if (arg == "--normalize") {
        normalize = true;
      } else if (arg == "--threads") {
        if (++first == args.size()) throw EUsageError("option --threads needs a value");
        threads = ParseThreads(args[first]);
      } else if (arg.starts_with("--threads=")) {
        threads = ParseThreads(std::string_view(arg).substr(std::string_view("--threads=").size()));
      } else {
        throw EUsageError("unknown option \"" + arg + "\"");
      }
    }
  } catch (const EUsageError& e) {
    return SignatureUsage(err, e.what());
  }
  if (first == args.size()) return SignatureUsage(err, "no FILE given");

  const std::vector<std::string> files(args.begin() + static_cast<std::ptrdiff_t>(first), args.end());
  std::vector<std::string> plan;
  for (const std::string& file : files) {
    if (IsPictureFile(file)) plan.push_back(file);
  }
  TMemoryBudget memory;
  TDecodeAhead decoder(std::move(plan), threads, normalize, memory);
  int status = kExitOk;
  for (const std::string& file : files) {
    if (!IsPictureFile(file)) {
      err << "velquin-cli: " << file << ": not loaded: missing, or not a .JPG, .GIF or .BMP file\n";
      status = kExitFailed;
      continue;
    }
    try {
      const std::unique_ptr<TDecodedPicture> picture = decoder.Take(file);
      if (picture->Failure) std::rethrow_exception(picture->Failure);
      out << file << '\t' << SignatureToText(picture->Signature) << '\n';
    } catch (const std::exception& e) {
      err << "velquin-cli: " << file << ": " << e.what() << '\n';
      status = kExitFailed;
    }
  }
  return status;
}

}  // namespace velquin
