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
#include "tablestore/table.h"

namespace velquin {
int PairsCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  return RunCliCommand("pairs", err, [&] {
    const TCliOptions options = ParseCliOptions("pairs", args);
    const std::string folder = SingleFolder(options);
    ListTables(folder, [&](TTable&, TTable& matches) {
      const std::int32_t rows = matches.RecordCount();
      if (options.Json) out << "[";
      for (std::int32_t row = 1; row <= rows; ++row) {
        const TFieldValue maxDiff = matches.ValueAt(row, "MaxDiff");
        const std::string diff = std::holds_alternative<std::int32_t>(maxDiff)
                                     ? std::to_string(std::get<std::int32_t>(maxDiff))
                                     : "0";
        const std::string file1 = FieldText(matches.ValueAt(row, "File1"));
        const std::string file2 = FieldText(matches.ValueAt(row, "File2"));
        if (options.Json) {
          out << (row > 1 ? ",\n " : "\n ") << "{\"MaxDiff\": " << diff << ", ";
          WriteJsonName(out, "File1", file1);
          out << ", ";
          WriteJsonName(out, "File2", file2);
          out << "}";
        } else {
          out << diff << '\t' << EscapeListingText(file1) << '\t' << EscapeListingText(file2) << '\n';
        }
      }
      if (options.Json) out << (rows > 0 ? "\n]\n" : "]\n");
    });
    return kExitOk;
  });
}

}  // namespace velquin
