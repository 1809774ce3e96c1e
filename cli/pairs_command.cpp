// velquin-cli pairs [--json] FOLDER: the Matches rows in index order, "MaxDiff<TAB>File1<TAB>File2"
// per line with the names escaped as EscapeListingText does, or a JSON array of
// {"MaxDiff": n, "File1": "...", "File2": "..."} with the names written by WriteJsonName. The rows
// are read without the pair display, so listing never removes a row whose files are missing.
#include "app/program_tables.h"
#include "cli/cli_options.h"
#include "cli/command_line.h"
#include "cli/json_name.h"
#include "cli/listing_escape.h"
#include "cli/table_listing.h"
#include "platform/file_utils.h"
#include "tablestore/table.h"

namespace velquin {
int PairsCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  return RunCliCommand("pairs", err, [&] {
    const TCliOptions options = ParseCliOptions("pairs", args);
    const std::string folder = SingleFolder(options);
    bool first = true;
    const bool listed = ListTable(
        folder, TListedTable::kMatches,
        [&](TTable& matches) {
          const std::int32_t rows = matches.RecordCount();
          if (options.Json) out << "[";
          for (std::int32_t row = 1; row <= rows; ++row) {
            const std::string file1 = FieldText(matches.ValueAt(row, "File1"));
            const std::string file2 = FieldText(matches.ValueAt(row, "File2"));
            // Tables read as they stand may still hold rows of the folder they were copied from; rows
            // of the folders below are a scan's with Subfolders.
            if (!IsFileWithin(file1, folder, true) || !IsFileWithin(file2, folder, true)) continue;
            const TFieldValue maxDiff = matches.ValueAt(row, "MaxDiff");
            const std::string diff = std::holds_alternative<std::int32_t>(maxDiff)
                                         ? std::to_string(std::get<std::int32_t>(maxDiff))
                                         : "0";
            if (options.Json) {
              out << (first ? "\n " : ",\n ") << "{\"MaxDiff\": " << diff << ", ";
              WriteJsonName(out, "File1", file1);
              out << ", ";
              WriteJsonName(out, "File2", file2);
              out << "}";
            } else {
              out << diff << '\t' << EscapeListingText(file1) << '\t' << EscapeListingText(file2) << '\n';
            }
            first = false;
          }
          if (options.Json) out << (first ? "]\n" : "\n]\n");
        },
        err);
    // A folder without tables has no pairs; JSON still gets its empty array.
    if (!listed && options.Json) out << "[]\n";
    return kExitOk;
  });
}

}  // namespace velquin
