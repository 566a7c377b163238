// Relationships: the cost of the referential check on inserts into a referencing table (against
// the same table whose foreign-key column has a plain index and no relationship), and deleting a
// referenced row whose 10,000 referencing rows are deleted by the cascade, in one commit.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "jet/database.h"

namespace {

namespace fs = std::filesystem;

std::string FreshPath(const std::string& name) {
  fs::path dir = fs::temp_directory_path() / "mdbrel-bench";
  fs::create_directories(dir);
  fs::path p = dir / name;
  fs::remove(p);
  return p.string();
}

// Parent(ID) with `parents` rows; Child(ID, P) with nothing yet, P referencing Parent with
// integrity (cascading deletes) or carrying a plain index.
std::unique_ptr<jet::Database> MakeTables(const std::string& path, int parents, bool integrity) {
  auto db = jet::Database::Create(path);
  db->Execute("CREATE TABLE Parent (ID LONG PRIMARY KEY, Name TEXT(20))");
  db->Execute("CREATE TABLE Child (ID LONG PRIMARY KEY, P LONG, Note TEXT(20))");
  for (int i = 1; i <= parents; ++i) {
    db->InsertRow(u"Parent", {jet::Value(int32_t{i}), jet::Value(u"parent")});
  }
  if (integrity) {
    db->Execute(
        "ALTER TABLE Child ADD CONSTRAINT ParentChild FOREIGN KEY (P) REFERENCES Parent (ID) "
        "ON DELETE CASCADE");
  } else {
    db->Execute("CREATE INDEX ByP ON Child (P)");
  }
  return db;
}

void BM_InsertReferencing(benchmark::State& state) {
  const bool integrity = state.range(0) != 0;
  const int rows = 10000;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = FreshPath("insert.mdb");
    auto db = MakeTables(path, 1000, integrity);
    state.ResumeTiming();
    for (int i = 0; i < rows; ++i) {
      db->InsertRow(u"Child", {jet::Value(int32_t{i}), jet::Value(int32_t{1 + i % 1000}),
                               jet::Value(u"child")});
    }
  }
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_InsertReferencing)
    ->ArgName("integrity")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_CascadeDelete(benchmark::State& state) {
  const int children = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = FreshPath("cascade.mdb");
    auto db = MakeTables(path, 2, true);
    for (int i = 0; i < children; ++i) {
      db->InsertRow(u"Child", {jet::Value(int32_t{i}), jet::Value(int32_t{1}), jet::Value(u"c")});
    }
    db->InsertRow(u"Child",
                  {jet::Value(int32_t{children}), jet::Value(int32_t{2}), jet::Value(u"stays")});
    state.ResumeTiming();
    const int64_t written = db->Execute("DELETE FROM Parent WHERE ID = 1").affected;
    state.PauseTiming();
    if (written != 1 || db->Query("SELECT * FROM Child").rows.size() != 1) {
      state.SkipWithError("the cascade did not delete the children");
    }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CascadeDelete)->Arg(10000)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
