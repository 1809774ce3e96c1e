// AppDir: the folder that holds the program's settings, state files and logs.
#pragma once

#include <string>

namespace velquin {

// The running executable's folder with a trailing '/', or, where that folder is not writable,
// ApplicationDirFor's fallback.
std::string ApplicationDir();

// `exeFolder` (given with a trailing '/') when it is a writable folder; otherwise
// $XDG_CONFIG_HOME/velquin/ (by default ~/.config/velquin/), created when missing. The folder is
// returned even when it cannot be created: writing there then fails with the file's own error.
std::string ApplicationDirFor(const std::string& exeFolder);

}  // namespace velquin
