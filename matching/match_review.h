// The match review: the pair display that follows the Matches cursor, and the view and delete
// buttons under the two pictures. Each works on the form through TMatchHost (match_host.h).
#pragma once

#include <string>

namespace velquin {

class TMatchHost;

// The data-change handler of the pair display: shows the current pair, deleting stale rows under the
// cursor one after another in a loop (nested notifications only ask the running loop for one more
// turn), so any run of stale rows takes constant stack.
class TPairDisplay {
 public:
  explicit TPairDisplay(TMatchHost& host) : host_(host) {}
  TPairDisplay(const TPairDisplay&) = delete;
  TPairDisplay& operator=(const TPairDisplay&) = delete;

  void MatchesSourceDataChange();

 private:
  TMatchHost& host_;
  // Set while the handler runs; again_ records a notification that arrived meanwhile.
  bool running_ = false;
  bool again_ = false;
};

// Moves file to the trash through the host's desktop, the one way the program trashes a file. Only a
// file directly in the Folder (the folder of the open tables) goes: any other, a row copied from
// another folder's tables for one, is refused, so no action on this Folder's rows reaches another
// folder's files. Throws ERecycleError (platform/errors.h) when refused or when the move fails; the
// file then stays where it is.
void RecycleFolderFile(TMatchHost& host, const std::string& file);

// Recycles file (RecycleFolderFile), then deletes its Sigs row and every Matches row naming it
// (exact comparison), and puts the Matches cursor back on the same row number (the last row when
// fewer remain). When the file cannot be recycled the failure passes on and no row is touched.
void DeleteFileAndRecords(TMatchHost& host, const std::string& file);

// The review buttons: left = File1 of the current pair, right = File2.
void ViewButtonClick(TMatchHost& host, bool left);
void DeleteButtonClick(TMatchHost& host, bool left);

}  // namespace velquin
