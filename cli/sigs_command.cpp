// velquin-cli sigs FOLDER: the Sigs rows in primary-index order,
// "FileName<TAB>FilePath<TAB>YYYY-MM-DD HH:MM:SS<TAB>Signature" per line, the names escaped as
// EscapeListingText does.
#include "cli/cli_options.h"
#include "cli/command_line.h"
#include "cli/listing_escape.h"
#include "cli/table_listing.h"
#include "platform/date_time.h"
#include "tablestore/table.h"

namespace velquin {

int SigsCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  return RunCliCommand("sigs", err, [&] {
    const TCliOptions options = ParseCliOptions("sigs", args);
    const std::string folder = SingleFolder(options);
    ListTable(
        folder, TListedTable::kSigs,
        [&](TTable& sigs) {
          const std::int32_t rows = sigs.RecordCount();
          for (std::int32_t row = 1; row <= rows; ++row) {
            const TFieldValue date = sigs.ValueAt(row, "FileDate");
            out << EscapeListingText(FieldText(sigs.ValueAt(row, "FileName"))) << '\t'
                << EscapeListingText(FieldText(sigs.ValueAt(row, "FilePath"))) << '\t'
                << DateTimeToIso(std::holds_alternative<double>(date) ? std::get<double>(date) : 0.0) << '\t'
                << FieldText(sigs.ValueAt(row, "Signature")) << '\n';
          }
        },
        err);
    return kExitOk;
  });
}

}  // namespace velquin
