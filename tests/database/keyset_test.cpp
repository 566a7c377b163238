// Keyset queries: a query keeps row ids and reads rows through a bounded cache. On every fixture
// table the records must be those of a full read by the engine, in the same order, with a cache
// far smaller than the table; and a sequence of edits, inserts and deletes through the query
// must leave the records, the positions and the file exactly as with a cache holding everything.

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <QLocale>
#include <gtest/gtest.h>

#include "database/connection.h"
#include "database/field.h"
#include "database/field_values.h"
#include "database/query.h"
#include "database/quote_name.h"
#include "db_test_util.h"
#include "jet/database.h"
#include "jet/error.h"
#include "shared/share.h"
#include "support/write_test_util.h"

namespace {

using namespace database;  // NOLINT: the toolkit's ds*/ft* names

const char* const kFixtures[] = {"game-indexed.mdb", "game-unindexed.mdb", "types.mdb",
                                 "unicode-bmp.mdb",  "unicode-index.mdb",  "relations.mdb"};

// A connection on a private copy of a fixture.
struct Copy {
  Copy(const testutil::TempDir& dir, const std::string& fixture, const std::string& as) {
    path = dir.File(as);
    std::filesystem::copy_file(testutil::FixturePath(fixture), path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    conn.SetConnectionString(
        QString(ConnectionTemplate).replace(QLatin1String("%s"), QString::fromStdString(path)));
    conn.Open();
  }
  std::unique_ptr<Query> Open(const QString& sql, size_t cache) {
    auto q = std::make_unique<Query>();
    q->SetRowCacheSize(cache);
    q->SetConnection(&conn);
    q->SetSQL(sql);
    q->Open();
    return q;
  }
  std::string path;
  Connection conn;
};

// Every cell of record `r` as its display text, nulls marked.
QString RecordText(const Query& q, int r) {
  QString text;
  for (int f = 0; f < q.FieldCount(); ++f) {
    text += q.IsNullAt(r, f) ? QStringLiteral("<null>") : q.DisplayTextAt(r, f);
    text += QLatin1Char('|');
  }
  return text;
}

// The same record from the engine's fully buffered result.
QString EngineText(const Query& q, const jet::ResultSet& full, int r) {
  QString text;
  for (int f = 0; f < q.FieldCount(); ++f) {
    const Field* field = q.Fields(f);
    size_t c = 0;
    while (c < full.columns.size() &&
           ToQString(full.columns[c].name).compare(field->FieldName(), Qt::CaseInsensitive) != 0) {
      ++c;
    }
    const jet::Value& v = full.rows[static_cast<size_t>(r)][c];
    text += v.is_null() ? QStringLiteral("<null>") : DisplayText(v, field->DataType(), QLocale());
    text += QLatin1Char('|');
  }
  return text;
}

// The records compared in a result of `n`: all of them in a small one; in a large one (the 63,486
// characters of unicode-bmp.mdb) both ends and an even spread, which keeps the suite quick.
std::vector<int> Sample(int n) {
  std::vector<int> out;
  const int stride = n <= 4000 ? 1 : n / 1000;
  for (int r = 0; r < n; ++r) {
    if (r < 200 || r >= n - 200 || r % stride == 0) out.push_back(r);
  }
  return out;
}

class KeysetTest : public dbtest::DbTest {};

// Every table of every fixture, whole and in the orders an index gives or a sort makes, with a
// cache of 3 rows, visited forwards, backwards and by jumps.
TEST_F(KeysetTest, EveryFixtureTableReadsAsTheEngineFullRead) {
  int tables = 0;
  for (const char* fixture : kFixtures) {
    if (testutil::FixturePath(fixture).empty()) GTEST_SKIP() << "no ../shared fixtures";
    Copy copy(dir_, fixture, std::string("read-") + fixture);
    jet::Database& db = copy.conn.Engine();
    for (const jet::TableListEntry& entry : db.ListTables()) {
      if (entry.type != "TABLE") continue;
      const jet::TableDef def = db.GetTable(entry.name);
      const QString name = QuoteName(ToQString(entry.name));
      std::vector<QString> statements = {QStringLiteral("SELECT * FROM ") + name};
      for (const jet::Column& c : def.columns) {
        if (c.type == jet::ColumnType::kOle || c.type == jet::ColumnType::kMemo) continue;
        const QString col = QuoteName(ToQString(c.name));
        statements.push_back(QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(name, col));
        statements.push_back(QStringLiteral("SELECT * FROM %1 ORDER BY %2 DESC").arg(name, col));
      }
      if (!def.columns.empty() && def.columns[0].type == jet::ColumnType::kLong) {
        const QString col = QuoteName(ToQString(def.columns[0].name));
        statements.push_back(QStringLiteral("SELECT * FROM %1 WHERE %2 = 3").arg(name, col));
        statements.push_back(
            QStringLiteral("SELECT * FROM %1 WHERE %2 = 3 OR %2 = 5 ORDER BY %2").arg(name, col));
      }
      for (const QString& sql : statements) {
        SCOPED_TRACE(std::string(fixture) + ": " + sql.toStdString());
        const jet::ResultSet full = db.Query(sql.toStdString());
        auto q = copy.Open(sql, 3);
        ASSERT_EQ(q->RecordCount(), static_cast<int>(full.rows.size()));
        const int n = q->RecordCount();
        const std::vector<int> sample = Sample(n);
        for (int r : sample) ASSERT_EQ(RecordText(*q, r), EngineText(*q, full, r)) << r;
        for (size_t i = sample.size(); i > 0; i = i > 7 ? i - 7 : 0) {  // backwards, by jumps
          ASSERT_EQ(RecordText(*q, sample[i - 1]), EngineText(*q, full, sample[i - 1]));
        }
        if (n > 0) {
          q->Last();
          EXPECT_EQ(q->RecNo(), n);
          EXPECT_TRUE(q->Eof());
          q->MoveBy(-(n / 2));
          EXPECT_EQ(q->CurrentIndex(), n - 1 - n / 2);
          EXPECT_TRUE(q->FindFirst());
          EXPECT_EQ(q->RecNo(), 1);
        }
      }
      ++tables;
    }
  }
  EXPECT_GT(tables, 10);
}

// The same random edits, inserts, deletes and moves on two copies of every fixture table: one
// query a keyset with a one-row cache, the other the engine's full read held whole (cache size 0,
// the behaviour before keysets). Records, positions, states and the written files must be the
// same; afterwards the keyset's records must be the table's rows.
TEST_F(KeysetTest, WritesThroughATinyCacheMatchAFullRead) {
  int run = 0;
  int writes = 0;
  for (const char* fixture : kFixtures) {
    if (testutil::FixturePath(fixture).empty()) GTEST_SKIP() << "no ../shared fixtures";
    std::vector<QString> statements;
    {
      auto db = jet::Database::Open(testutil::FixturePath(fixture));
      for (const jet::TableListEntry& entry : db->ListTables()) {
        if (entry.type == "TABLE") {
          statements.push_back(QStringLiteral("SELECT * FROM ") + QuoteName(ToQString(entry.name)));
        }
      }
    }
    statements.push_back(QStringLiteral("SELECT * FROM StdItems ORDER BY Price DESC"));
    for (const QString& sql : statements) {
      SCOPED_TRACE(std::string(fixture) + ": " + sql.toStdString());
      ++run;
      Copy keyed(dir_, fixture, "keyed-" + std::to_string(run) + fixture);
      Copy whole(dir_, fixture, "whole-" + std::to_string(run) + fixture);
      std::unique_ptr<Query> a;
      try {
        a = keyed.Open(sql, 1);
      } catch (const jet::Error&) {
        continue;  // no StdItems in this file
      }
      auto b = whole.Open(sql, 0);
      if (a->FieldCount() == 0) continue;
      std::mt19937 rng(11 + run);
      auto pick = [&](int n) { return n > 0 ? static_cast<int>(rng() % static_cast<unsigned>(n)) : 0; };
      for (int step = 0; step < 60; ++step) {
        const int op = pick(6);
        const int count = a->RecordCount();
        const int target = pick(count);
        const int source = pick(count);
        const int field = pick(a->FieldCount());
        // Values come from other records, so that every column type gets values it accepts;
        // an insert gets a fresh first field (most tables' key).
        auto apply = [&](Query& q) -> std::string {
          try {
            switch (op) {
              case 0:
                q.MoveTo(target);
                break;
              case 1:
                if (count == 0) break;
                q.MoveTo(target);
                q.Edit();
                q.Fields(field)->SetValue(q.ValueAt(source, field));
                q.Post();
                break;
              case 2: {
                std::vector<QVariant> values;
                for (int f = 0; f < q.FieldCount() && count > 0; ++f) {
                  values.push_back(q.ValueAt(source, f));
                }
                q.Insert();
                for (int f = 1; f < static_cast<int>(values.size()); ++f) {
                  q.Fields(f)->SetValue(values[static_cast<size_t>(f)]);
                }
                q.Fields(0)->SetAsString(QString::number(900 + step));
                q.Post();
                break;
              }
              case 3:
                if (count == 0) break;
                q.MoveTo(target);
                q.Delete();
                break;
              case 4:
                q.Last();
                q.Prior();
                break;
              case 5:  // an edit abandoned
                if (count == 0) break;
                q.MoveTo(target);
                q.Edit();
                q.Fields(field)->SetValue(q.ValueAt(source, field));
                q.Cancel();
                break;
            }
          } catch (const jet::Error& e) {
            q.Cancel();
            return e.what();
          }
          return "";
        };
        const std::string ea = apply(*a);
        const std::string eb = apply(*b);
        ASSERT_EQ(ea, eb) << "step " << step;
        if (ea.empty() && op >= 1 && op <= 3 && count > 0) ++writes;
        ASSERT_EQ(a->RecordCount(), b->RecordCount()) << "step " << step;
        ASSERT_EQ(a->CurrentIndex(), b->CurrentIndex()) << "step " << step;
        ASSERT_EQ(a->State(), b->State()) << "step " << step;
        ASSERT_EQ(a->Eof(), b->Eof()) << "step " << step;
        ASSERT_EQ(a->Bof(), b->Bof()) << "step " << step;
        // The current record, the one written and a few others (all of them at the end).
        for (int r : {a->CurrentIndex(), target, pick(a->RecordCount()), pick(a->RecordCount())}) {
          if (r < 0 || r >= a->RecordCount()) continue;
          ASSERT_EQ(RecordText(*a, r), RecordText(*b, r)) << "step " << step << " record " << r;
        }
      }
      for (int r : Sample(a->RecordCount())) {
        ASSERT_EQ(RecordText(*a, r), RecordText(*b, r)) << "record " << r;
      }
      EXPECT_EQ(testutil::HashFile(keyed.path), testutil::HashFile(whole.path));
      // The records are the table's rows (as a multiset: inserted records stay where they were
      // inserted, a fresh read has them in table order).
      auto fresh = keyed.Open(sql, 5);
      std::vector<QString> have;
      std::vector<QString> want;
      ASSERT_EQ(a->RecordCount(), fresh->RecordCount());
      if (a->RecordCount() > 4000) continue;  // the sample above has compared it with the full read
      for (int r = 0; r < a->RecordCount(); ++r) have.push_back(RecordText(*a, r));
      for (int r = 0; r < fresh->RecordCount(); ++r) want.push_back(RecordText(*fresh, r));
      std::sort(have.begin(), have.end());
      std::sort(want.begin(), want.end());
      EXPECT_EQ(have, want);
    }
  }
  EXPECT_GT(writes, 100);
}

// A row deleted through another query on the same connection shows as empty, not as an error.
TEST_F(KeysetTest, ARowDeletedElsewhereShowsEmpty) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  auto a = OpenQuery(QStringLiteral("SELECT * FROM Settings"));
  a->SetRowCacheSize(1);
  auto b = OpenQuery(QStringLiteral("SELECT * FROM Settings"));
  const int n = a->RecordCount();
  ASSERT_GT(n, 2);
  b->MoveTo(n - 1);
  b->Delete();
  EXPECT_EQ(a->DisplayTextAt(0, 0), b->DisplayTextAt(0, 0));  // moves the one cached row away
  EXPECT_TRUE(a->IsNullAt(n - 1, 0));
  EXPECT_EQ(a->RecordCount(), n);
}

}  // namespace
