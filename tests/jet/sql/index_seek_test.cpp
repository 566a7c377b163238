// Equality on an indexed whole-number column is answered from the index: the rows, and their
// order, are those a scan finds, after random inserts, updates and deletes, inside a transaction
// as well as after it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "jet/database.h"
#include "sql/executor.h"
#include "sql/parser.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

ResultSet Select(const Database& db, const std::string& sql) {
  return sql::RunSelect(db, std::get<sql::SelectStatement>(sql::Parse(sql)));
}

// The rows and ids of a WHERE the index answers against the same WHERE put so that only a scan
// can answer it.
void ExpectSeekEqualsScan(const Database& db, const std::string& seek, const std::string& scan) {
  const ResultSet a = Select(db, "SELECT * FROM T WHERE " + seek);
  const ResultSet b = Select(db, "SELECT * FROM T WHERE " + scan);
  ASSERT_EQ(a.row_ids.size(), b.row_ids.size()) << seek;
  for (size_t i = 0; i < a.row_ids.size(); ++i) {
    EXPECT_TRUE(a.row_ids[i] == b.row_ids[i]) << seek << " row " << i;
    EXPECT_EQ(a.rows[i], b.rows[i]) << seek << " row " << i;
  }
}

void CheckAll(const Database& db) {
  for (int g = -1; g <= 21; ++g) {
    const std::string v = std::to_string(g);
    ExpectSeekEqualsScan(db, "Grp = " + v, "NOT (Grp <> " + v + ")");
    ExpectSeekEqualsScan(db, "Grp = '" + v + "' AND Code > 3", "NOT (Grp <> " + v + ") AND Code > 3");
  }
  for (int id : {0, 1, 17, 499, 1000, 70000}) {
    const std::string v = std::to_string(id);
    ExpectSeekEqualsScan(db, "Id = " + v, "NOT (Id <> " + v + ")");
  }
  // Values the column cannot hold or that are no whole number fall back to the scan's answer.
  ExpectSeekEqualsScan(db, "Grp = 3.5", "NOT (Grp <> 3.5)");
  ExpectSeekEqualsScan(db, "Grp = 99999", "NOT (Grp <> 99999)");
}

TEST(IndexSeekTest, SeekAgreesWithTheScanThroughRandomWrites) {
  testutil::TempDir dir;
  auto db = Database::Create(dir.File("seek.mdb"));
  db->Execute("CREATE TABLE T (Id LONG NOT NULL PRIMARY KEY, Grp SHORT, Code BYTE, Name TEXT(20))");
  db->Execute("CREATE INDEX ByGrp ON T (Grp DESC)");
  std::mt19937 rng(7);
  auto grp = [&]() -> Value {
    if (rng() % 10 == 0) return Value();
    return Value(static_cast<int16_t>(rng() % 21));
  };
  std::vector<RowId> ids;
  for (int32_t i = 0; i < 1500; ++i) {
    ids.push_back(db->InsertRow(u"T", {i, grp(), static_cast<uint8_t>(rng() % 8),
                                       std::u16string(u"n") + char16_t(u'a' + rng() % 26)}));
  }
  CheckAll(*db);
  db->Begin();
  for (int k = 0; k < 300; ++k) {
    const size_t at = rng() % ids.size();
    std::vector<Value> row = db->ReadRow(db->GetTable(u"T"), ids[at]);
    if (k % 3 == 0) {
      db->DeleteRow(u"T", ids[at]);
      ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(at));
    } else {
      row[1] = grp();
      db->UpdateRow(u"T", ids[at], row);
    }
  }
  CheckAll(*db);  // pending pages of the transaction are what the seek reads too
  db->Commit();
  CheckAll(*db);
}

}  // namespace
}  // namespace jet
