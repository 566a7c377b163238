// Write-path throughput: inserts each committed on its own (full and normal sync, and without a
// journal for comparison), 200,000 inserts in one transaction, and 100,000 inserts into a table
// with a LONG primary key and a TEXT index, 10,000 updates, 10,000 deletes, and building a primary
// key over 200,000 rows. Each benchmark works on a fresh copy of a fixture in a temporary directory
// and reports rows/s (overall and per phase) and the file size afterwards.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>

#include "jet/database.h"
#include "page/file_system.h"

namespace {

namespace fs = std::filesystem;

std::string Copy(const std::string& fixture, const std::string& name) {
  fs::path dir = fs::temp_directory_path() / "mdbwrite-bench";
  fs::create_directories(dir);
  fs::path dst = dir / name;
  fs::copy_file(fs::path(MDB_SHARED_DIR) / "fixtures" / fixture, dst,
                fs::copy_options::overwrite_existing);
  fs::permissions(dst, fs::perms::owner_read | fs::perms::owner_write);
  return dst.string();
}

std::vector<jet::Value> StdItem(int32_t idx, std::mt19937& rng) {
  std::u16string name = u"Item" + std::u16string(1, static_cast<char16_t>(u'A' + rng() % 26));
  for (char c : std::to_string(idx)) name.push_back(static_cast<char16_t>(c));
  return {jet::Value(idx),
          jet::Value(name),
          jet::Value(static_cast<uint8_t>(rng())),
          jet::Value(int16_t{1}),
          jet::Value(int16_t{2}),
          jet::Value(int16_t{3}),
          jet::Value(int16_t{4}),
          jet::Value(static_cast<int32_t>(rng() % 100000)),
          jet::Value(int16_t{5}),
          jet::Value()};
}

using Clock = std::chrono::steady_clock;

double PerSecond(int rows, Clock::duration d) {
  return rows / std::chrono::duration<double>(d).count();
}

void Report(benchmark::State& state, const std::string& path, int64_t rows) {
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
  state.counters["file_MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
}

struct WriteRates {
  double insert = 0, update = 0, remove = 0;  // rows per second
};

// The timed work of the row-write benchmarks on StdItems: `inserts` new rows, then a tenth of
// them updated and another tenth deleted.
WriteRates InsertUpdateDelete(jet::Database& db, int inserts) {
  std::mt19937 rng(1);
  std::vector<jet::RowId> ids;
  const auto t0 = Clock::now();
  for (int i = 0; i < inserts; ++i)
    ids.push_back(db.InsertRow(u"StdItems", StdItem(20000000 + i, rng)));
  const auto t1 = Clock::now();
  for (int i = 0; i < inserts / 10; ++i) {
    db.UpdateRow(u"StdItems", ids[static_cast<size_t>(i) * 7 % ids.size()],
                 StdItem(50000000 + i, rng));
  }
  const auto t2 = Clock::now();
  for (int i = 0; i < inserts / 10; ++i)
    db.DeleteRow(u"StdItems", ids[static_cast<size_t>(i) * 10 + 3]);
  const auto t3 = Clock::now();
  return {PerSecond(inserts, t1 - t0), PerSecond(inserts / 10, t2 - t1),
          PerSecond(inserts / 10, t3 - t2)};
}


// StdItems of game-indexed.mdb has a primary key on Idx (LONG); a TEXT index on Name is added.
void BM_InsertUpdateDelete(benchmark::State& state) {
  const int inserts = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = Copy("game-indexed.mdb", "iud.mdb");
    auto db = jet::Database::Open(path, jet::OpenMode::kReadWrite);
    db->CreateIndex(u"StdItems", {u"ByName", {{u"Name", true}}, false, false, false});
    state.ResumeTiming();
    const WriteRates rates = InsertUpdateDelete(*db, inserts);
    state.PauseTiming();
    Report(state, path, inserts + inserts / 5);
    state.counters["insert_rows/s"] = rates.insert;
    state.counters["update_rows/s"] = rates.update;
    state.counters["delete_rows/s"] = rates.remove;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_InsertUpdateDelete)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same table and work in both formats, side by side: a table shaped like StdItems (LONG
// primary key, TEXT index) created by the engine in an Access 97 file (a copy of an Access-written
// one) and in a new Access 2000 file. Arg 0 = Jet3, 1 = Jet4.
void BM_Jet3BesideJet4(benchmark::State& state) {
  const bool jet3 = state.range(0) == 0;
  const int inserts = 30000;
  for (auto _ : state) {
    state.PauseTiming();
    std::string path;
    if (jet3) {
      path = Copy("access/jackcess-V1997-testV1997.mdb", "fmt3.mdb");
    } else {
      path = (fs::temp_directory_path() / "mdbwrite-bench" / "fmt4.mdb").string();
      fs::create_directories(fs::path(path).parent_path());
      fs::remove(path);
      jet::Database::Create(path);
    }
    auto db = jet::Database::Open(path, jet::OpenMode::kReadWrite);
    db->Execute(
        "CREATE TABLE StdItems (Idx LONG PRIMARY KEY, Name TEXT(40), Kind BYTE, A SHORT, "
        "B SHORT, C SHORT, D SHORT, Price LONG, E SHORT, Note MEMO)");
    db->Execute("CREATE INDEX ByName ON StdItems (Name)");
    state.ResumeTiming();
    const WriteRates rates = InsertUpdateDelete(*db, inserts);
    state.PauseTiming();
    state.SetLabel(jet3 ? "Jet3" : "Jet4");
    Report(state, path, inserts + inserts / 5);
    state.counters["insert_rows/s"] = rates.insert;
    state.counters["update_rows/s"] = rates.update;
    state.counters["delete_rows/s"] = rates.remove;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Jet3BesideJet4)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// The operating system's files, except that the journal lives in memory and costs nothing: the
// rate of commits without a journal, for comparison.
class NoJournalFileSystem : public jet::FileSystem {
 public:
  class MemoryHandle : public jet::FileHandle {
   public:
    int Read(uint64_t offset, std::span<uint8_t> out, size_t& done) override {
      done = offset < bytes_.size() ? std::min(out.size(), bytes_.size() - offset) : 0;
      std::copy_n(bytes_.begin() + static_cast<ptrdiff_t>(offset), done, out.begin());
      return 0;
    }
    int Write(uint64_t offset, std::span<const uint8_t> data, size_t& done) override {
      if (bytes_.size() < offset + data.size()) bytes_.resize(offset + data.size());
      std::copy(data.begin(), data.end(), bytes_.begin() + static_cast<ptrdiff_t>(offset));
      done = data.size();
      return 0;
    }
    int Sync() override { return 0; }
    int Truncate(uint64_t size) override {
      bytes_.resize(size);
      return 0;
    }
    int Stat(jet::FileStat& out) override {
      out.size = bytes_.size();
      return 0;
    }
    int Lock(uint64_t, uint64_t, jet::LockType) override { return 0; }
    bool LockedElsewhere(uint64_t, uint64_t, jet::LockType) override { return false; }

   private:
    std::vector<uint8_t> bytes_;
  };

  std::unique_ptr<jet::FileHandle> Open(const std::string& path, Mode mode, int& err) override {
    if (path.ends_with("-journal")) return std::make_unique<MemoryHandle>();
    return jet::DefaultFileSystem().Open(path, mode, err);
  }
  bool Exists(const std::string& path) override { return jet::DefaultFileSystem().Exists(path); }
  int Remove(const std::string& path) override {
    return path.ends_with("-journal") ? 0 : jet::DefaultFileSystem().Remove(path);
  }
  int SyncFolder(const std::string&) override { return 0; }
};

enum Mode { kFullSync, kNormalSync, kNoJournal, kOneTransaction };

// Inserts into StdItems of game-indexed.mdb (a LONG primary key and a TEXT index), each row its
// own commit, or all of them in one transaction.
void BM_Inserts(benchmark::State& state) {
  const auto mode = static_cast<Mode>(state.range(0));
  const int rows = static_cast<int>(state.range(1));
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = Copy("game-indexed.mdb", "inserts.mdb");
    NoJournalFileSystem no_journal;
    jet::OpenOptions options;
    options.mode = jet::OpenMode::kReadWrite;
    options.sync = mode == kFullSync || mode == kOneTransaction ? jet::SyncMode::kFull
                                                                : jet::SyncMode::kNormal;
    if (mode == kNoJournal) options.file_system = &no_journal;
    auto db = jet::Database::Open(path, options);
    db->CreateIndex(u"StdItems", {u"ByName", {{u"Name", true}}, false, false, false});
    std::mt19937 rng(1);
    state.ResumeTiming();
    if (mode == kOneTransaction) db->Begin();
    for (int i = 0; i < rows; ++i) db->InsertRow(u"StdItems", StdItem(20000000 + i, rng));
    if (mode == kOneTransaction) db->Commit();
    state.PauseTiming();
    Report(state, path, rows);
    db.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Inserts)
    ->ArgNames({"mode", "rows"})
    ->Args({kNoJournal, 50000})
    ->Args({kNormalSync, 50000})
    ->Args({kFullSync, 2000})
    ->Args({kOneTransaction, 200000})
    ->Iterations(1)
    ->UseRealTime()  // rows/s by the clock on the wall: a sync's wait counts
    ->Unit(benchmark::kMillisecond);

// Primary key over the 200,000 rows of big.mdb's StdItems, built next to the existing one.
void BM_BuildPrimaryKeySizedIndex(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = Copy("big.mdb", "build.mdb");
    auto db = jet::Database::Open(path, jet::OpenMode::kReadWrite);
    state.ResumeTiming();
    db->CreateIndex(u"StdItems", {u"IdxUnique", {{u"Idx", false}}, false, true, false});
    state.PauseTiming();
    Report(state, path, 200000);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_BuildPrimaryKeySizedIndex)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
