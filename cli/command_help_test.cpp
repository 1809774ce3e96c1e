#include <gtest/gtest.h>

#include "cli/cli_options.h"
#include "cli/command_line.h"
#include "cli/run_cli_for_test.h"
#include "usage/program_usage.h"

namespace velquin {
namespace {

// Every command of the table has a handler, and --help anywhere before "--" shows its usage alone.
TEST(CommandHelpTest, EveryCommandAnswersHelp) {
  for (const TCommandUsage& command : CliUsage().Commands) {
    const std::string name(command.Name);
    SCOPED_TRACE(name);
    for (const TCommandArgs& args : {TCommandArgs{name, "--help"}, TCommandArgs{name, "x", "-h"}}) {
      const TRun run = RunCli(args);
      EXPECT_EQ(run.Status, kExitOk);
      EXPECT_EQ(run.Err, "");
      EXPECT_EQ(run.Out.rfind("usage: velquin-cli " + name + " " + std::string(command.Arguments) + "\n", 0),
                0u)
          << run.Out;
      EXPECT_EQ(run.Out.find("commands:"), std::string::npos);
    }
  }
  // After "--" a "--help" is a FOLDER.
  const TRun run = RunCli({"sigs", "--", "--help"});
  EXPECT_EQ(run.Status, kExitFailed);
  EXPECT_EQ(run.Out, "");
}

TEST(CommandHelpTest, VersionAndHelp) {
  TRun run = RunCli({"--version"});
  EXPECT_EQ(run.Status, kExitOk);
  EXPECT_EQ(run.Out, "velquin-cli " + std::string(VersionNumber()) + "\n");
  run = RunCli({"-h"});
  EXPECT_EQ(run.Status, kExitOk);
  EXPECT_EQ(run.Out.rfind("usage: velquin-cli COMMAND", 0), 0u);
}

// The parser admits exactly what each command's table lists: every listed option and its opposite is
// read, and the options of other commands are refused.
TEST(CommandHelpTest, ParserAdmitsTheTablesOptions) {
  for (const TCommandUsage& command : CliUsage().Commands) {
    if (command.Name == "signature") continue;  // reads its FILEs itself
    SCOPED_TRACE(command.Name);
    TCommandArgs all;
    for (const TOptionUsage& option : command.Options) {
      all.emplace_back(option.Name);
      if (!option.Value.empty()) all.emplace_back("7");
      if (!option.Opposite.empty()) {
        EXPECT_NO_THROW(ParseCliOptions(command.Name, {std::string(option.Opposite)}));
      }
    }
    EXPECT_NO_THROW(ParseCliOptions(command.Name, all));
    for (const char* other : {"--margin", "--force", "--json", "--verbose", "--bogus"}) {
      if (FindOption(command, other) == nullptr) {
        EXPECT_THROW(ParseCliOptions(command.Name, {other}), EUsageError);
      }
    }
  }
  const TCliOptions options = ParseCliOptions(
      "scan", {"--margin=12", "--no-force", "--no-normalize", "--no-incremental", "--cell-sum"});
  EXPECT_EQ(options.Margin, "12");
  EXPECT_FALSE(options.Force || options.Normalize || options.IncrMatch || options.Colors);
  EXPECT_FALSE(options.Subfolders || options.Turned || options.Gray || options.AllFormats);
  const TCliOptions found = ParseCliOptions("auto", {"--subfolders", "--turned", "--gray", "--all-formats"});
  EXPECT_TRUE(found.Subfolders && found.Turned && found.Gray && found.AllFormats);
  const TCliOptions undone =
      ParseCliOptions("match", {"--subfolders", "--no-subfolders", "--turned", "--no-turned", "--gray",
                                "--no-gray", "--all-formats", "--no-all-formats"});
  EXPECT_FALSE(undone.Subfolders || undone.Turned || undone.Gray || undone.AllFormats);
  EXPECT_THROW(ParseCliOptions("scan", {"--force=yes"}), EUsageError);
  EXPECT_THROW(ParseCliOptions("scan", {"--margin"}), EUsageError);
}

}  // namespace
}  // namespace velquin
