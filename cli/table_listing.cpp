#include "cli/table_listing.h"

#include <iostream>

#include "tablestore/program_tables.h"

namespace velquin {

int ListTables(const std::string& folder, const std::function<void(TTable& sigs, TTable& matches)>& list) {
  try {
    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    OpenTables(sigs, matches, folder);
    list(sigs, matches);
    std::cout << std::flush;
    return 0;
  } catch (const std::exception& e) {
    std::cout << std::flush;
    std::cerr << e.what() << '\n';
    return 1;
  }
}

std::string FieldText(const TFieldValue& value) {
  return std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : std::string();
}

}  // namespace velquin
