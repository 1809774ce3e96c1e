// velquin-cli pairs [--json] FOLDER: the Matches rows in index order, "MaxDiff<TAB>File1<TAB>File2"
// per line, or a JSON array of {"MaxDiff": n, "File1": "...", "File2": "..."}. The rows are read
// without the pair display, so listing never removes a stale row.
#include "cli/cli_options.h"
#include "cli/command_line.h"
#include "cli/table_listing.h"
#include "tablestore/program_tables.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      static const char* const kHex = "0123456789abcdef";
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

int PairsCommand(const TCommandArgs& args, std::ostream& out, std::ostream& err) {
  return RunCliCommand("pairs", err, [&] {
    const TCliOptions options = ParseCliOptions(args, false, true);
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
          out << (row > 1 ? ",\n " : "\n ") << "{\"MaxDiff\": " << diff
              << ", \"File1\": " << JsonString(file1) << ", \"File2\": " << JsonString(file2) << "}";
        } else {
          out << diff << '\t' << file1 << '\t' << file2 << '\n';
        }
      }
      if (options.Json) out << (rows > 0 ? "\n]\n" : "]\n");
    });
    return kExitOk;
  });
}

}  // namespace velquin
