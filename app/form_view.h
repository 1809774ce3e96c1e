// TFormView: how a window (or any other face of the program) observes the headless main form.
//
// The form calls its view after each change of its own state, whoever caused it (a handler, a
// command running inside a handler, or the window itself through a setter); the view then reads
// the new state through the form's accessors. Calls come on the form's thread, possibly nested
// deep inside a running command while it lets messages run. A view must not throw.
//
// What is not announced here: the grid follows MatchesTable through a TDataSource of the view's
// own; the picture views follow their working bitmaps' OnChange/OnResize notifications.
#pragma once

#include <string>

namespace velquin {

enum class TFormPart {
  Layout,         // window bounds, pane sizes, the sizes FormResize computed
  DirEdit,        // the folder text
  LB,             // the folder list's entries or its selection
  MarginEdit,     // the Margin text
  Options,        // ForceCB, NormalizeCB, IncrMatchCB, ColorsCB, SubfoldersCB, TurnedCB, GrayCB, AllFormatsCB
  lTitle,         // the phase caption
  CountLabels,    // lSigsDB, lMatchesDB
  PairLabels,     // lFile1, lFile2, lComp
  PairPictures,   // the pair's pictures wait for the next repaint (TForm1::ShowPendingPairPictures)
  ReviewButtons,  // enabled state of the four review buttons
  ProgressLine,   // the progress line of a long command (empty when none runs)
  Problems,       // the list of problems gained a line or was emptied
  Undo,           // the stack of moves to the trash that Edit > Undo takes back changed
  WriteAccess,    // whether the Folder's tables can be written (ReadOnlyNote)
};

enum class TMemoChange { Appended, InsertedFirst, FirstDeleted, Cleared };

class TFormView {
 public:
  virtual ~TFormView() = default;
  virtual void FormChanged(TFormPart part) = 0;
  // The log pane changed by one step; line is the appended or inserted line, else empty.
  virtual void MemoChanged(TMemoChange change, const std::string& line) = 0;
  // QuitButtonClick: the window should close (and then call FormDestroy).
  virtual void CloseRequested() = 0;
  // False for a view that never shows the pair's pictures: the form then never decodes them.
  virtual bool ShowsPairPictures() const = 0;
  // True for a view with a list named "Problems": the closing dialogs then point to it.
  virtual bool ShowsProblemList() const { return false; }
};

}  // namespace velquin
