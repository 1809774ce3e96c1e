// TFaultFileSystem: the file system of the power-loss tests. It passes every change on to the
// operating system and remembers what is not yet durable; PowerLoss() then leaves the files as a
// disk may hold them after the power failed:
//   - of every write since its file's last sync, each 512-byte sector is kept or lost at random,
//     so writes are dropped, torn and reordered; an unsynced truncation is kept or lost;
//   - the creations, renames and removals made since their folder's last sync are undone from a
//     random one on: a journal keeps them in order, and loses a tail of them.
// The crash comes at a chosen change: that change throws TPowerLoss instead of happening, and every
// later change is ignored, as the store's objects close on the way out.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tablestore/file_system.h"

namespace velquin::store {

// Thrown where the power fails; deliberately no std::exception, so that nothing catches it on
// the way out.
struct TPowerLoss {};

class TFaultFileSystem final : public TFileSystem {
 public:
  // `keepFolder` (ending in '/', on the same file system as the tables, outside their folder)
  // holds the files that removals and renames replaced, until a power loss brings them back.
  TFaultFileSystem(std::string keepFolder, std::uint32_t seed);

  // Change number `change` (counted from 1; 0: never) is where the power fails.
  void FailAt(std::uint64_t change) { failAt_ = change; }
  std::uint64_t Changes() const { return changes_; }
  // True when the file at `path`, its contents and its name, would survive a power loss now.
  bool Durable(const std::string& path) const;
  // Loses what a power loss loses, then works on as a freshly started machine.
  void PowerLoss();

  int Open(const std::string& path, int flags, mode_t mode) override;
  int Close(int fd) override;
  ssize_t WriteAt(int fd, const void* buffer, std::size_t length, off_t offset) override;
  int Truncate(int fd, off_t size) override;
  int SyncData(int fd) override;
  int Rename(const std::string& from, const std::string& to) override;
  int Unlink(const std::string& path) override;
  int SyncFolder(const std::string& folder) override;

 private:
  // A change of a file's contents: a write of `after` at `offset`, or a truncation to `newSize`;
  // `before` is what the bytes it covered held, `sizeBefore` the file's size.
  struct TContentChange {
    bool Truncation = false;
    off_t Offset = 0;
    off_t NewSize = 0;
    off_t SizeBefore = 0;
    std::string Before;
    std::string After;
  };
  // A change of a folder's entries; `kept` is where the file it removed or replaced now lies.
  struct TEntryChange {
    enum class TKind { kCreate, kRename, kUnlink } Kind;
    std::string Path;
    std::string Target;
    std::string Kept;
  };

  // Counts a change; false once the power failed (the change is then ignored).
  bool Step();
  // Links the file at `path`, if any, into the keep folder; returns the kept name or "".
  std::string Keep(const std::string& path);
  void LoseContents(const std::string& path, const std::vector<TContentChange>& changes);

  std::string keepFolder_;
  std::mt19937 random_;
  std::uint64_t changes_ = 0;
  std::uint64_t failAt_ = 0;
  bool failed_ = false;
  int keptFiles_ = 0;
  std::map<int, ino_t> inodeOf_;                           // open descriptors
  std::map<ino_t, std::string> pathOf_;                    // where each file seen lies now
  std::map<ino_t, std::vector<TContentChange>> unsynced_;  // since each file's last sync
  std::vector<TEntryChange> entries_;                      // since their folder's last sync
};

}  // namespace velquin::store
