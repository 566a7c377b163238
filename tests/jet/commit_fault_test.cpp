// Every commit survives every way its writes can be broken. For each scenario (a row write, a
// schema change, a transaction) the commit runs once undisturbed to learn its writes and syncs
// and the state after it; then it runs again with a failure, a short write or a stop at each of
// them in turn, and after each stop with power losses that drop random subsets of the writes not
// yet synced. Every time the file, reopened (which rolls a hot journal back), must pass the
// checker and hold exactly the rows and schema of before or after the commit, never a mix; a
// failed commit must leave the file byte-identical to before and say nothing was written.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <random>

#include "jet/check.h"
#include "jet/database.h"
#include "jet/page/fault_file_system.h"
#include "support/fixtures.h"

namespace {

using testfs::FaultFileSystem;
using Fault = FaultFileSystem::Fault;
using Bytes = std::vector<uint8_t>;

const std::string kMemPath = "/mem/t.mdb";
const std::string kMemJournal = "/mem/t.mdb-journal";

std::u16string Text(const std::string& s) { return jet::FromUtf8(s); }

std::string Format(const jet::Value& v) {
  if (v.is_null()) return "null";
  if (v.is<int32_t>()) return std::to_string(v.as<int32_t>());
  if (v.is<std::u16string>()) return "'" + jet::ToUtf8(v.as<std::u16string>()) + "'";
  return "?";
}

// Tables, columns, indexes and rows (sorted) of every user table.
std::string State(const jet::Database& db) {
  std::string out;
  for (const jet::TableListEntry& t : db.ListTables()) {
    const jet::TableDef def = db.GetTable(t.name);
    out += "table " + jet::ToUtf8(def.name) + ":";
    for (const jet::Column& c : def.columns) out += " " + jet::ToUtf8(c.name);
    for (const jet::Index& i : def.indexes) out += " index " + jet::ToUtf8(i.name);
    out += "\n";
    std::vector<std::string> rows;
    db.Scan(def, [&](jet::RowId, std::vector<jet::Value>& values) {
      std::string row;
      for (const jet::Value& v : values) row += Format(v) + ",";
      rows.push_back(row);
      return true;
    });
    std::sort(rows.begin(), rows.end());
    for (const std::string& r : rows) out += r + "\n";
  }
  return out;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// Puts `files` (the database and maybe its journal) on disk, opens them as a reader would
// (rolling a hot journal back) and returns the state; `problems` gets the checker's findings.
std::string Reopen(const fixtures::ScratchDir& dir, const std::map<std::string, Bytes>& files,
                   std::vector<std::string>& problems) {
  const std::string db_path = dir.File("t.mdb");
  std::remove((db_path + "-journal").c_str());
  for (const auto& [path, bytes] : files) {
    WriteFile(path == kMemPath ? db_path : db_path + "-journal", bytes);
  }
  std::string state = State(*jet::Database::Open(db_path));
  problems = jet::CheckFile(db_path).problems;
  return state;
}

std::unique_ptr<jet::Database> OpenMem(FaultFileSystem& fs, jet::SyncMode sync) {
  jet::OpenOptions o;
  o.mode = jet::OpenMode::kReadWrite;
  o.sync = sync;
  o.file_system = &fs;
  return jet::Database::Open(kMemPath, o);
}

std::string LongText(int seed, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + (seed * 7 + i * 13) % 26));
  return s;
}

void Insert(jet::Database& db, int id, const std::string& name, const std::string& body) {
  db.InsertRow(u"Items", {jet::Value(int32_t{id}), jet::Value(Text(name)),
                          body.empty() ? jet::Value() : jet::Value(Text(body))});
}

jet::RowId RowOf(jet::Database& db, int id) {
  const jet::TableDef def = db.GetTable(u"Items");
  jet::RowId found{};
  db.Scan(def, [&](jet::RowId rid, std::vector<jet::Value>& v) {
    if (v[0].as<int32_t>() != id) return true;
    found = rid;
    return false;
  });
  return found;
}

// Index leaf pages in an image (type byte 0x04).
int LeafPages(const Bytes& image) {
  int n = 0;
  for (size_t at = 0; at < image.size(); at += 4096) n += image[at] == 0x04;
  return n;
}

// The base database: Items (Id LONG key, Name TEXT(200) indexed, Body MEMO) with 30 rows, every
// third one with a memo of several pages.
Bytes BaseImage(const fixtures::ScratchDir& dir) {
  const std::string path = dir.File("base.mdb");
  {
    auto db = jet::Database::Create(path);
    db->set_sync_mode(jet::SyncMode::kNormal);
    db->Execute("CREATE TABLE Items (Id LONG PRIMARY KEY, Name TEXT(200), Body MEMO)");
    db->Execute("CREATE INDEX ByName ON Items (Name)");
    for (int i = 0; i < 30; ++i) {
      Insert(*db, i, "name " + std::to_string(i) + LongText(i, 120),
             i % 3 ? "" : LongText(i, 9000));
    }
  }
  return fixtures::ReadBytes(path);
}

struct Scenario {
  std::string name;
  std::function<void(jet::Database&)> commit;
};

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> kScenarios = {
      {"insert", [](jet::Database& db) { Insert(db, 100, "plain", ""); }},
      {"insert with a long value",
       [](jet::Database& db) { Insert(db, 101, "memo", LongText(5, 12000)); }},
      {"insert splitting an index page",
       [](jet::Database& db) { Insert(db, 102, "split " + LongText(9, 190), ""); }},
      {"update",
       [](jet::Database& db) {
         db.UpdateRow(u"Items", RowOf(db, 4),
                      {jet::Value(int32_t{4}), jet::Value(Text("renamed")), jet::Value()});
       }},
      {"update to a long value",
       [](jet::Database& db) {
         db.UpdateRow(u"Items", RowOf(db, 5),
                      {jet::Value(int32_t{5}), jet::Value(Text("five")),
                       jet::Value(Text(LongText(1, 7000)))});
       }},
      {"update freeing a long value",
       [](jet::Database& db) {
         db.UpdateRow(u"Items", RowOf(db, 6),
                      {jet::Value(int32_t{6}), jet::Value(Text("six")), jet::Value()});
       }},
      {"delete", [](jet::Database& db) { db.DeleteRow(u"Items", RowOf(db, 7)); }},
      {"delete with a long value", [](jet::Database& db) { db.DeleteRow(u"Items", RowOf(db, 9)); }},
      {"create index on a populated table",
       [](jet::Database& db) { db.Execute("CREATE INDEX ByBody ON Items (Name DESC, Id)"); }},
      {"create table",
       [](jet::Database& db) {
         db.Execute("CREATE TABLE Other (Code TEXT(10) PRIMARY KEY, Note MEMO, N LONG)");
       }},
      {"transaction",
       [](jet::Database& db) {
         db.Execute("BEGIN");
         Insert(db, 200, "t1", LongText(3, 6000));
         Insert(db, 201, "t2", "");
         db.UpdateRow(u"Items", RowOf(db, 10),
                      {jet::Value(int32_t{10}), jet::Value(Text("ten")), jet::Value()});
         db.DeleteRow(u"Items", RowOf(db, 12));
         db.Execute("CREATE INDEX ByBody ON Items (Name DESC)");
         db.Execute("COMMIT");
       }},
  };
  return kScenarios;
}

class CommitFaultTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new fixtures::ScratchDir();
    base_ = new Bytes(BaseImage(*dir_));
    // The split scenario starts from a base grown until its next insert splits a leaf.
    FaultFileSystem fs;
    fs.Put(kMemPath, *base_);
    auto db = OpenMem(fs, jet::SyncMode::kNormal);
    for (int i = 0; i < 200; ++i) {
      const Bytes before = fs.Get(kMemPath);
      FaultFileSystem probe;
      probe.Put(kMemPath, before);
      {
        auto p = OpenMem(probe, jet::SyncMode::kNormal);
        Insert(*p, 102, "split " + LongText(9, 190), "");
      }
      if (LeafPages(probe.Get(kMemPath)) > LeafPages(before)) {
        split_base_ = new Bytes(before);
        break;
      }
      Insert(*db, 1000 + i, "split " + LongText(9, 190) + std::to_string(i), "");
    }
  }
  static void TearDownTestSuite() {
    delete base_;
    delete split_base_;
    delete dir_;
  }

  static const Bytes& BaseFor(const Scenario& s) {
    return s.name == "insert splitting an index page" ? *split_base_ : *base_;
  }

  static fixtures::ScratchDir* dir_;
  static Bytes* base_;
  static Bytes* split_base_;
};

fixtures::ScratchDir* CommitFaultTest::dir_ = nullptr;
Bytes* CommitFaultTest::base_ = nullptr;
Bytes* CommitFaultTest::split_base_ = nullptr;

TEST_F(CommitFaultTest, EveryWriteAndSyncBrokenInTurnLeavesBeforeOrAfter) {
  ASSERT_NE(split_base_, nullptr) << "no insert split an index page";
  int points = 0;
  int subsets = 0;
  std::mt19937 rng(7);
  for (const Scenario& s : Scenarios()) {
    SCOPED_TRACE(s.name);
    const Bytes& base = BaseFor(s);
    std::vector<std::string> problems;
    const std::string before = Reopen(*dir_, {{kMemPath, base}}, problems);
    ASSERT_TRUE(problems.empty()) << problems[0];
    for (jet::SyncMode sync : {jet::SyncMode::kFull, jet::SyncMode::kNormal}) {
      const bool full = sync == jet::SyncMode::kFull;
      // Undisturbed: how many writes and syncs, and the state after.
      FaultFileSystem clean;
      clean.Put(kMemPath, base);
      int ops = 0;
      {
        auto db = OpenMem(clean, sync);
        const int start = clean.ops();
        s.commit(*db);
        ops = clean.ops() - start;
      }
      const std::string after = Reopen(*dir_, {{kMemPath, clean.Get(kMemPath)}}, problems);
      ASSERT_TRUE(problems.empty()) << problems[0];
      ASSERT_NE(before, after);
      ASSERT_GE(ops, full ? 5 : 2);

      for (Fault fault : {Fault::kKill, Fault::kNoSpace, Fault::kIoError, Fault::kShortWrite}) {
        for (int n = 1; n <= ops; ++n) {
          SCOPED_TRACE(testing::Message() << (full ? "full" : "normal") << " fault "
                                          << static_cast<int>(fault) << " at " << n);
          FaultFileSystem fs;
          fs.Put(kMemPath, base);
          std::string error;
          {
            auto db = OpenMem(fs, sync);
            fs.Arm(fault, n);
            try {
              s.commit(*db);
            } catch (const jet::Error& e) {
              error = e.what();
            }
            ASSERT_TRUE(fs.fired());
            if (fault != Fault::kKill && !error.empty() &&
                error.find("nothing was written") != std::string::npos) {
              EXPECT_EQ(fs.Get(kMemPath), base) << error;
            }
          }
          ++points;
          std::map<std::string, Bytes> files = {{kMemPath, fs.Get(kMemPath)}};
          if (fs.Has(kMemJournal)) files[kMemJournal] = fs.Get(kMemJournal);
          const std::string state = Reopen(*dir_, files, problems);
          EXPECT_TRUE(problems.empty()) << problems[0];
          EXPECT_TRUE(state == before || state == after);
          if (fault != Fault::kKill) {
            // A commit that reported a failure is undone, byte for byte.
            if (!error.empty()) {
              EXPECT_EQ(state, before) << error;
              const Bytes now = fixtures::ReadBytes(dir_->File("t.mdb"));
              if (now != base) {
                size_t at = 0;
                while (at < std::min(now.size(), base.size()) && now[at] == base[at]) ++at;
                ADD_FAILURE() << "not byte-identical: sizes " << now.size() << " and "
                              << base.size() << ", first difference at " << at << ": " << error;
              }
            }
            continue;
          }
          {
            // Damage used to spread from a torn commit: a later memo reused a long-value page
            // a torn row still pointed at, a leftover index entry made a later insert a
            // duplicate. On the recovered file the commit itself, or a further memo insert,
            // must work and leave a sound file.
            auto db = jet::Database::Open(dir_->File("t.mdb"), jet::OpenMode::kReadWrite);
            if (state == before) {
              s.commit(*db);
              EXPECT_EQ(State(*db), after);
            } else {
              Insert(*db, 900, "next", LongText(8, 7000));
              EXPECT_NE(State(*db).find("900,'next','" + LongText(8, 7000) + "'"),
                        std::string::npos);
            }
            db.reset();
            const std::vector<std::string> found = jet::CheckFile(dir_->File("t.mdb")).problems;
            EXPECT_TRUE(found.empty()) << found[0];
          }
          if (!full) continue;  // without syncs a power loss may tear the last commit
          for (int k = 0; k < 6; ++k) {
            ++subsets;
            const std::string lost = Reopen(*dir_, fs.AfterPowerLoss(rng), problems);
            EXPECT_TRUE(problems.empty()) << problems[0];
            EXPECT_TRUE(lost == before || lost == after);
          }
        }
      }
    }
  }
  std::cout << "[ commit faults ] " << Scenarios().size() << " scenarios, " << points
            << " fault points, " << subsets << " power-loss subsets\n";
}

// A full disk: the failed commit leaves the file as it was, every earlier row reads, and once
// space is free the same insert works.
TEST_F(CommitFaultTest, DiskFullThenSpaceFreed) {
  FaultFileSystem fs;
  fs.Put(kMemPath, *base_);
  auto db = OpenMem(fs, jet::SyncMode::kFull);
  const std::string before = State(*db);
  fs.Arm(Fault::kNoSpace, 1);
  try {
    Insert(*db, 300, "full", LongText(2, 20000));
    FAIL() << "the insert reported success on a full disk";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.kind(), jet::Error::Kind::kIo);
    EXPECT_NE(std::string(e.what()).find("nothing was written"), std::string::npos) << e.what();
  }
  EXPECT_EQ(fs.Get(kMemPath), *base_);
  EXPECT_EQ(State(*db), before);
  fs.FreeSpace();
  Insert(*db, 300, "full", LongText(2, 20000));
  db.reset();
  std::vector<std::string> problems;
  const std::string after = Reopen(*dir_, {{kMemPath, fs.Get(kMemPath)}}, problems);
  EXPECT_TRUE(problems.empty()) << problems[0];
  EXPECT_NE(after.find("300,'full'"), std::string::npos);
}

// A transaction rolled back leaves the file byte-identical; a refused write inside one changes
// nothing and leaves it open.
TEST_F(CommitFaultTest, TransactionRollbackAndRefusedWriteInside) {
  FaultFileSystem fs;
  fs.Put(kMemPath, *base_);
  auto db = OpenMem(fs, jet::SyncMode::kFull);
  const std::string before = State(*db);
  db->Begin();
  Insert(*db, 400, "in transaction", LongText(4, 5000));
  db->Execute("CREATE TABLE Tmp (A LONG)");
  EXPECT_THROW(Insert(*db, 400, "duplicate key", ""), jet::Error);
  EXPECT_TRUE(db->in_transaction());
  EXPECT_NE(State(*db).find("400,'in transaction'"), std::string::npos);
  EXPECT_EQ(fs.Get(kMemPath), *base_);  // nothing reaches the file before COMMIT
  db->Execute("ROLLBACK");
  EXPECT_EQ(State(*db), before);
  EXPECT_EQ(fs.Get(kMemPath), *base_);
  EXPECT_THROW(db->Commit(), jet::Error);
  EXPECT_THROW(db->Execute("COMMIT"), jet::Error);
}

}  // namespace
