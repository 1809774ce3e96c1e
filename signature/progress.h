// The progress tick of the long commands (scan, purge, picture loading, match pass) and the progress
// line it composes for the window's status line and velquin-cli's terminal.
#pragma once

#include <cstdint>
#include <string>

namespace velquin {

class TScanHost;

// Counts one item done and, on every n-th item, shows a progress line (at most ten times a second:
// composing it costs more than a tick of the match pass) and lets pending messages run. Nothing happens while
// host.FTotal is 0. REQUIRES: n >= 1. Never throws: a failure while the line is shown or messages run is
// dropped.
void UpdateProgress(TScanHost& host, std::int32_t n);

// The progress line for host's FDone, FTotal, FStartTime, FAdds, FEdits at date-time now, e.g.
// "1,000 out of 5,000 in 00:00:10 (0:0:40 to go, 100 per second) [12 adds, 0 edits]"; during the
// match pass it ends with "  <Matches rows> matches" instead.
std::string ComposeProgressLine(TScanHost& host, double now);

}  // namespace velquin
