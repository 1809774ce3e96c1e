// TBenchForm: a headless form over a fresh temporary Folder and AppDir, both removed with the object.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/form1.h"
#include "bench/quiet_desktop.h"

namespace velquin {

// The bytes of an 8 x 8 BMP of 24 bits, every pixel of one colour: the smallest picture a scan signs.
inline std::string SmallBmp(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  // File header (size 246, pixels at 54), then the info header: 40 bytes, 8 x 8, 1 plane, 24 bits.
  std::string bytes = {'B', 'M', static_cast<char>(246),
                       0,   0,   0,
                       0,   0,   0,
                       0,   54,  0,
                       0,   0,   40,
                       0,   0,   0,
                       8,   0,   0,
                       0,   8,   0,
                       0,   0,   1,
                       0,   24,  0};
  bytes.resize(54, '\0');
  for (int pixel = 0; pixel < 64; ++pixel) {
    bytes += static_cast<char>(blue);
    bytes += static_cast<char>(green);
    bytes += static_cast<char>(red);
  }
  return bytes;
}

class TBenchForm {
 public:
  explicit TBenchForm(const std::string& prefix)
      : Form(Desktop, MakeTempFolder(prefix + "-app")), Folder(MakeTempFolder(prefix)) {}
  ~TBenchForm() {
    Form.SigsTable.Close();
    Form.MatchesTable.Close();
    std::filesystem::remove_all(Folder);
    std::filesystem::remove_all(Form.FAppDir);
  }
  TBenchForm(const TBenchForm&) = delete;
  TBenchForm& operator=(const TBenchForm&) = delete;

  TQuietDesktop Desktop;
  TForm1 Form;
  std::string Folder;  // ends in '/'

 private:
  static std::string MakeTempFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern + "/";
  }
};

}  // namespace velquin
