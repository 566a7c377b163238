// Row writes bring the counters of a handle's cached table definitions up to date instead of
// decoding the definitions again: after random inserts, updates and deletes (refused ones, cascades
// into a related table, transactions committed and rolled back), every cached definition must equal
// one decoded afresh from the file as the handle sees it.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "db/database_impl.h"
#include "jet/check.h"
#include "jet/database.h"
#include "jet/error.h"
#include "support/write_test_util.h"
#include "table/table_def.h"

namespace jet {
namespace {

void ExpectFresh(Database& db, const std::u16string& name, int op) {
  DatabaseImpl& impl = DatabaseInternals::Of(db);
  const std::shared_ptr<const TableInfo> cached = impl.TableByName(name);
  const TableInfo fresh = ReadTableDef(impl.file(), impl.codec(), cached->def.tdef_page, name);
  ASSERT_EQ(cached->raw, fresh.raw) << ToUtf8(name) << " after operation " << op;
  EXPECT_EQ(cached->def.row_count, fresh.def.row_count);
  EXPECT_EQ(cached->def.last_autonumber, fresh.def.last_autonumber);
  ASSERT_EQ(cached->real_indexes.size(), fresh.real_indexes.size());
  for (size_t i = 0; i < fresh.real_indexes.size(); ++i) {
    EXPECT_EQ(cached->real_indexes[i].distinct_keys, fresh.real_indexes[i].distinct_keys)
        << ToUtf8(name) << " index " << i << " after operation " << op;
  }
}

TEST(CachedDefinitionTest, CountersFollowRowWritesAsTheFileHasThem) {
  testutil::TempDir dir;
  const std::string path = dir.File("cached.mdb");
  auto db = Database::Create(path);
  for (const char* sql : {
           "CREATE TABLE T (ID COUNTER PRIMARY KEY, Name TEXT(20), Score LONG, Note MEMO)",
           "CREATE UNIQUE INDEX ByName ON T (Name)",
           "CREATE INDEX ByScore ON T (Score)",
           "CREATE TABLE C (ID LONG PRIMARY KEY, T LONG, CONSTRAINT TC FOREIGN KEY (T) "
           "REFERENCES T (ID) ON DELETE CASCADE)",
       }) {
    db->Execute(sql);
  }
  std::mt19937 rng(10);
  auto pick = [&](unsigned n) { return static_cast<int32_t>(rng() % n); };
  std::vector<RowId> rows;  // of T
  int32_t inserted = 0;     // into T: its autonumbers run up to about this
  int32_t child = 0;
  int refused = 0;
  for (int op = 0; op < 1500; ++op) {
    if (pick(100) == 0 && !db->in_transaction()) db->Begin();
    const std::u16string name = u"N" + FromUtf8(std::to_string(pick(400)));
    const Value note = pick(3) == 0 ? Value(std::u16string(static_cast<size_t>(pick(3000)), u'x'))
                                    : Value();
    const int kind = pick(10);
    try {
      if (kind < 5 || rows.empty()) {
        rows.push_back(db->InsertRow(u"T", {Value(), Value(name), Value(pick(50)), note}));
        ++inserted;
      } else if (kind < 7) {
        const size_t at = static_cast<size_t>(pick(static_cast<unsigned>(rows.size())));
        db->UpdateRow(u"T", rows[at], {Value(), Value(name), Value(pick(50)), note});
      } else if (kind < 8) {
        // A parent that may be gone: then refused.
        db->InsertRow(u"C", {Value(child++), Value(1 + pick(static_cast<unsigned>(inserted)))});
      } else {
        const size_t at = static_cast<size_t>(pick(static_cast<unsigned>(rows.size())));
        db->DeleteRow(u"T", rows[at]);  // cascades into C
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(at));
      }
    } catch (const Error& e) {
      ASSERT_EQ(e.kind(), Error::Kind::kConstraint) << e.what();  // duplicate name, no parent
      ++refused;
    }
    if (db->in_transaction() && pick(40) == 0) {
      if (pick(3) == 0) {
        db->Rollback();
        rows.clear();  // which rows the rollback took back is not tracked: forget them all
      } else {
        db->Commit();
      }
    }
    ExpectFresh(*db, u"T", op);
    ExpectFresh(*db, u"C", op);
    if (testing::Test::HasFatalFailure()) return;
  }
  EXPECT_GT(refused, 20);
  // Refusals found by the index insert itself, and rolled-back pages an insert may still think of
  // as its last: the file keeps every invariant.
  if (db->in_transaction()) db->Commit();
  db.reset();
  const CheckReport report = CheckFile(path);
  EXPECT_TRUE(report.ok()) << (report.problems.empty() ? "" : report.problems[0]);
}

}  // namespace
}  // namespace jet
