// Test fixtures for the form: a desktop that records what the form asks of it, tiny BMP files, and
// a form over a fresh AppDir and picture folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "app/form1.h"
#include "gtest/gtest.h"
#include "platform/desktop.h"
#include "platform/test_dir.h"

namespace velquin {

class TRecordingDesktop : public TDesktop {
 public:
  void ProcessMessages() override {
    ++MessageRuns;
    if (OnMessages) OnMessages();
  }
  TCursor Cursor() const override { return CursorNow; }
  void SetCursor(TCursor cursor) override { CursorNow = cursor; }
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
  void ShowError(const std::string& text) override { Errors.push_back(text); }
  TTrashedFile RecycleFile(const std::string& path) override;
  void RestoreFile(const TTrashedFile& entry) override { RestoreTrashedFile(entry); }
  void ShellOpen(const std::string& path) override { Opened.push_back(path); }

  int MessageRuns = 0;
  std::function<void()> OnMessages;
  TCursor CursorNow = TCursor::crDefault;
  std::vector<std::string> Messages;
  std::vector<std::string> Errors;
  // Every path the form asked to recycle, moved or not.
  std::vector<std::string> Recycled;
  // When set, recycling fails with this reason and the file stays.
  std::string RecycleFailure;
  // When set, recycling moves the file into the real trash (point it elsewhere with TTestTrash);
  // else the file is deleted.
  bool RealTrash = false;
  std::vector<std::string> Opened;
};

// Writes a width x height 24-bit BMP whose pixel (x, y) is color(x, y) as 0xRRGGBB.
void WriteBmp(const std::string& path, std::int32_t width, std::int32_t height,
              const std::function<std::uint32_t(std::int32_t x, std::int32_t y)>& color);
// A BMP of one colour.
void WriteBmp(const std::string& path, std::int32_t width, std::int32_t height, std::uint32_t rgb);

// Sets the file's last-write time to the given seconds since the epoch.
void SetFileTime(const std::string& path, std::int64_t seconds);

// The text of a Signature whose every cell holds level in each channel.
std::string GraySignature(std::int32_t level);

// What a folder holds: each entry's name with its size, last-write time and inode, so that a file
// written, replaced, created or removed shows.
using TListing =
    std::map<std::string, std::tuple<std::uintmax_t, std::filesystem::file_time_type, std::uint64_t>>;
TListing ListingOf(const std::string& folder);

class FormTest : public ::testing::Test {
 public:
  FormTest();
  ~FormTest() override;

  // Chooses the picture folder (running DirEditChange) and fails the test on an error report.
  void ChooseFolder();
  // The Signatures or Matches command; returns the closing dialog's text ("" when none).
  std::string Scan();
  std::string MatchPass();
  // Appends a Sigs row directly.
  void AddSigsRow(const std::string& name, const std::string& folder, const std::string& signature);
  // Appends a Matches row directly.
  void AddMatchRow(std::int32_t maxDiff, const std::string& file1, const std::string& file2);
  // The Matches rows in index order as "MaxDiff|File1|File2".
  std::vector<std::string> MatchRows();
  // The Sigs rows' FileName in primary order.
  std::vector<std::string> SigsNames();

  TTestDir AppDir;
  TTestDir Pictures;
  TRecordingDesktop Desktop;
  TForm1 Form;
};

}  // namespace velquin
