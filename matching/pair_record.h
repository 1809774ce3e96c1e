// Recording one found pair in Matches, shared by the candidate search and the match pass.
#pragma once

#include <cstdint>
#include <string>

namespace velquin {

class TMatchHost;

// Unless Matches holds the key (maxDiff, file1, file2) already: logs "Adding "<partnerName>" (maxDiff)",
// appends and posts the row, and refreshes the count labels. Returns true iff a row was added.
bool RecordPair(TMatchHost& host, std::int32_t maxDiff, const std::string& file1,
                const std::string& partnerName, const std::string& file2);

// The text after which the walk for a row of first value v stops: v + margin + 1, left-padded to 4.
std::string HighKey(std::int32_t firstValue, std::int32_t margin);

}  // namespace velquin
