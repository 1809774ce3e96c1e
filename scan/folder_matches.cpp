#include "scan/folder_matches.h"

#include <cstdint>
#include <string>
#include <variant>

#include "platform/file_utils.h"
#include "tablestore/notification_hold.h"
#include "tablestore/table.h"

namespace velquin {

namespace {

bool IsFileValueWithin(const TFieldValue& value, std::string_view folder, bool below) {
  const std::string* file = std::get_if<std::string>(&value);
  return file != nullptr && IsFileWithin(*file, folder, below);
}

// Reads the rows in place, so neither the cursor nor the listeners notice.
bool HasRowOutsideFolder(const TTable& matches, std::string_view folder, bool below) {
  const std::int32_t count = matches.RecordCount();
  for (std::int32_t recNo = 1; recNo <= count; ++recNo) {
    if (!IsFileValueWithin(matches.ValueAt(recNo, "File1"), folder, below) ||
        !IsFileValueWithin(matches.ValueAt(recNo, "File2"), folder, below)) {
      return true;
    }
  }
  return false;
}

}  // namespace

void RemoveMatchesOutsideFolder(TTable& matches, std::string_view folder, bool below) {
  if (!HasRowOutsideFolder(matches, folder, below)) return;
  TNotificationHold hold(matches);
  matches.First();
  while (!matches.Eof()) {
    if (IsFileWithin(matches.FieldText("File1"), folder, below) &&
        IsFileWithin(matches.FieldText("File2"), folder, below)) {
      matches.Next();
    } else {
      matches.Delete();
    }
  }
  matches.First();
  hold.Resume();
}

}  // namespace velquin
