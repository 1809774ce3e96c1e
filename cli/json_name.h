// File names as JSON members. Linux names are bytes, JSON texts are UTF-8: a name that is valid
// UTF-8 is written as it is (JSON-escaped); in any other name each byte that is not part of a valid
// UTF-8 sequence is shown as U+FFFD, and a second member KEY_base64 carries the raw bytes, so no
// name is lost or mistaken for another.
#pragma once

#include <ostream>
#include <string_view>

namespace velquin {

// Writes `"KEY": "NAME"`, followed by `, "KEY_base64": "..."` when `name` is not valid UTF-8.
void WriteJsonName(std::ostream& out, std::string_view key, std::string_view name);

}  // namespace velquin
