// The steps on the form that every candidate search takes, the walk of one row along the table's
// index and the match pass's search on the engine alike: its log line, and recording a found pair.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velquin {

class TMatchHost;
class TTable;

// Sets the hourglass, logs "Evaluating "<fileName>"" and trims the log pane to its last 30 lines.
void BeginSearch(TMatchHost& host, std::string_view fileName);

// Unless Matches holds the key (maxDiff, file1, file2) already, or with Subfolders the two are names of
// one file (AreSameFile): logs "Adding "<partnerName>" (maxDiff)",
// appends and posts the row, and refreshes the count labels. Returns true iff a row was added.
bool RecordPair(TMatchHost& host, std::int32_t maxDiff, const std::string& file1,
                const std::string& partnerName, const std::string& file2);
// As above, into `matches` instead of the host's Matches: the table a match pass fills on the side.
bool RecordPair(TMatchHost& host, TTable& matches, std::int32_t maxDiff, const std::string& file1,
                const std::string& partnerName, const std::string& file2);

}  // namespace velquin
