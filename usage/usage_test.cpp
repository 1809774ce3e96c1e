#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "usage/man_page.h"
#include "usage/program_usage.h"

namespace velquin {
namespace {

TEST(UsageTest, InfoRequestIsTheFirstBeforeTheOperands) {
  struct TCase {
    std::vector<std::string> args;
    TInfoRequest request;
  };
  for (const TCase& c :
       {TCase{{}, TInfoRequest::None}, TCase{{"folder"}, TInfoRequest::None},
        TCase{{"--help"}, TInfoRequest::Help}, TCase{{"folder", "-h"}, TInfoRequest::Help},
        TCase{{"--version", "--help"}, TInfoRequest::Version}, TCase{{"--", "--help"}, TInfoRequest::None},
        TCase{{"--helpful"}, TInfoRequest::None}}) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + " ";
    SCOPED_TRACE(joined);
    EXPECT_EQ(FindInfoRequest(c.args), c.request);
  }
}

TEST(UsageTest, WindowTakesAtMostOneFolder) {
  struct TCase {
    std::vector<std::string> args;
    std::string folder;  // "!" for a usage error
  };
  for (const TCase& c : {TCase{{}, ""}, TCase{{"photos"}, "photos"}, TCase{{"-"}, "-"},
                         TCase{{"--", "-odd name"}, "-odd name"}, TCase{{"a", "b"}, "!"},
                         TCase{{"--bogus"}, "!"}, TCase{{"photos", "--", "b"}, "!"}}) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + " ";
    SCOPED_TRACE(joined);
    if (c.folder == "!") {
      EXPECT_THROW(WindowFolder(c.args), EUsageError);
    } else {
      EXPECT_EQ(WindowFolder(c.args), c.folder);
    }
  }
}

// Every help line fits in 80 columns, unless a single word is longer.
TEST(UsageTest, HelpLinesAreWrapped) {
  std::ostringstream help;
  WriteHelp(help, CliUsage());
  WriteHelp(help, WindowUsage());
  for (const TCommandUsage& command : CliUsage().Commands) WriteCommandHelp(help, CliUsage(), command);
  std::istringstream lines(help.str());
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(line.size(), 80u) << line;
    EXPECT_TRUE(line.empty() || line.back() != ' ') << line;
  }
}

TEST(UsageTest, VersionLineNamesTheProgram) {
  std::ostringstream stream;
  WriteVersion(stream, WindowUsage());
  ASSERT_FALSE(VersionNumber().empty());
  EXPECT_EQ(stream.str(), "velquin " + std::string(VersionNumber()) + "\n");
}

// The text with each run of blanks and line breaks made one blank, as a reader takes wrapped lines.
std::string Unwrapped(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool blank = c == ' ' || c == '\n';
    if (!blank || out.empty() || out.back() != ' ') out += blank ? ' ' : c;
  }
  return out;
}

TEST(UsageTest, HelpListsEveryCommandAndEachCommandItsOptions) {
  const TProgramUsage& cli = CliUsage();
  std::ostringstream help;
  WriteHelp(help, cli);
  EXPECT_EQ(help.str().rfind("usage: velquin-cli COMMAND [ARGUMENTS...]\n", 0), 0u) << help.str();
  for (const TCommandUsage& command : cli.Commands) {
    SCOPED_TRACE(command.Name);
    EXPECT_NE(help.str().find("  " + std::string(command.Name) + " " + std::string(command.Arguments) + "  "),
              std::string::npos);
    std::ostringstream stream;
    WriteCommandHelp(stream, cli, command);
    const std::string commandHelp = stream.str();
    EXPECT_EQ(commandHelp.rfind("usage: velquin-cli " + std::string(command.Name) + " ", 0), 0u);
    EXPECT_NE(Unwrapped(commandHelp).find(command.Description), std::string::npos) << commandHelp;
    for (const TOptionUsage& option : command.Options) {
      EXPECT_NE(commandHelp.find("\n  " + std::string(option.Name)), std::string::npos) << commandHelp;
      EXPECT_NE(Unwrapped(commandHelp).find(option.Help), std::string::npos) << commandHelp;
      if (!option.Opposite.empty()) {
        EXPECT_NE(commandHelp.find(", " + std::string(option.Opposite)), std::string::npos);
      }
    }
  }
}

// roff takes a backslash or a dash for its own: the page spells them \e and \-, and no line of text
// starts with a control character.
TEST(UsageTest, ManPageEscapesWhatRoffWouldTake) {
  std::ostringstream page;
  WriteManPage(page, CliUsage());
  const std::string text = page.str();
  EXPECT_EQ(text.rfind(".TH VELQUIN\\-CLI 1 ", 0), 0u) << text;
  EXPECT_NE(text.find("\n.SS \"scan [OPTIONS] FOLDER\"\n"), std::string::npos);
  EXPECT_NE(text.find("\\fB\\-\\-margin\\fR \\fIN\\fR\n"), std::string::npos);
  EXPECT_NE(text.find("written \\e\\e, \\et, \\er and \\en"), std::string::npos);
  EXPECT_EQ(text.find("\\\\"), std::string::npos);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] != '.') continue;
    const std::string macro = line.substr(0, line.find(' '));
    EXPECT_TRUE(macro == ".TH" || macro == ".SH" || macro == ".SS" || macro == ".PP" || macro == ".TP" ||
                macro == ".B" || macro == ".BR" || macro == ".I" || macro == ".br")
        << line;
  }
}

}  // namespace
}  // namespace velquin
