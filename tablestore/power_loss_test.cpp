// Power loss at any moment: a fault-injecting file system under the store drops, tears and
// reorders every write not yet synced and undoes the folder changes not yet synced. Each trial
// makes tables (sometimes an older, narrower Sigs that the open widens), changes rows, and loses
// the power at a random change; then the tables must open, every row as a sync point left it must
// be there (or as a later change left it), nothing else, and the indexes must agree with the rows.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/program_tables.h"
#include "platform/test_dir.h"
#include "tablestore/durability.h"
#include "tablestore/fault_file_system.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

using store::SyncPolicy;
using store::TFaultFileSystem;
using store::TFileSystem;
using store::TPowerLoss;
using store::TSyncPolicy;
using namespace std::chrono_literals;

using TSigKey = std::pair<std::string, std::string>;  // FileName, FilePath
struct TSig {
  double Date = 0;
  std::string Signature;
  bool operator==(const TSig&) const = default;
};
using TPair = std::tuple<std::int32_t, std::string, std::string>;  // MaxDiff, File1, File2

// The folder of the tables and, beside it, the fault file system's keep folder; the file system is
// the store's for the object's life, with the sync policy it set.
class TPowerRig {
 public:
  explicit TPowerRig(std::uint32_t seed) : files_(dir_.Path() + "kept/", seed), saved_(SyncPolicy()) {
    ::mkdir(folder_.c_str(), 0755);
    ::mkdir((dir_.Path() + "kept").c_str(), 0755);
    TFileSystem::Install(&files_);
  }
  ~TPowerRig() {
    TFileSystem::Install(nullptr);
    SyncPolicy() = saved_;
  }
  TPowerRig(const TPowerRig&) = delete;
  TPowerRig& operator=(const TPowerRig&) = delete;

  TFaultFileSystem& Files() { return files_; }
  const std::string& Folder() const { return folder_; }
  bool SigsDurable() const { return files_.Durable(folder_ + "Sigs.DAT"); }

 private:
  TTestDir dir_;
  std::string folder_ = dir_.Path() + "tables/";
  TFaultFileSystem files_;
  TSyncPolicy saved_;
};

// Every version each Sigs row had, numbered by the change that made it, and the last change a
// sync point made durable.
class TPosted {
 public:
  // Called before the change is made: the power may fail while it is made.
  void Record(const TSigKey& key, std::optional<TSig> version) {
    history_[key].push_back({++changes_, std::move(version)});
  }
  void MarkDurable() { durableAt_ = changes_; }
  std::uint64_t SinceDurable() const { return changes_ - durableAt_; }
  const std::map<TSigKey, std::vector<std::pair<std::uint64_t, std::optional<TSig>>>>& History() const {
    return history_;
  }
  // The versions `key` may come back as: the one it had at the last durable change, or a later
  // one (nullopt: no row).
  std::vector<std::optional<TSig>> Allowed(const TSigKey& key) const {
    std::vector<std::optional<TSig>> allowed(1);
    for (const auto& [change, version] : history_.at(key)) {
      if (change <= durableAt_) {
        allowed.front() = version;
      } else {
        allowed.push_back(version);
      }
    }
    return allowed;
  }

 private:
  std::map<TSigKey, std::vector<std::pair<std::uint64_t, std::optional<TSig>>>> history_;
  std::uint64_t changes_ = 0;
  std::uint64_t durableAt_ = 0;
};

class TTrial {
 public:
  TTrial(TPowerRig& rig, std::uint32_t seed) : rig_(rig), random_(seed) {}

  TPosted& Posted() { return posted_; }
  const std::set<TPair>& Pairs() const { return pairs_; }

  // Runs the changes of the trial; the power may fail anywhere in them.
  void Run() {
    if (random_() % 3 == 0) MakeNarrowSigs();
    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    OpenTables(sigs, matches, rig_.Folder());
    Settled();
    const int steps = 20 + static_cast<int>(random_() % 50);
    for (int step = 0; step < steps; ++step) {
      const unsigned what = random_() % 20;
      if (what < 9 || sigs.RecordCount() == 0) {
        Append(sigs, TSigKey{"f" + std::to_string(next_++) + ".jpg", random_() % 2 ? "/p/" : "/q/"});
      } else if (what < 14) {
        Edit(sigs);
      } else if (what < 18) {
        Delete(sigs);
      } else if (what < 19) {
        RedoMatches(matches);
      } else {
        sigs.Sync();
      }
      Settled();
    }
    sigs.Close();
    matches.Close();
    Settled();
  }

 private:
  TSig NewSig() {
    TSig sig;
    sig.Date = 40000 + static_cast<double>(random_() % 4000) * 0.25;
    const int length = 1 + static_cast<int>(random_() % 200);
    for (int i = 0; i < length; ++i) sig.Signature += static_cast<char>('a' + random_() % 4);
    return sig;
  }

  // After every change that returned: what is durable now stays.
  void Settled() {
    if (rig_.SigsDurable()) posted_.MarkDurable();
  }

  // A Sigs table as an older program made it, with shorter texts: the open widens it.
  void MakeNarrowSigs() {
    TTable sigs("SigsTable");
    SetSigsSchema(sigs);
    for (TFieldDef& field : sigs.FieldDefs) {
      if (field.DataType == TFieldType::ftString) field.Size = 200;
    }
    sigs.DatabaseName = rig_.Folder();
    sigs.TableName = "Sigs.Dat";
    sigs.CreateTable();
    sigs.Open();
    const int rows = 1 + static_cast<int>(random_() % 20);
    for (int i = 0; i < rows; ++i) {
      Append(sigs, TSigKey{"old" + std::to_string(i) + ".jpg", "/p/"});
      Settled();
    }
    sigs.Close();
    Settled();
  }

  void Append(TTable& sigs, const TSigKey& key) {
    const TSig sig = NewSig();
    posted_.Record(key, sig);
    sigs.Append();
    sigs.SetFieldValue("FileName", key.first);
    sigs.SetFieldValue("FilePath", key.second);
    sigs.SetFieldValue("FileDate", sig.Date);
    sigs.SetFieldValue("Signature", sig.Signature);
    sigs.Post();
  }

  void GoToSome(TTable& sigs) {
    sigs.First();
    sigs.MoveBy(static_cast<std::int32_t>(random_() % static_cast<unsigned>(sigs.RecordCount())));
  }

  void Edit(TTable& sigs) {
    GoToSome(sigs);
    const TSigKey key{sigs.FieldAsString("FileName"), sigs.FieldAsString("FilePath")};
    const TSig sig = NewSig();
    posted_.Record(key, sig);
    sigs.Edit();
    sigs.SetFieldValue("FileDate", sig.Date);
    sigs.SetFieldValue("Signature", sig.Signature);
    sigs.Post();
  }

  void Delete(TTable& sigs) {
    GoToSome(sigs);
    posted_.Record(TSigKey{sigs.FieldAsString("FileName"), sigs.FieldAsString("FilePath")}, std::nullopt);
    sigs.Delete();
  }

  // As the match pass does: every pair goes, new ones come.
  void RedoMatches(TTable& matches) {
    matches.EmptyTable();
    const int count = static_cast<int>(random_() % 4);
    for (int i = 0; i < count; ++i) {
      const TPair pair{static_cast<std::int32_t>(random_() % 50), "/p/f" + std::to_string(random_() % 30),
                       "/q/f" + std::to_string(random_() % 30)};
      if (!pairs_.insert(pair).second) continue;
      matches.Append();
      matches.SetFieldValue("MaxDiff", std::get<0>(pair));
      matches.SetFieldValue("File1", std::get<1>(pair));
      matches.SetFieldValue("File2", std::get<2>(pair));
      matches.Post();
    }
  }

  TPowerRig& rig_;
  std::mt19937 random_;
  TPosted posted_;
  std::set<TPair> pairs_;
  int next_ = 0;
};

std::string Describe(const std::optional<TSig>& sig) {
  return sig ? std::to_string(sig->Date) + " " + sig->Signature : "(no row)";
}

// Opens the tables after the power loss and checks them against what was posted.
void CheckRecovered(const std::string& folder, const TPosted& posted, const std::set<TPair>& pairs) {
  TTable sigs("SigsTable");
  TTable matches("MatchesTable");
  ASSERT_NO_THROW(OpenTables(sigs, matches, folder));

  std::map<TSigKey, TSig> found;
  std::optional<TSigKey> previous;
  for (sigs.First(); !sigs.Eof(); sigs.Next()) {
    const TSigKey key{sigs.FieldAsString("FileName"), sigs.FieldAsString("FilePath")};
    if (previous) {
      ASSERT_LT(*previous, key) << "primary index out of order";
    }
    previous = key;
    found[key] = TSig{sigs.FieldAsDateTime("FileDate"), sigs.FieldAsString("Signature")};
  }
  EXPECT_EQ(static_cast<std::size_t>(sigs.RecordCount()), found.size());
  sigs.SetIndexName("BySignature");
  std::set<TSigKey> bySignature;
  std::string lastSignature;
  for (sigs.First(); !sigs.Eof(); sigs.Next()) {
    const std::string signature = sigs.FieldAsString("Signature");
    ASSERT_LE(lastSignature, signature) << "BySignature out of order";
    lastSignature = signature;
    bySignature.insert({sigs.FieldAsString("FileName"), sigs.FieldAsString("FilePath")});
  }
  std::set<TSigKey> primary;
  for (const auto& [key, sig] : found) primary.insert(key);
  EXPECT_EQ(bySignature, primary) << "the indexes disagree";

  for (const auto& [key, versions] : posted.History()) {
    const auto allowed = posted.Allowed(key);
    const auto it = found.find(key);
    const std::optional<TSig> actual = it == found.end() ? std::nullopt : std::optional<TSig>(it->second);
    EXPECT_NE(std::find(allowed.begin(), allowed.end(), actual), allowed.end())
        << key.first << " came back as " << Describe(actual)
        << "; as the last sync point left it: " << Describe(allowed.front());
  }
  for (const auto& [key, sig] : found) {
    EXPECT_TRUE(posted.History().count(key)) << "invented row " << key.first << key.second;
  }

  std::optional<TPair> last;
  std::int32_t rows = 0;
  for (matches.First(); !matches.Eof(); matches.Next(), ++rows) {
    const TPair pair{matches.FieldAsInteger("MaxDiff"), matches.FieldAsString("File1"),
                     matches.FieldAsString("File2")};
    EXPECT_TRUE(pairs.count(pair)) << "invented pair " << std::get<1>(pair) << " " << std::get<2>(pair);
    if (last) {
      EXPECT_LT(*last, pair) << "Matches index out of order";
    }
    last = pair;
  }
  EXPECT_EQ(matches.RecordCount(), rows);
}

TEST(PowerLossTest, EveryTrialKeepsWhatTheLastSyncPointMadeDurable) {
  constexpr std::uint32_t kTrials = 1000;
  std::uint32_t cutShort = 0;
  for (std::uint32_t seed = 1; seed <= kTrials; ++seed) {
    SCOPED_TRACE("trial " + std::to_string(seed));
    TPowerRig rig(seed);
    std::mt19937 random(seed * 7919u);
    // Sync points by count in most trials, by time (each change) in the others.
    const bool byTime = random() % 4 == 0;
    SyncPolicy() = TSyncPolicy{true, byTime ? 1000000u : 1 + static_cast<std::uint32_t>(random() % 16),
                               byTime ? 0ms : std::chrono::milliseconds(3600000)};
    rig.Files().FailAt(1 + random() % 400);
    TTrial trial(rig, seed);
    try {
      trial.Run();
    } catch (const TPowerLoss&) {
      ++cutShort;
    }
    EXPECT_LE(trial.Posted().SinceDurable(), byTime ? 1u : SyncPolicy().MaxChanges);
    rig.Files().PowerLoss();
    CheckRecovered(rig.Folder(), trial.Posted(), trial.Pairs());
    if (::testing::Test::HasFailure()) break;
  }
  // Most trials lose the power before their end, so the crash points cover the whole run.
  EXPECT_GT(cutShort, kTrials / 2);
}

// When a table's changes become durable: at the MaxChanges-th change, at the first change once
// MaxDelay passed, at TTable::Sync and at close.
TEST(PowerLossTest, SyncPointsFallWhereThePolicySays) {
  struct TCase {
    const char* Name;
    std::uint32_t MaxChanges;
    std::chrono::milliseconds MaxDelay;
    int Posts;
    bool SyncCall;
    bool DurableAfter;
  };
  const TCase cases[] = {
      {"below the change count", 5, 3600000ms, 4, false, false},
      {"at the change count", 5, 3600000ms, 5, false, true},
      {"a delay passed", 1000, 0ms, 1, false, true},
      {"an explicit sync", 1000, 3600000ms, 3, true, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPowerRig rig(1);
    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    OpenTables(sigs, matches, rig.Folder());
    SyncPolicy() = TSyncPolicy{true, c.MaxChanges, c.MaxDelay};
    for (int i = 0; i < c.Posts; ++i) {
      sigs.Append();
      sigs.SetFieldValue("FileName", "f" + std::to_string(i));
      sigs.SetFieldValue("FilePath", std::string("/p/"));
      sigs.Post();
    }
    if (c.SyncCall) sigs.Sync();
    EXPECT_EQ(rig.SigsDurable(), c.DurableAfter);
    sigs.Close();
    EXPECT_TRUE(rig.SigsDurable()) << "after close";
  }
}

}  // namespace
}  // namespace velquin
