// velquin-cli signature [--normalize] FILE...
//
// For each FILE in the order given, one line on stdout: FILE, a TAB, and its 192-character
// signature text. A FILE that cannot be loaded or loads nothing gives "velquin-cli: FILE: MESSAGE"
// on stderr instead, and the others are still done. Exit status 1 when any FILE failed, else 0.
// Other programs compare pictures against this output, so its form does not change.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <thread>

#include "cli/command_line.h"
#include "imaging/bitmap32.h"
#include "imaging/picture_loader.h"
#include "signature/picture_signer.h"
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
  std::size_t first = 0;
  for (; first < args.size() && args[first].starts_with("-"); ++first) {
    if (args[first] == "--") {
      ++first;
      break;
    }
    if (args[first] != "--normalize") return SignatureUsage(err, "unknown option \"" + args[first] + "\"");
    normalize = true;
  }
  if (first == args.size()) return SignatureUsage(err, "no FILE given");

  TBitmap32 bitmap;
  TPictureSigner signer(bitmap, normalize, std::thread::hardware_concurrency() > 1);
  int status = kExitOk;
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string& file = args[i];
    try {
      signer.Reset();
      if (!LoadPicture(file, bitmap)) {
        err << "velquin-cli: " << file << ": not loaded: missing, or not a .JPG, .GIF or .BMP file\n";
        status = kExitFailed;
        continue;
      }
      out << file << '\t' << SignatureToText(signer.Sign()) << '\n';
    } catch (const std::exception& e) {
      err << "velquin-cli: " << file << ": " << e.what() << '\n';
      status = kExitFailed;
    }
  }
  return status;
}

}  // namespace velquin
