// The match review: the pair display that follows the Matches cursor, and the view and delete
// buttons under the two pictures. Each works on the form through TMatchHost (match_host.h).
#pragma once

#include <exception>
#include <optional>
#include <string>

#include "matching/trash_records.h"

namespace velquin {

class TBitmap32;
class TMatchHost;

// The pair display. The data-change handler finds the pair to show: it deletes stale rows under the
// cursor (a row naming a file that no longer exists) one after another, then tells the host that the
// current pair's pictures are wanted (TMatchHost::PairPicturesPending). A Matches table open
// read-only keeps its stale rows: for one, no pair is shown. Decoding the pictures is a step of its
// own, ShowPendingPictures, which the host runs at once or later, when the pictures are seen; or the
// host decodes the pending pair elsewhere and hands it back through ShowDecodedPair.
//
// The two steps never nest: a request that comes while one runs (a deletion notifying again, a
// handler run while a picture loads lets messages run) is taken up by the running loop once its step
// is done, so any run of stale rows takes constant stack and no pair is half overwritten by another.
class TPairDisplay {
 public:
  struct TPair {
    std::string File1;
    std::string File2;
    bool operator==(const TPair&) const = default;
  };

  explicit TPairDisplay(TMatchHost& host) : host_(host) {}
  TPairDisplay(const TPairDisplay&) = delete;
  TPairDisplay& operator=(const TPairDisplay&) = delete;

  void MatchesSourceDataChange();
  // Decodes both pictures of the pair found last into the host's pair bitmaps and describes them;
  // nothing when they were decoded already, or Matches has emptied since. A pair whose decoding
  // fails is not tried again.
  void ShowPendingPictures();
  // The pair whose pictures are wanted and not yet decoded, if any.
  const std::optional<TPair>& PendingPair() const { return pending_; }
  // Shows pair with pictures decoded elsewhere, moved here from left and right, and describes it; it is
  // no longer pending if it was. When decoding them failed (failure), that failure is thrown instead
  // and the display keeps what it showed; the pair is not tried again either.
  void ShowDecodedPair(const TPair& pair, TBitmap32& left, TBitmap32& right,
                       const std::exception_ptr& failure);

 private:
  void Run();
  void FindCurrentPair();
  // Forgets the pair and empties both labels and pictures.
  void ShowNoPair();
  void DecodePendingPair();

  TMatchHost& host_;
  // The pair whose pictures are wanted and not yet decoded.
  std::optional<TPair> pending_;
  // Set while Run's loop runs; the other two are its outstanding requests.
  bool running_ = false;
  bool findAsked_ = false;
  bool decodeAsked_ = false;
};

// Moves file to the trash through the host's desktop, the one way the program trashes a file. Only a
// file in the Folder (the folder of the open tables), or with Subfolders in a folder below it, goes: any
// other, a row copied from
// another folder's tables for one, is refused, so no action on this Folder's rows reaches another
// folder's files. Returns where the file went. Throws ERecycleError (platform/errors.h) when refused or
// when the move fails; the file then stays where it is.
TTrashedFile RecycleFolderFile(TMatchHost& host, const std::string& file);

// Recycles file (RecycleFolderFile), then deletes its Sigs row and every Matches row naming it
// (exact comparison), and puts the Matches cursor back on the same row number (the last row when
// fewer remain). Returns the move with the removed rows, for undo. When the file cannot be recycled
// the failure passes on and no row is touched.
TTrashAction DeleteFileAndRecords(TMatchHost& host, const std::string& file);

// The review buttons: left = File1 of the current pair, right = File2.
void ViewButtonClick(TMatchHost& host, bool left);
TTrashAction DeleteButtonClick(TMatchHost& host, bool left);

}  // namespace velquin
