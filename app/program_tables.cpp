#include "app/program_tables.h"

#include "tablestore/store_exceptions.h"

namespace velquin {
namespace {

// One table of OpenTables: close, bind to the folder, create when missing, check and repair, open.
void OpenOne(TTable& table, const std::string& folder, const char* tableName, void (*schema)(TTable&)) {
  table.Close();
  table.DatabaseName = folder;
  table.TableName = tableName;
  schema(table);
  if (table.Exists()) {
    // Tables made before names could be this long are widened once, keeping their rows.
    table.WidenTextFields();
  } else {
    table.CreateTable();
  }
  table.CheckAndRepair(false);
  table.Open();
}

}  // namespace

void SetSigsSchema(TTable& sigs) {
  sigs.Close();
  sigs.FieldDefs = {
      {"FileName", TFieldType::ftString, kMaxFileNameBytes, false},
      {"FilePath", TFieldType::ftString, kMaxPathBytes, false},
      {"FileDate", TFieldType::ftDateTime, 0, false},
      {"Signature", TFieldType::ftString, 250, false},
  };
  sigs.IndexDefs = {
      {"", "FileName;FilePath", ixPrimary | ixUnique},
      {"BySignature", "Signature", 0},
  };
}

void SetMatchesSchema(TTable& matches) {
  matches.Close();
  matches.FieldDefs = {
      {"MaxDiff", TFieldType::ftInteger, 0, false},
      {"File1", TFieldType::ftString, kMaxPathBytes, false},
      {"File2", TFieldType::ftString, kMaxPathBytes, false},
  };
  matches.IndexDefs = {
      {"", "MaxDiff;File1;File2", ixPrimary | ixUnique},
  };
}

void OpenTables(TTable& sigs, TTable& matches, const std::string& folderText) {
  std::string folder = folderText.substr(0, folderText.find_last_of('/') + 1);
  try {
    OpenOne(sigs, folder, "Sigs.Dat", SetSigsSchema);
    OpenOne(matches, folder, "Matches.Dat", SetMatchesSchema);
  } catch (const ETableLocked& error) {
    throw EStoreError(error.Code, error.Text + " (another Velquin is using this folder)");
  }
}

}  // namespace velquin
