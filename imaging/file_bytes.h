// Reading a picture file whole, as every decoder does before it parses anything.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_utils.h"

namespace velquin {

// Returns the file's bytes; `opened`, when given, receives the stamp of the file as opened (fstat). Throws
// EDecoderError("Cannot open file "<absolute path>". <reason>") when the file cannot be opened or read,
// EOutOfResources when its bytes do not fit in memory.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path, TFileStamp* opened = nullptr);

}  // namespace velquin
