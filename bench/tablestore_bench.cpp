// The table store against SQLite on the Sigs workload, side by side in one run: append and post
// 100,000 rows, 100,000 exact key searches on the primary index, one full walk in BySignature
// order reading every field, 50,000 deletions by key; then the file sizes, and the time to open
// the 100,000-row folder (check and repair included) against the time to append the rows.
// SQLite runs in WAL mode with synchronous=OFF, every statement its own transaction, since a
// post is final when it returns.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "tablestore/program_tables.h"
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

std::string TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "tablestore-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  return pattern + "/";
}

struct Times {
  double Append = 0, Open = 0, Search = 0, Walk = 0, Delete = 0;
  std::uintmax_t Bytes = 0;
};

Times RunStore(const std::vector<SigRow>& rows) {
  using velquin::TTable;
  Times times;
  std::string folder = TempFolder();
  {
    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    velquin::OpenTables(sigs, matches, folder);
    auto start = Clock::now();
    for (const SigRow& row : rows) {
      sigs.Append();
      sigs.SetFieldValue("FileName", row.Name);
      sigs.SetFieldValue("FilePath", row.Path);
      sigs.SetFieldValue("FileDate", row.Date);
      sigs.SetFieldValue("Signature", row.Signature);
      sigs.Post();
    }
    times.Append = Seconds(start);
    sigs.Close();
    matches.Close();

    start = Clock::now();
    velquin::OpenTables(sigs, matches, folder);
    times.Open = Seconds(start);

    start = Clock::now();
    double sum = 0;
    for (const SigRow& row : rows) {
      sigs.SetKey();
      sigs.SetFieldValue("FileName", row.Name);
      sigs.SetFieldValue("FilePath", row.Path);
      if (!sigs.GotoKey()) throw std::runtime_error("store: row not found");
      sum += sigs.FieldAsDateTime("FileDate") + static_cast<double>(sigs.FieldAsString("Signature").size());
    }
    benchmark::DoNotOptimize(sum);
    times.Search = Seconds(start);

    start = Clock::now();
    sigs.SetIndexName("BySignature");
    std::size_t bytes = 0;
    for (sigs.First(); !sigs.Eof(); sigs.Next()) {
      bytes += sigs.FieldAsString("FileName").size() + sigs.FieldAsString("FilePath").size() +
               sigs.FieldAsString("Signature").size();
      sum += sigs.FieldAsDateTime("FileDate");
    }
    benchmark::DoNotOptimize(bytes);
    sigs.SetIndexName("");
    times.Walk = Seconds(start);

    start = Clock::now();
    for (int i = 0; i < kDeletes; ++i) {
      const SigRow& row = rows[static_cast<std::size_t>(i) * 2];
      sigs.SetKey();
      sigs.SetFieldValue("FileName", row.Name);
      sigs.SetFieldValue("FilePath", row.Path);
      if (!sigs.GotoKey()) throw std::runtime_error("store: row to delete not found");
      sigs.Delete();
    }
    times.Delete = Seconds(start);
  }
  for (const char* name : {"Sigs.DAT", "Sigs.IDX"}) times.Bytes += fs::file_size(folder + name);
  fs::remove_all(folder);
  return times;
}

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) throw std::runtime_error(sqlite3_errmsg(db));
}

Times RunSqlite(const std::vector<SigRow>& rows) {
  Times times;
  std::string folder = TempFolder();
  std::string path = folder + "sigs.db";
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db);
  Check(sqlite3_exec(db,
                     "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;"
                     "CREATE TABLE Sigs(FileName TEXT, FilePath TEXT, FileDate REAL, Signature TEXT,"
                     " PRIMARY KEY(FileName, FilePath));"
                     "CREATE INDEX BySignature ON Sigs(Signature);",
                     nullptr, nullptr, nullptr),
        db);
  auto prepare = [&](const char* sql) {
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), db);
    return statement;
  };
  auto text = [](sqlite3_stmt* statement, int column, const std::string& value) {
    sqlite3_bind_text(statement, column, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
  };
  sqlite3_stmt* insert = prepare("INSERT INTO Sigs VALUES(?, ?, ?, ?)");
  auto start = Clock::now();
  for (const SigRow& row : rows) {
    text(insert, 1, row.Name);
    text(insert, 2, row.Path);
    sqlite3_bind_double(insert, 3, row.Date);
    text(insert, 4, row.Signature);
    Check(sqlite3_step(insert), db);
    sqlite3_reset(insert);
  }
  times.Append = Seconds(start);
  sqlite3_finalize(insert);

  sqlite3_stmt* select = prepare("SELECT FileDate, Signature FROM Sigs WHERE FileName = ? AND FilePath = ?");
  start = Clock::now();
  double sum = 0;
  for (const SigRow& row : rows) {
    text(select, 1, row.Name);
    text(select, 2, row.Path);
    if (sqlite3_step(select) != SQLITE_ROW) throw std::runtime_error("sqlite: row not found");
    sum += sqlite3_column_double(select, 0) + sqlite3_column_bytes(select, 1);
    sqlite3_reset(select);
  }
  benchmark::DoNotOptimize(sum);
  times.Search = Seconds(start);
  sqlite3_finalize(select);

  sqlite3_stmt* walk = prepare(
      "SELECT FileName, FilePath, FileDate, Signature FROM Sigs INDEXED BY BySignature ORDER BY Signature");
  start = Clock::now();
  std::size_t bytes = 0;
  while (sqlite3_step(walk) == SQLITE_ROW) {
    bytes += std::string(reinterpret_cast<const char*>(sqlite3_column_text(walk, 0))).size() +
             std::string(reinterpret_cast<const char*>(sqlite3_column_text(walk, 1))).size() +
             std::string(reinterpret_cast<const char*>(sqlite3_column_text(walk, 3))).size();
    sum += sqlite3_column_double(walk, 2);
  }
  benchmark::DoNotOptimize(bytes);
  times.Walk = Seconds(start);
  sqlite3_finalize(walk);

  sqlite3_stmt* remove = prepare("DELETE FROM Sigs WHERE FileName = ? AND FilePath = ?");
  start = Clock::now();
  for (int i = 0; i < kDeletes; ++i) {
    const SigRow& row = rows[static_cast<std::size_t>(i) * 2];
    text(remove, 1, row.Name);
    text(remove, 2, row.Path);
    Check(sqlite3_step(remove), db);
    if (sqlite3_changes(db) != 1) throw std::runtime_error("sqlite: row to delete not found");
    sqlite3_reset(remove);
  }
  times.Delete = Seconds(start);
  sqlite3_finalize(remove);
  Check(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE);", nullptr, nullptr, nullptr), db);
  sqlite3_close(db);
  times.Bytes = fs::file_size(path);
  fs::remove_all(folder);
  return times;
}

void BM_SigsWorkload(benchmark::State& state) {
  std::vector<SigRow> rows = MakeRows();
  Times store, sqlite;
  for (auto _ : state) {
    store = RunStore(rows);
    sqlite = RunSqlite(rows);
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
  c["store_open_s"] = store.Open;
  c["open_pct_of_append"] = 100.0 * store.Open / store.Append;
}
BENCHMARK(BM_SigsWorkload)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
