// The Access SQL engine over big.mdb (StdItems: 200,000 rows): a GROUP BY with COUNT and SUM,
// a primary-key lookup and a self-join on the key. compare_query.sh runs the same GROUP BY in
// the sqlite3 shell on a SQLite copy of the rows.

#include <benchmark/benchmark.h>

#include <filesystem>

#include "jet/database.h"
#include "query/engine.h"

namespace {

const std::string kBig = std::string(MDB_SHARED_DIR) + "/fixtures/big.mdb";

struct Open {
  std::unique_ptr<jet::Database> db = jet::Database::Open(kBig);
  query::Engine engine{*db};
};

void Run(benchmark::State& state, const char* sql, size_t expected_rows) {
  if (!std::filesystem::exists(kBig)) {
    state.SkipWithError("big.mdb not found");
    return;
  }
  Open open;
  for (auto _ : state) {
    jet::ExecResult r = open.engine.Execute(sql);
    if (!r.rows || r.rows->rows.size() != expected_rows) {
      state.SkipWithError("unexpected result");
      return;
    }
    benchmark::DoNotOptimize(r);
  }
}

void BM_GroupByCountSum(benchmark::State& state) {
  if (!std::filesystem::exists(kBig)) return state.SkipWithError("big.mdb not found");
  Open open;
  size_t groups = 0;
  for (auto _ : state) {
    jet::ExecResult r = open.engine.Execute(
        "SELECT StdMode, Count(*) AS n, Sum(Price) AS total FROM StdItems GROUP BY StdMode");
    groups = r.rows->rows.size();
    benchmark::DoNotOptimize(r);
  }
  state.counters["groups"] = static_cast<double>(groups);
}
BENCHMARK(BM_GroupByCountSum)->Unit(benchmark::kMillisecond);

void BM_PrimaryKeyLookup(benchmark::State& state) {
  Run(state, "SELECT * FROM StdItems WHERE Idx = 123456", 1);
}
BENCHMARK(BM_PrimaryKeyLookup)->Unit(benchmark::kMillisecond);

void BM_SelfJoinOnIdx(benchmark::State& state) {
  Run(state, "SELECT Count(*) FROM StdItems AS a INNER JOIN StdItems AS b ON a.Idx = b.Idx", 1);
}
BENCHMARK(BM_SelfJoinOnIdx)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
