// The subcommands of velquin-cli. Each takes the arguments after its name and returns the exit
// status: 0 on success, 1 when the command ended by an error (its text on stderr); a usage error is
// thrown as EUsageError (cli/cli_options.h).
#pragma once

#include <string>
#include <vector>

namespace velquin {

int ScanCommand(const std::vector<std::string>& args);
int MatchCommand(const std::vector<std::string>& args);
int AutoCommand(const std::vector<std::string>& args);
int PairsCommand(const std::vector<std::string>& args);
int SigsCommand(const std::vector<std::string>& args);
int ClearCommand(const std::vector<std::string>& args);

}  // namespace velquin
