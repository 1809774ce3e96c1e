// Never losing a posted row: a child process changes rows in a loop and reports every change
// whose call returned; it is killed with SIGKILL at random moments, and after each kill the
// tables, reopened through check and repair, must hold exactly the reported rows (the change in
// flight may have happened or not), with consistent indexes and no duplicate keys.
// Also: a second process is kept out of open tables.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "app/program_tables.h"
#include "platform/test_dir.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

// One report of the child, written to the pipe whole (shorter than PIPE_BUF).
struct Report {
  char Op;  // 'A' append, 'E' edit, 'D' delete: the change about to be made; 'K': it returned
  char Name[40];
  char NewName[40];
  char Signature[256];
};

class CrashTest : public ::testing::Test {
 protected:
  TTestDir dir_;
  const std::string folder_ = dir_.Path();
};

void Send(int fd, char op, const std::string& name, const std::string& newName,
          const std::string& signature) {
  Report report{};
  report.Op = op;
  std::strncpy(report.Name, name.c_str(), sizeof report.Name - 1);
  std::strncpy(report.NewName, newName.c_str(), sizeof report.NewName - 1);
  std::strncpy(report.Signature, signature.c_str(), sizeof report.Signature - 1);
  if (write(fd, &report, sizeof report) != static_cast<ssize_t>(sizeof report)) _exit(3);
}

[[noreturn]] void ChangeRowsForever(const std::string& folder, int fd, unsigned seed) {
  try {
    std::mt19937 random(seed);
    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    OpenTables(sigs, matches, folder);
    // Signatures of every length make rows of different sizes, which reuse each other's space.
    auto signature = [&] {
      std::string text;
      const int length = 1 + static_cast<int>(random() % 250);
      for (int i = 0; i < length; ++i) text += static_cast<char>('a' + random() % 3);
      return text;
    };
    for (int step = 0; step < 100000; ++step) {
      int what = static_cast<int>(random() % 10);
      std::int32_t count = sigs.RecordCount();
      if (count < 150 && (what < 6 || count == 0)) {
        std::string name = "s" + std::to_string(seed) + "_" + std::to_string(step);
        std::string text = signature();
        Send(fd, 'A', name, "", text);
        sigs.Append();
        sigs.SetFieldValue("FileName", name);
        sigs.SetFieldValue("FilePath", std::string("/p/"));
        sigs.SetFieldValue("Signature", text);
        sigs.Post();
        Send(fd, 'K', "", "", "");
        continue;
      }
      sigs.First();
      sigs.MoveBy(static_cast<std::int32_t>(random() % static_cast<unsigned>(count)));
      std::string name = sigs.FieldAsString("FileName");
      if (what < 8 || count >= 150) {
        Send(fd, 'D', name, "", "");
        sigs.Delete();
      } else {
        // Half the edits change the primary key as well.
        std::string newName = random() % 2 ? name : name + "r";
        std::string text = signature();
        Send(fd, 'E', name, newName, text);
        sigs.Edit();
        sigs.SetFieldValue("FileName", newName);
        sigs.SetFieldValue("Signature", text);
        sigs.Post();
      }
      Send(fd, 'K', "", "", "");
    }
  } catch (...) {
    _exit(2);
  }
  _exit(0);
}

// Reads every row of Sigs, checking that both indexes hold each row exactly once.
std::map<std::string, std::string> ReadAll(const std::string& folder) {
  TTable sigs("SigsTable");
  TTable matches("MatchesTable");
  OpenTables(sigs, matches, folder);
  std::map<std::string, std::string> rows;
  std::string last;
  for (sigs.First(); !sigs.Eof(); sigs.Next()) {
    std::string name = sigs.FieldAsString("FileName");
    EXPECT_TRUE(rows.empty() || last < name) << "primary index out of order at " << name;
    rows[name] = sigs.FieldAsString("Signature");
    last = name;
  }
  EXPECT_EQ(static_cast<std::int32_t>(rows.size()), sigs.RecordCount());
  sigs.SetIndexName("BySignature");
  std::size_t walked = 0;
  for (sigs.First(); !sigs.Eof(); sigs.Next()) {
    ++walked;
    EXPECT_EQ(rows[sigs.FieldAsString("FileName")], sigs.FieldAsString("Signature"));
  }
  EXPECT_EQ(walked, rows.size());
  return rows;
}

TEST_F(CrashTest, KilledWriterLosesNoReturnedChange) {
  {
    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    OpenTables(sigs, matches, folder_);
  }
  std::mt19937 random(7);
  std::map<std::string, std::string> model;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  int rounds = 0;
  std::size_t changes = 0;
  while (rounds < 60 && std::chrono::steady_clock::now() < deadline) {
    ++rounds;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(fds[0]);
      ChangeRowsForever(folder_, fds[1], static_cast<unsigned>(rounds));
    }
    close(fds[1]);

    Report pending{};
    bool inFlight = false;
    std::size_t madeThisRound = 0;
    auto readReport = [&] {
      Report report;
      if (read(fds[0], &report, sizeof report) != static_cast<ssize_t>(sizeof report)) return false;
      if (report.Op != 'K') {
        pending = report;
        inFlight = true;
        return true;
      }
      EXPECT_TRUE(inFlight);
      inFlight = false;
      ++madeThisRound;
      if (pending.Op == 'A') model[pending.Name] = pending.Signature;
      if (pending.Op == 'D') model.erase(pending.Name);
      if (pending.Op == 'E') {
        model.erase(pending.Name);
        model[pending.NewName] = pending.Signature;
      }
      return true;
    };
    // The kill waits for a number of returned changes rather than for a time, so every round
    // tests something however loaded the machine is; it then lands somewhere in a later change.
    const std::size_t target = 1 + random() % 40;
    while (madeThisRound < target && readReport()) {
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;
    while (readReport()) {
    }
    changes += madeThisRound;
    close(fds[0]);

    std::map<std::string, std::string> actual = ReadAll(folder_);
    std::map<std::string, std::string> expected = model;
    if (inFlight) {
      // The change in flight may have been made: accept the outcome the files show.
      std::map<std::string, std::string> done = model;
      if (pending.Op == 'A') done[pending.Name] = pending.Signature;
      if (pending.Op == 'D') done.erase(pending.Name);
      if (pending.Op == 'E') {
        done.erase(pending.Name);
        done[pending.NewName] = pending.Signature;
      }
      if (actual == done) expected = done;
    }
    ASSERT_EQ(actual, expected) << "round " << rounds << ", in flight: " << (inFlight ? pending.Op : '-')
                                << " " << pending.Name;
    model = actual;
  }
  EXPECT_GT(changes, 100u) << "too few changes were made to test anything";
  RecordProperty("rounds", rounds);
  RecordProperty("changes", static_cast<int>(changes));
}

TEST_F(CrashTest, SecondProcessIsDeniedAccess) {
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    OpenTables(sigs, matches, folder_);
    char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(3);
    if (read(release[0], &byte, 1) < 0) _exit(3);
    _exit(0);
  }
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  TTable sigs("SigsTable");
  TTable matches("MatchesTable");
  try {
    OpenTables(sigs, matches, folder_);
    FAIL() << "opened tables another process holds";
  } catch (const EStoreError& error) {
    EXPECT_EQ(error.Code, 11013);
    // Only another Velquin locks the tables, and the program's OpenTables says so.
    EXPECT_STREQ(error.what(),
                 "Tabrix Engine Error # 11013 Access denied to table 'Sigs' (another Velquin is using this "
                 "folder)");
  }
  EXPECT_FALSE(sigs.Active());
  EXPECT_FALSE(matches.Active());
  ASSERT_EQ(write(release[1], &byte, 1), 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  OpenTables(sigs, matches, folder_);
  EXPECT_TRUE(sigs.Active());
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

}  // namespace
}  // namespace velquin
