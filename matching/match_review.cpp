#include "matching/match_review.h"

#include "imaging/bitmap32.h"
#include "matching/match_host.h"
#include "platform/desktop.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/scope_guard.h"
#include "platform/text_utils.h"
#include "signature/convert.h"
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

// The current pair's file; a conversion error when Matches has no current row.
std::string CurrentFile(TMatchHost& host, bool left) {
  const TFieldValue value = host.Matches().FieldValue(left ? "File1" : "File2");
  if (!std::holds_alternative<std::string>(value)) {
    throw EConvertError("Could not convert variant of type (Null) into type (String)");
  }
  return std::get<std::string>(value);
}

}  // namespace

TTrashedFile RecycleFolderFile(TMatchHost& host, const std::string& file) {
  const std::string& folder = host.Matches().DatabaseName;
  // A file below the Folder is the Folder's own while Subfolders is ticked: a scan with it paired it.
  if (!IsFileWithin(file, folder, host.SubfoldersChecked()))
    throw ERecycleError(file, "It is not in the folder \"" + folder + "\".");
  return host.Desktop().RecycleFile(file);
}

void TPairDisplay::MatchesSourceDataChange() {
  findAsked_ = true;
  Run();
}

void TPairDisplay::ShowPendingPictures() {
  decodeAsked_ = true;
  Run();
}

void TPairDisplay::Run() {
  if (running_) return;
  running_ = true;
  const TScopeGuard reset([this] { running_ = findAsked_ = decodeAsked_ = false; });
  // Finding comes first: a pair is decoded only while it is still the current one.
  while (findAsked_ || decodeAsked_) {
    if (findAsked_) {
      findAsked_ = false;
      FindCurrentPair();
    } else {
      decodeAsked_ = false;
      DecodePendingPair();
    }
  }
}

// One look at the current row; deleting a stale row asks for the next look by notifying.
void TPairDisplay::FindCurrentPair() {
  TTable& matches = host_.Matches();
  if (matches.RecordCount() == 0) {
    ShowNoPair();
    return;
  }
  if (matches.State() == TDataSetState::dsInsert || matches.State() == TDataSetState::dsSetKey) return;
  std::string file1 = matches.FieldAsString("File1");
  std::string file2 = matches.FieldAsString("File2");
  if (!FileExists(file1) || !FileExists(file2)) {
    // A table that cannot be written keeps its stale rows: the pair is shown without pictures.
    if (matches.OpenedReadOnly()) {
      ShowNoPair();
    } else {
      matches.Delete();
    }
    return;
  }
  pending_ = TPair{std::move(file1), std::move(file2)};
  host_.PairPicturesPending();
}

void TPairDisplay::ShowNoPair() {
  pending_.reset();
  host_.SetReviewLabel(TReviewLabel::lFile1, "");
  host_.SetReviewLabel(TReviewLabel::lFile2, "");
  host_.PairBitmap(true).Clear();
  host_.PairBitmap(false).Clear();
}

void TPairDisplay::DecodePendingPair() {
  if (!pending_) return;
  const TPair pair = std::move(*pending_);
  pending_.reset();
  TBitmap32& left = host_.PairBitmap(true);
  TBitmap32& right = host_.PairBitmap(false);
  host_.LoadPicture(pair.File1, left);
  host_.SetReviewLabel(TReviewLabel::lFile1, Description(pair.File1, left));
  host_.LoadPicture(pair.File2, right);
  host_.SetReviewLabel(TReviewLabel::lFile2, Description(pair.File2, right));
  host_.SetReviewLabel(TReviewLabel::lComp, Comparison(left, right));
}

void TPairDisplay::ShowDecodedPair(const TPair& pair, TBitmap32& left, TBitmap32& right,
                                   const std::exception_ptr& failure) {
  if (pending_ == pair) pending_.reset();
  if (failure) std::rethrow_exception(failure);
  TBitmap32& leftView = host_.PairBitmap(true);
  TBitmap32& rightView = host_.PairBitmap(false);
  leftView.Exchange(left);
  host_.SetReviewLabel(TReviewLabel::lFile1, Description(pair.File1, leftView));
  rightView.Exchange(right);
  host_.SetReviewLabel(TReviewLabel::lFile2, Description(pair.File2, rightView));
  host_.SetReviewLabel(TReviewLabel::lComp, Comparison(leftView, rightView));
}

TTrashAction DeleteFileAndRecords(TMatchHost& host, const std::string& file) {
  TTrashAction action;
  action.Files.push_back({file, RecycleFolderFile(host, file)});
  RemoveRecords(host.Sigs(), host.Matches(), {file}, action);
  host.UpdateDBLabels();
  return action;
}

void ViewButtonClick(TMatchHost& host, bool left) { host.Desktop().ShellOpen(CurrentFile(host, left)); }

TTrashAction DeleteButtonClick(TMatchHost& host, bool left) {
  return DeleteFileAndRecords(host, CurrentFile(host, left));
}

}  // namespace velquin
