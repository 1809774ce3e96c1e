// velquin-cli signature [--normalize] FILE...
//
// For each FILE in the order given, one line on stdout: FILE, a TAB, and its 192-character
// signature text. A FILE that cannot be loaded or loads nothing gives "velquin-cli: FILE: MESSAGE"
// on stderr instead, and the others are still done. Exit status 1 when any FILE failed, else 0.
// Other programs compare pictures against this output, so its form does not change.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "cli/command_line.h"
#include "imaging/bitmap32.h"
#include "imaging/picture_loader.h"
#include "signature/signature.h"
#include "signature/signature_rows.h"

namespace velquin {
namespace {

// Loading from the command line: nothing to count, no window to keep alive, no cursor to show.
class TConsoleLoadHost : public TLoadHost {
 public:
  void CountPicture() override {}
  void ProgressTick() override {}
  void ProcessMessages() override {}
  TCursor Cursor() const override { return cursor_; }
  void SetCursor(TCursor cursor) override { cursor_ = cursor; }

 private:
  TCursor cursor_ = TCursor::crDefault;
};

// Signs pictures while they load: each row the decoder delivers is counted while it is still in cache
// (the brightness histogram when normalising, else the Cell sums), so the finished bitmap is read at
// most once more, and never written. The results equal EqualizeBrightness and MakeSignature on the
// loaded bitmap.
class TRowSigner {
 public:
  TRowSigner(TBitmap32& bitmap, bool normalize) : normalize_(normalize) {
    bitmap.OnRowDrawn = [this](TBitmap32& drawn, std::int32_t y) { AddRow(drawn, y); };
  }

  // Call before each load.
  void Reset() { rowsSeen_ = 0; }

  TSignature Sign(const TBitmap32& bitmap) {
    // Rows arrive 0, 1, ... once each for a picture that loaded; anything else is signed from scratch.
    const bool complete = !bitmap.IsEmpty() && rowsSeen_ == bitmap.Height();
    if (normalize_) {
      if (!complete) BuildHistogram(bitmap);
      BuildBrightnessMap();
      return EqualizedSignature(bitmap);
    }
    return complete ? rows_.Signature(bitmap.OuterColor) : MakeSignature(bitmap);
  }

 private:
  void AddRow(TBitmap32& bitmap, std::int32_t y) {
    if (y != rowsSeen_) return;
    if (normalize_) {
      if (y == 0) ClearHistogram();
      AddToHistogram(bitmap.ScanLine(y), static_cast<std::size_t>(bitmap.Width()));
    } else {
      if (y == 0) rows_.Start(bitmap.Width(), bitmap.Height());
      rows_.AddRow(y, bitmap.ScanLine(y));
    }
    ++rowsSeen_;
  }

  bool normalize_;
  TSignatureRows rows_;
  std::int32_t rowsSeen_ = 0;
};

int SignatureUsage(std::ostream& err, const std::string& problem) {
  err << "velquin-cli signature: " << problem << '\n';
  WriteUsage(err);
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

  TConsoleLoadHost host;
  TBitmap32 bitmap;
  TRowSigner signer(bitmap, normalize);
  int status = kExitOk;
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string& file = args[i];
    try {
      signer.Reset();
      if (!LoadPicture(file, false, false, bitmap, host)) {
        err << "velquin-cli: " << file << ": not loaded: missing, or not a .JPG, .GIF or .BMP file\n";
        status = kExitFailed;
        continue;
      }
      out << file << '\t' << SignatureToText(signer.Sign(bitmap)) << '\n';
    } catch (const std::exception& e) {
      err << "velquin-cli: " << file << ": " << e.what() << '\n';
      status = kExitFailed;
    }
  }
  return status;
}

}  // namespace velquin
