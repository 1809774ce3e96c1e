// Failures of picture memory and picture decoding. Their texts are shown to the user as they stand.
#pragma once

#include <stdexcept>
#include <string>

namespace velquin {

// Pixel memory could not be had ("Can't allocate the DIB handle").
class EOutOfResources : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A picture file could not be opened, read or decoded.
class EDecoderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace velquin
