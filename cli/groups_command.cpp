// velquin-cli groups [--json] FOLDER: the groups of copies, the keeper first in each, one member a line:
// "GROUP<TAB>MARK<TAB>FILE<TAB>WIDTH<TAB>HEIGHT<TAB>BYTES<TAB>DATE", MARK "*" for the keeper and "-"
// for the others, DATE as YYYY-MM-DD HH:MM:SS ("-" for a missing file), FILE escaped as
// EscapeListingText does. --json writes an array of {"Group", "Keeper", "File", "Format", "Width",
// "Height", "Bytes", "Date"} objects, Date null for a missing file. Nothing is moved or removed.
#include "app/copy_groups.h"
#include "app/copy_review.h"
#include "cli/cli_options.h"
#include "cli/command_line.h"
#include "cli/json_name.h"
#include "cli/listing_escape.h"
#include "cli/table_listing.h"
#include "platform/date_time.h"

namespace velquin {

int GroupsCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  return RunCliCommand("groups", err, [&] {
    const TCliOptions options = ParseCliOptions("groups", args);
    const std::string folder = SingleFolder(options);
    bool first = true;
    if (options.Json) out << "[";
    ListTable(
        folder, TListedTable::kMatches,
        [&](TTable& matches) {
          const TCopyGroups groups(ReadCopyPairs(matches));
          std::size_t number = 0;
          for (const TCopyGroup& group : groups.Groups()) {
            ++number;
            bool keeper = true;
            for (const TGroupMember& member : group.Members) {
              const std::string date = member.Exists ? DateTimeToIso(member.Date) : "";
              if (options.Json) {
                out << (first ? "\n " : ",\n ") << "{\"Group\": " << number
                    << ", \"Keeper\": " << (keeper ? "true" : "false") << ", ";
                WriteJsonName(out, "File", member.FullName);
                out << ", \"Format\": \"" << member.Format << "\", \"Width\": " << member.Width
                    << ", \"Height\": " << member.Height << ", \"Bytes\": " << member.Bytes
                    << ", \"Date\": " << (member.Exists ? "\"" + date + "\"" : "null") << "}";
              } else {
                out << number << '\t' << (keeper ? "*" : "-") << '\t' << EscapeListingText(member.FullName)
                    << '\t' << member.Width << '\t' << member.Height << '\t' << member.Bytes << '\t'
                    << (member.Exists ? date : "-") << '\n';
              }
              first = false;
              keeper = false;
            }
          }
        },
        err);
    if (options.Json) out << (first ? "]\n" : "\n]\n");
    return kExitOk;
  });
}

}  // namespace velquin
