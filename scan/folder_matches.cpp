#include "scan/folder_matches.h"

#include <cstdint>
#include <string>
#include <variant>

#include "platform/file_utils.h"
#include "tablestore/notification_hold.h"
#include "tablestore/table.h"

namespace velquin {

namespace {

bool IsFileValueDirectlyIn(const TFieldValue& value, std::string_view folder) {
  const std::string* file = std::get_if<std::string>(&value);
  return file != nullptr && IsFileDirectlyIn(*file, folder);
}

// Reads the rows in place, so neither the cursor nor the listeners notice.
bool HasRowOutsideFolder(const TTable& matches, std::string_view folder) {
  const std::int32_t count = matches.RecordCount();
  for (std::int32_t recNo = 1; recNo <= count; ++recNo) {
    if (!IsFileValueDirectlyIn(matches.ValueAt(recNo, "File1"), folder) ||
        !IsFileValueDirectlyIn(matches.ValueAt(recNo, "File2"), folder)) {
      return true;
    }
  }
  return false;
}

}  // namespace

void RemoveMatchesOutsideFolder(TTable& matches, std::string_view folder) {
  if (!HasRowOutsideFolder(matches, folder)) return;
  TNotificationHold hold(matches);
  matches.First();
  while (!matches.Eof()) {
    if (IsFileDirectlyIn(matches.FieldText("File1"), folder) &&
        IsFileDirectlyIn(matches.FieldText("File2"), folder)) {
      matches.Next();
    } else {
      matches.Delete();
    }
  }
  matches.First();
  hold.Resume();
}

}  // namespace velquin
