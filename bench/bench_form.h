// TBenchForm: a headless form over a fresh temporary Folder and AppDir, both removed with the object.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/form1.h"
#include "bench/quiet_desktop.h"

namespace velquin {

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
