#include "matching/pair_record.h"

#include "matching/match_host.h"
#include "platform/desktop.h"
#include "platform/file_utils.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

// The log pane keeps this many lines after a search begins; "Adding" lines may pass it until the next.
constexpr std::size_t kLogLinesKept = 30;

}  // namespace

void BeginSearch(TMatchHost& host, std::string_view fileName) {
  host.Desktop().SetCursor(TCursor::crHourGlass);
  constexpr std::string_view kStart = "Evaluating \"";
  std::string line;
  line.reserve(kStart.size() + fileName.size() + 1);
  line.append(kStart).append(fileName).append("\"");
  host.AppendLogLine(std::move(line));
  host.LimitLogLines(kLogLinesKept);
}

bool RecordPair(TMatchHost& host, std::int32_t maxDiff, const std::string& file1,
                const std::string& partnerName, const std::string& file2) {
  return RecordPair(host, host.Matches(), maxDiff, file1, partnerName, file2);
}

bool RecordPair(TMatchHost& host, TTable& matches, std::int32_t maxDiff, const std::string& file1,
                const std::string& partnerName, const std::string& file2) {
  if (host.SubfoldersChecked() && AreSameFile(file1, file2)) return false;
  matches.SetKey();
  matches.SetFieldValue("MaxDiff", maxDiff);
  matches.SetFieldValue("File1", file1);
  matches.SetFieldValue("File2", file2);
  if (matches.GotoKey()) return false;
  host.AppendLogLine("Adding \"" + partnerName + "\" (" + std::to_string(maxDiff) + ")");
  matches.Append();
  matches.SetFieldValue("MaxDiff", maxDiff);
  matches.SetFieldValue("File1", file1);
  matches.SetFieldValue("File2", file2);
  matches.Post();
  host.UpdateDBLabels();
  return true;
}

}  // namespace velquin
