// How the window shows that the Folder's tables cannot be written.
#pragma once

namespace velquin {

class TForm1;
class TMainWindow;

// Enables what would write only while the form's Folder can be written: Signatures, Matches, Auto
// and ClearDBs with their menu items, both Delete buttons with their menu items and keys (these also
// only while the review buttons are enabled), and the Groups tab's trash buttons. While it cannot,
// the status line says why (TForm1::ReadOnlyNote).
void ShowWriteAccess(TMainWindow& window, const TForm1& form);

}  // namespace velquin
