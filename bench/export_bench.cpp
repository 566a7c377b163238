// Export of the shared big.mdb (220,000 rows) to each target: a new SQLite database, a psql
// script, a directory of CSV files. Output goes to a temporary directory and is removed after
// each run. Run: build/bench/export_bench; bench/compare_export.sh compares with mdbtools.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "export/export.h"
#include "jet/database.h"

namespace {

namespace fs = std::filesystem;

std::string BigMdb() {
  const char* env = std::getenv("MDB_BIG_MDB");
  return env != nullptr && *env != '\0' ? env : std::string(MDB_SHARED_DIR) + "/fixtures/big.mdb";
}

void BM_Export(benchmark::State& state, query::ExportFormat format) {
  try {
    const fs::path out = fs::temp_directory_path() / "mdb-export-bench.out";
    fs::remove_all(out);
    uint64_t rows = 0;
    for (auto _ : state) {
      auto db = jet::Database::Open(BigMdb());
      rows += query::Export(*db, format, out.string(), {}).rows;
      state.PauseTiming();
      fs::remove_all(out);
      state.ResumeTiming();
    }
    state.counters["rows/s"] =
        benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

BENCHMARK_CAPTURE(BM_Export, sqlite, query::ExportFormat::kSqlite)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Export, postgres, query::ExportFormat::kPostgres)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Export, csv, query::ExportFormat::kCsv)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
