#include "matching/match_review.h"

#include "imaging/bitmap32.h"
#include "matching/match_host.h"
#include "platform/desktop.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/scope_guard.h"
#include "platform/text_utils.h"
#include "signature/convert.h"
#include "tablestore/index_scope.h"
#include "tablestore/notification_hold.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

std::string Description(const std::string& file, const TBitmap32& picture) {
  return file + ": " + IntToStrSep(GetFileSize(file)) + "; " + std::to_string(picture.Width()) + " x " +
         std::to_string(picture.Height());
}

std::string Comparison(const TBitmap32& left, const TBitmap32& right) {
  const std::int32_t w1 = left.Width(), h1 = left.Height(), w2 = right.Width(), h2 = right.Height();
  if (w1 == w2 && h1 == h2) return "Same Size";
  if (w1 > w2 && h1 > h2) return "<== Bigger";
  if (w1 < w2 && h1 < h2) return "Bigger ==>";
  return "";
}

// One showing of the current pair; deleting a stale row asks for the next turn by notifying.
void ShowCurrentPair(TMatchHost& host) {
  TTable& matches = host.Matches();
  if (matches.RecordCount() == 0) {
    host.SetReviewLabel(TReviewLabel::lFile1, "");
    host.SetReviewLabel(TReviewLabel::lFile2, "");
    host.PairBitmap(true).Clear();
    host.PairBitmap(false).Clear();
    return;
  }
  if (matches.State() == TDataSetState::dsInsert || matches.State() == TDataSetState::dsSetKey) return;
  const std::string file1 = matches.FieldAsString("File1");
  if (!FileExists(file1)) {
    matches.Delete();
    return;
  }
  const std::string file2 = matches.FieldAsString("File2");
  if (!FileExists(file2)) {
    matches.Delete();
    return;
  }
  TBitmap32& left = host.PairBitmap(true);
  TBitmap32& right = host.PairBitmap(false);
  host.LoadPicture(file1, left);
  host.SetReviewLabel(TReviewLabel::lFile1, Description(file1, left));
  host.LoadPicture(file2, right);
  host.SetReviewLabel(TReviewLabel::lFile2, Description(file2, right));
  host.SetReviewLabel(TReviewLabel::lComp, Comparison(left, right));
}

// The current pair's file; a conversion error when Matches has no current row.
std::string CurrentFile(TMatchHost& host, bool left) {
  const TFieldValue value = host.Matches().FieldValue(left ? "File1" : "File2");
  if (!std::holds_alternative<std::string>(value)) {
    throw EConvertError("Could not convert variant of type (Null) into type (String)");
  }
  return std::get<std::string>(value);
}

}  // namespace

void RecycleFolderFile(TMatchHost& host, const std::string& file) {
  const std::string& folder = host.Matches().DatabaseName;
  if (!IsFileDirectlyIn(file, folder))
    throw ERecycleError(file, "It is not in the folder \"" + folder + "\".");
  host.Desktop().RecycleFile(file);
}

void TPairDisplay::MatchesSourceDataChange() {
  if (running_) {
    again_ = true;
    return;
  }
  running_ = true;
  const TScopeGuard reset([this] {
    running_ = false;
    again_ = false;
  });
  do {
    again_ = false;
    ShowCurrentPair(host_);
  } while (again_);
}

void DeleteFileAndRecords(TMatchHost& host, const std::string& file) {
  RecycleFolderFile(host, file);

  TTable& sigs = host.Sigs();
  const std::string folder(FolderOfPath(file));
  const std::string name(NameOfPath(file));
  {
    const TIndexScope index(sigs);
    sigs.SetIndexName("");
    sigs.SetKey();
    sigs.SetFieldValue("FileName", name);
    sigs.SetFieldValue("FilePath", folder);
    if (sigs.GotoKey()) sigs.Delete();
  }

  TTable& matches = host.Matches();
  {
    TNotificationHold hold(matches);
    // The row number to come back to: counting the steps back to the first row gives RecNo, or 0 when
    // the cursor sat on the first row with the beginning flag set; both land on the same row below.
    const std::int32_t place = matches.Bof() ? 0 : matches.RecNo();
    matches.First();
    while (!matches.Eof()) {
      if (matches.FieldAsString("File1") == file || matches.FieldAsString("File2") == file) {
        matches.Delete();
      } else {
        matches.Next();
      }
    }
    matches.First();
    if (place > 1) matches.MoveBy(place - 1);
    hold.Resume();
  }
  host.UpdateDBLabels();
}

void ViewButtonClick(TMatchHost& host, bool left) { host.Desktop().ShellOpen(CurrentFile(host, left)); }

void DeleteButtonClick(TMatchHost& host, bool left) { DeleteFileAndRecords(host, CurrentFile(host, left)); }

}  // namespace velquin
