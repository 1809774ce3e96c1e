// TMatchCommand: the Matches command's body, the match pass. It makes Matches anew with every pair of
// distinct Sigs rows that match under the options' tests (File1 = the row first in BySignature order),
// with the hourglass, the disabled review buttons, summary-log.txt, Velquin.INI and the closing dialog
// around the match engine's search. Memory beyond the tables grows with the Sigs rows, never with the
// pairs.
#pragma once

#include <string>
#include <utility>

namespace velquin {

class TMatchHost;

// What the pass takes from its command at its start.
struct TMatchOptions {
  std::string AppDir;    // where summary-log.txt and Velquin.INI live, ending in '/'
  bool AutoRun = false;  // run by the Auto command: no closing dialog
  bool Turned = false;   // pairs also match turned or mirrored (matching/match_rules.h)
  bool Gray = false;     // pairs also match by their gray grids (matching/match_rules.h)
};

class TMatchCommand {
 public:
  TMatchCommand(TMatchHost& host, TMatchOptions options) : host_(host), options_(std::move(options)) {}

  // REQUIRES: both tables open, Matches writable. Throws the conversion error of a Margin text that
  // is no integer, and any failure of the files or the tables; Matches then keeps its previous pairs.
  void Run();

 private:
  TMatchHost& host_;
  TMatchOptions options_;
};

}  // namespace velquin
