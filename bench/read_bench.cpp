// Read throughput of the engine on the shared big.mdb (220,000 rows): opening the file, and
// reading every row of every user table. Run: build/bench/read_bench [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "jet/database.h"

namespace {

std::string BigMdb() {
  const char* env = std::getenv("MDB_BIG_MDB");
  return env != nullptr && *env != '\0' ? env : std::string(MDB_SHARED_DIR) + "/fixtures/big.mdb";
}

// Reads every row of every user table; returns the number of rows read.
int64_t ReadAllRows(const jet::Database& db) {
  int64_t rows = 0;
  for (const jet::TableListEntry& entry : db.ListTables()) {
    if (entry.type != "TABLE") continue;
    const jet::TableDef def = db.GetTable(entry.name);
    db.Scan(def, [&rows](jet::RowId, std::vector<jet::Value>& values) {
      benchmark::DoNotOptimize(values.data());
      ++rows;
      return true;
    });
  }
  return rows;
}

void BM_OpenBigMdb(benchmark::State& state) {
  try {
    for (auto _ : state) {
      auto db = jet::Database::Open(BigMdb());
      benchmark::DoNotOptimize(db->ListTables());
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}
BENCHMARK(BM_OpenBigMdb)->Unit(benchmark::kMillisecond);

void BM_ReadEveryRow(benchmark::State& state) {
  try {
    const auto db = jet::Database::Open(BigMdb());
    int64_t rows = 0;
    for (auto _ : state) rows += ReadAllRows(*db);
    state.counters["rows"] = benchmark::Counter(static_cast<double>(rows),
                                                benchmark::Counter::kIsRate);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}
BENCHMARK(BM_ReadEveryRow)->Unit(benchmark::kMillisecond);

// Open and read in one go, as a tool that reads the file once would.
void BM_OpenAndReadEveryRow(benchmark::State& state) {
  try {
    int64_t rows = 0;
    for (auto _ : state) rows += ReadAllRows(*jet::Database::Open(BigMdb()));
    state.counters["rows"] = benchmark::Counter(static_cast<double>(rows),
                                                benchmark::Counter::kIsRate);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}
BENCHMARK(BM_OpenAndReadEveryRow)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
