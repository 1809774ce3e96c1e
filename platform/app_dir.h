// AppDir: the folder that holds the program's settings, state files and logs.
#pragma once

#include <string>

namespace velquin {

// ApplicationDirFor the running executable's folder and the build tree this program was compiled in.
std::string ApplicationDir();

// `exeFolder` (given with a trailing '/') when it lies inside `buildTree` (a developer's build, started
// where it was built) and is a writable folder; otherwise $XDG_CONFIG_HOME/velquin/ (by default
// ~/.config/velquin/), created when missing. An installed program thus never writes beside its
// executable, even when run as root. The folder is returned even when it cannot be created: writing
// there then fails with the file's own error.
std::string ApplicationDirFor(const std::string& exeFolder, const std::string& buildTree);

}  // namespace velquin
