// The table store against SQLite on the Sigs workload, side by side in one run: append and post
// 100,000 rows, 100,000 exact key searches on the primary index, one full walk in BySignature
// order reading every field, 50,000 deletions by key; then the file sizes, and the time to open
// the 100,000-row folder (check and repair included) against the time to append the rows.
// Run twice: with the store's sync points off against SQLite in WAL mode with synchronous=OFF,
// every statement its own transaction, since a post is final when it returns; and with the sync
// points on (a flush every 1,000 changes) against SQLite in WAL mode with synchronous=NORMAL
// committing every 1,000 statements, the same commit rate.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/program_tables.h"
#include "tablestore/durability.h"
#include "tablestore/table.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 100000;
constexpr int kDeletes = 50000;

struct SigRow {
  std::string Name;
  std::string Path;
  double Date;
  std::string Signature;
};

std::vector<SigRow> MakeRows() {
  std::mt19937 random(20261210);
  const char* folders[] = {"/home/anna/Pictures/", "/home/anna/Pictures/Holidays 2019/",
                           "/home/anna/Pictures/Phone backup/DCIM/Camera/", "/media/usb/Photos/Family/",
                           "/home/anna/Pictures/Scans/"};
  const char* stems[] = {"IMG_", "DSC", "P", "Scan ", "Photo "};
  std::vector<SigRow> rows;
  rows.reserve(kRows);
  std::vector<bool> used(10000000, false);
  while (static_cast<int>(rows.size()) < kRows) {
    int number = static_cast<int>(random() % 10000000);
    if (used[static_cast<std::size_t>(number)]) continue;
    used[static_cast<std::size_t>(number)] = true;
    SigRow row;
    char name[64];
    std::snprintf(name, sizeof name, "%s%07d.%s", stems[random() % 5], number, random() % 4 ? "jpg" : "JPG");
    row.Name = name;
    row.Path = folders[random() % 5];
    row.Date = 40000.0 + (random() % 5000000) / 1000.0;
    for (int cell = 0; cell < 48; ++cell) {
      char value[8];
      std::snprintf(value, sizeof value, "%04u", static_cast<unsigned>(random() % 256));
      row.Signature += value;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Processor time of this process, user and system: unlike the elapsed time it does not grow when
// other programs compete for the processors.
double ProcessorSeconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "tablestore-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  return pattern + "/";
}

struct Times {
  double Append = 0, Open = 0, Search = 0, Walk = 0, Delete = 0;
  double AppendCpu = 0, SearchCpu = 0, WalkCpu = 0, DeleteCpu = 0;
  std::uintmax_t Bytes = 0;
};

// Each engine runs the workload step by step; the steps of the two engines alternate, so that a
// change in the machine's load between steps hits both alike.
class StoreRun {
 public:
  explicit StoreRun(const std::vector<SigRow>& rows) : rows_(rows), folder_(TempFolder()) {
    velquin::OpenTables(sigs_, matches_, folder_);
  }
  ~StoreRun() { fs::remove_all(folder_); }

  void Append() {
    for (const SigRow& row : rows_) {
      sigs_.Append();
      sigs_.SetFieldValue("FileName", row.Name);
      sigs_.SetFieldValue("FilePath", row.Path);
      sigs_.SetFieldValue("FileDate", row.Date);
      sigs_.SetFieldValue("Signature", row.Signature);
      sigs_.Post();
    }
  }
  // Closes the folder's tables, then times opening them again.
  double Reopen() {
    sigs_.Close();
    matches_.Close();
    auto start = Clock::now();
    velquin::OpenTables(sigs_, matches_, folder_);
    return Seconds(start);
  }
  void Search() {
    double sum = 0;
    for (const SigRow& row : rows_) {
      Find(row);
      sum += sigs_.FieldAsDateTime("FileDate") + static_cast<double>(sigs_.FieldAsString("Signature").size());
    }
    benchmark::DoNotOptimize(sum);
  }
  void Walk() {
    sigs_.SetIndexName("BySignature");
    std::size_t bytes = 0;
    double sum = 0;
    for (sigs_.First(); !sigs_.Eof(); sigs_.Next()) {
      bytes += sigs_.FieldAsString("FileName").size() + sigs_.FieldAsString("FilePath").size() +
               sigs_.FieldAsString("Signature").size();
      sum += sigs_.FieldAsDateTime("FileDate");
    }
    benchmark::DoNotOptimize(bytes);
    benchmark::DoNotOptimize(sum);
    sigs_.SetIndexName("");
  }
  void Delete() {
    for (int i = 0; i < kDeletes; ++i) {
      Find(rows_[static_cast<std::size_t>(i) * 2]);
      sigs_.Delete();
    }
  }
  std::uintmax_t Bytes() {
    sigs_.Close();
    matches_.Close();
    return fs::file_size(folder_ + "Sigs.DAT") + fs::file_size(folder_ + "Sigs.IDX");
  }

 private:
  void Find(const SigRow& row) {
    sigs_.SetKey();
    sigs_.SetFieldValue("FileName", row.Name);
    sigs_.SetFieldValue("FilePath", row.Path);
    if (!sigs_.GotoKey()) throw std::runtime_error("store: row not found");
  }
  const std::vector<SigRow>& rows_;
  std::string folder_;
  velquin::TTable sigs_{"SigsTable"};
  velquin::TTable matches_{"MatchesTable"};
};

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) throw std::runtime_error(sqlite3_errmsg(db));
}

class SqliteRun {
 public:
  // commitEvery: 0 for a transaction per statement and synchronous=OFF; else synchronous=NORMAL
  // and a commit every that many changes.
  SqliteRun(const std::vector<SigRow>& rows, int commitEvery)
      : rows_(rows), folder_(TempFolder()), commitEvery_(commitEvery) {
    path_ = folder_ + "sigs.db";
    Check(sqlite3_open(path_.c_str(), &db_), db_);
    Check(sqlite3_exec(db_,
                       commitEvery ? "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                                   : "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;",
                       nullptr, nullptr, nullptr),
          db_);
    Check(sqlite3_exec(db_,
                       "CREATE TABLE Sigs(FileName TEXT, FilePath TEXT, FileDate REAL, Signature TEXT,"
                       " PRIMARY KEY(FileName, FilePath));"
                       "CREATE INDEX BySignature ON Sigs(Signature);",
                       nullptr, nullptr, nullptr),
          db_);
  }
  ~SqliteRun() {
    if (db_) sqlite3_close(db_);
    fs::remove_all(folder_);
  }

  void Append() {
    sqlite3_stmt* insert = Prepare("INSERT INTO Sigs VALUES(?, ?, ?, ?)");
    for (const SigRow& row : rows_) {
      Text(insert, 1, row.Name);
      Text(insert, 2, row.Path);
      sqlite3_bind_double(insert, 3, row.Date);
      Text(insert, 4, row.Signature);
      Check(sqlite3_step(insert), db_);
      sqlite3_reset(insert);
      Changed();
    }
    Commit();
    sqlite3_finalize(insert);
  }
  void Search() {
    sqlite3_stmt* select =
        Prepare("SELECT FileDate, Signature FROM Sigs WHERE FileName = ? AND FilePath = ?");
    double sum = 0;
    for (const SigRow& row : rows_) {
      Text(select, 1, row.Name);
      Text(select, 2, row.Path);
      if (sqlite3_step(select) != SQLITE_ROW) throw std::runtime_error("sqlite: row not found");
      sum += sqlite3_column_double(select, 0) +
             std::string(reinterpret_cast<const char*>(sqlite3_column_text(select, 1))).size();
      sqlite3_reset(select);
    }
    benchmark::DoNotOptimize(sum);
    sqlite3_finalize(select);
  }
  void Walk() {
    sqlite3_stmt* walk = Prepare(
        "SELECT FileName, FilePath, FileDate, Signature FROM Sigs INDEXED BY BySignature ORDER BY Signature");
    std::size_t bytes = 0;
    double sum = 0;
    while (sqlite3_step(walk) == SQLITE_ROW) {
      bytes += std::string(reinterpret_cast<const char*>(sqlite3_column_text(walk, 0))).size() +
               std::string(reinterpret_cast<const char*>(sqlite3_column_text(walk, 1))).size() +
               std::string(reinterpret_cast<const char*>(sqlite3_column_text(walk, 3))).size();
      sum += sqlite3_column_double(walk, 2);
    }
    benchmark::DoNotOptimize(bytes);
    benchmark::DoNotOptimize(sum);
    sqlite3_finalize(walk);
  }
  void Delete() {
    sqlite3_stmt* remove = Prepare("DELETE FROM Sigs WHERE FileName = ? AND FilePath = ?");
    for (int i = 0; i < kDeletes; ++i) {
      const SigRow& row = rows_[static_cast<std::size_t>(i) * 2];
      Text(remove, 1, row.Name);
      Text(remove, 2, row.Path);
      Check(sqlite3_step(remove), db_);
      if (sqlite3_changes(db_) != 1) throw std::runtime_error("sqlite: row to delete not found");
      sqlite3_reset(remove);
      Changed();
    }
    Commit();
    sqlite3_finalize(remove);
  }
  // The database after a checkpoint has moved everything out of the write-ahead log.
  std::uintmax_t Bytes() {
    Check(sqlite3_exec(db_, "PRAGMA wal_checkpoint(TRUNCATE);", nullptr, nullptr, nullptr), db_);
    sqlite3_close(db_);
    db_ = nullptr;
    return fs::file_size(path_);
  }

 private:
  void Changed() {
    if (commitEvery_ == 0) return;
    if (pending_ == 0) Check(sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr), db_);
    if (++pending_ == commitEvery_) Commit();
  }
  void Commit() {
    if (pending_ == 0) return;
    Check(sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr), db_);
    pending_ = 0;
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr), db_);
    return statement;
  }
  static void Text(sqlite3_stmt* statement, int column, const std::string& value) {
    sqlite3_bind_text(statement, column, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
  }
  const std::vector<SigRow>& rows_;
  std::string folder_;
  std::string path_;
  sqlite3* db_ = nullptr;
  int commitEvery_ = 0;
  int pending_ = 0;
};

// Runs `step`; returns its elapsed time and stores its processor time in `cpu`.
template <typename Step>
double Timed(double& cpu, Step step) {
  double cpuStart = ProcessorSeconds();
  auto start = Clock::now();
  step();
  cpu = ProcessorSeconds() - cpuStart;
  return Seconds(start);
}

// Argument 0: sync points off; 1: on.
void BM_SigsWorkload(benchmark::State& state) {
  std::vector<SigRow> rows = MakeRows();
  const bool syncPoints = state.range(0) != 0;
  velquin::store::SyncPolicy().Enabled = syncPoints;
  Times store, sqlite;
  for (auto _ : state) {
    StoreRun ours(rows);
    SqliteRun reference(rows, syncPoints ? static_cast<int>(velquin::store::SyncPolicy().MaxChanges) : 0);
    store.Append = Timed(store.AppendCpu, [&] { ours.Append(); });
    sqlite.Append = Timed(sqlite.AppendCpu, [&] { reference.Append(); });
    store.Open = ours.Reopen();
    store.Search = Timed(store.SearchCpu, [&] { ours.Search(); });
    sqlite.Search = Timed(sqlite.SearchCpu, [&] { reference.Search(); });
    store.Walk = Timed(store.WalkCpu, [&] { ours.Walk(); });
    sqlite.Walk = Timed(sqlite.WalkCpu, [&] { reference.Walk(); });
    store.Delete = Timed(store.DeleteCpu, [&] { ours.Delete(); });
    sqlite.Delete = Timed(sqlite.DeleteCpu, [&] { reference.Delete(); });
    store.Bytes = ours.Bytes();
    sqlite.Bytes = reference.Bytes();
  }
  auto& c = state.counters;
  c["store_append_s"] = store.Append;
  c["sqlite_append_s"] = sqlite.Append;
  c["append_ratio"] = store.Append / sqlite.Append;
  c["store_search_s"] = store.Search;
  c["sqlite_search_s"] = sqlite.Search;
  c["search_ratio"] = store.Search / sqlite.Search;
  c["store_walk_s"] = store.Walk;
  c["sqlite_walk_s"] = sqlite.Walk;
  c["walk_ratio"] = store.Walk / sqlite.Walk;
  c["store_delete_s"] = store.Delete;
  c["sqlite_delete_s"] = sqlite.Delete;
  c["delete_ratio"] = store.Delete / sqlite.Delete;
  c["store_MB"] = static_cast<double>(store.Bytes) / 1e6;
  c["sqlite_MB"] = static_cast<double>(sqlite.Bytes) / 1e6;
  c["size_ratio"] = static_cast<double>(store.Bytes) / static_cast<double>(sqlite.Bytes);
  c["append_cpu_ratio"] = store.AppendCpu / sqlite.AppendCpu;
  c["search_cpu_ratio"] = store.SearchCpu / sqlite.SearchCpu;
  c["walk_cpu_ratio"] = store.WalkCpu / sqlite.WalkCpu;
  c["delete_cpu_ratio"] = store.DeleteCpu / sqlite.DeleteCpu;
  c["store_open_s"] = store.Open;
  c["open_pct_of_append"] = 100.0 * store.Open / store.Append;
}
BENCHMARK(BM_SigsWorkload)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
