// Matching: the comparison of two signatures within the Margin, the candidate search around one Sigs
// row, the match pass that rebuilds Matches, and the review of the recorded pairs. Each operation
// works on the form through TMatchHost (matching/match_host.h).
#pragma once

#include <cstdint>
#include <string>

#include "signature/signature.h"

namespace velquin {

class TMatchHost;

// Returns true iff every Cell of b lies within margin of a: channel mode (colors) compares each
// channel's absolute difference, cell-sum mode the sum of the three. maxDiff receives the largest
// measure met (on true: of the whole pair). Symmetric in a and b.
bool SignaturesMatch(const TSignature& a, const TSignature& b, std::int32_t margin, bool colors,
                     std::int32_t& maxDiff);

// Records in Matches every row after the Sigs table's current row in BySignature order, up to the
// end of the first-value window v + FMargin, that matches it, unless the same pair with the same
// MaxDiff is there already. REQUIRES: both tables open, Sigs browsing on the row. Sigs ends on the
// same row with the same active index on every way out; the cursor ends as the default arrow.
void FindMatchesFor(TMatchHost& host);

// The Matches command's body: empties Matches and records every pair of distinct Sigs rows that
// match (File1 = the row first in BySignature order), with summary-log.txt, Velquin.INI and the
// closing dialog. Memory beyond the tables grows with the Sigs rows, never with the pairs.
void ComputeMatches(TMatchHost& host);

// The data-change handler of the pair display: shows the current pair, deleting stale rows under the
// cursor one after another in a loop (nested notifications only ask the running loop for one more
// turn), so any run of stale rows takes constant stack.
void MatchesSourceDataChange(TMatchHost& host);

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
