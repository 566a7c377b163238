// Exports of the shared samples read back through SQLite, a CSV reader and a PostgreSQL server
// of the test's own: every value equals the canonical dump, and keys, indexes and relationships
// with integrity are there.

#include "export/export.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "readback.h"
#include "support/fixtures.h"
#include "support/write_test_util.h"

namespace {

using readback::TableRows;
using Types = std::map<std::string, std::vector<jet::ColumnType>>;

Types ColumnTypes(const jet::Database& db) {
  Types out;
  for (const jet::TableListEntry& e : db.ListTables()) {
    if (e.type != "TABLE") continue;
    for (const jet::Column& c : db.GetTable(e.name).columns) {
      out[jet::ToUtf8(e.name)].push_back(c.type);
    }
  }
  return out;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Rows of a table that holds none are absent from the expected dump.
void ExpectSameRows(const TableRows& ours, const TableRows& expected) {
  for (const auto& [table, rows] : ours) {
    SCOPED_TRACE(table);
    auto it = expected.find(table);
    const std::vector<std::string> none;
    const std::vector<std::string>& want = it == expected.end() ? none : it->second;
    ASSERT_EQ(rows.size(), want.size());
    for (size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(rows[i], want[i]) << "row " << i;
  }
  for (const auto& [table, rows] : expected) EXPECT_EQ(ours.count(table), 1u) << table;
}

// A key as "table(colA,-colB)" plus "!" when unique: what a target must hold for each index
// of the source (the ".rB" copies Access keeps of primary keys collapse into them).
std::set<std::string> SourceKeys(const jet::Database& db) {
  std::set<std::string> keys;
  for (const jet::TableListEntry& e : db.ListTables()) {
    if (e.type != "TABLE") continue;
    const jet::TableDef def = db.GetTable(e.name);
    for (const jet::Index& ix : def.indexes) {
      std::string key = jet::ToUtf8(def.name) + "(";
      for (size_t i = 0; i < ix.columns.size(); ++i) {
        for (const jet::Column& c : def.columns) {
          if (c.number != ix.columns[i].column_number) continue;
          key += (i > 0 ? "," : "") + std::string(ix.columns[i].ascending ? "" : "-") +
                 jet::ToUtf8(c.name);
        }
      }
      keys.insert(key + ")" + (ix.unique || ix.primary ? "!" : ""));
    }
  }
  return keys;
}

std::vector<std::string> SqliteColumn(sqlite3* db, const std::string& sql, int column) {
  sqlite3_stmt* st = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
  std::vector<std::string> out;
  while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
    const unsigned char* t = sqlite3_column_text(st, column);
    out.push_back(t == nullptr ? "" : reinterpret_cast<const char*>(t));
  }
  sqlite3_finalize(st);
  return out;
}

std::string Q(const std::string& name) { return "\"" + name + "\""; }

// The keys an SQLite file holds, in the shape of SourceKeys, NOT NULL columns as "t.c".
std::set<std::string> SqliteKeys(sqlite3* db, std::set<std::string>& not_null) {
  std::set<std::string> keys;
  for (const std::string& t :
       SqliteColumn(db, "SELECT name FROM sqlite_master WHERE type = 'table'", 0)) {
    if (t == "sqlite_sequence") continue;
    const auto names = SqliteColumn(db, "PRAGMA table_info(" + Q(t) + ")", 1);
    const auto types = SqliteColumn(db, "PRAGMA table_info(" + Q(t) + ")", 2);
    const auto notnull = SqliteColumn(db, "PRAGMA table_info(" + Q(t) + ")", 3);
    const auto pk = SqliteColumn(db, "PRAGMA table_info(" + Q(t) + ")", 5);
    for (size_t i = 0; i < names.size(); ++i) {
      if (notnull[i] == "1") not_null.insert(t + "." + names[i]);
      if (pk[i] == "1" && types[i] == "INTEGER") {  // maybe the rowid
        keys.insert(t + "(" + names[i] + ")!");
        not_null.insert(t + "." + names[i]);
      }
    }
    const auto index_names = SqliteColumn(db, "PRAGMA index_list(" + Q(t) + ")", 1);
    const auto unique = SqliteColumn(db, "PRAGMA index_list(" + Q(t) + ")", 2);
    for (size_t i = 0; i < index_names.size(); ++i) {
      const std::string x = "PRAGMA index_xinfo(" + Q(index_names[i]) + ")";
      const auto cols = SqliteColumn(db, x, 2);
      const auto desc = SqliteColumn(db, x, 3);
      const auto is_key = SqliteColumn(db, x, 5);
      std::string key = t + "(";
      for (size_t c = 0; c < cols.size(); ++c) {
        if (is_key[c] != "1") continue;
        key += (key.back() == '(' ? "" : ",") + std::string(desc[c] == "1" ? "-" : "") + cols[c];
      }
      keys.insert(key + ")" + (unique[i] == "1" ? "!" : ""));
    }
  }
  return keys;
}

// Every fixture with an expected dump: "types", "access/jackcess-V1997-testV1997", ...
std::vector<std::string> AllFixtureNames() {
  std::vector<std::string> names;
  const std::string root = std::string(MDB_SHARED_DIR) + "/fixtures/";
  for (const std::string& path : fixtures::AllDatabases()) {
    std::string name = path.substr(root.size(), path.size() - root.size() - 4);
    names.push_back(name);
  }
  if (names.empty()) names.push_back("types");  // skipped with its reason
  return names;
}

class ExportFixture : public testing::Test {
 protected:
  // Opens fixture `name` ("types", "access/jackcess-V1997-testV1997") and its expected rows.
  void Load(const std::string& name) {
    db_ = jet::Database::Open(fixtures::Path(name + ".mdb"));
    types_ = ColumnTypes(*db_);
    std::string expected = name;
    if (expected.rfind("access/", 0) == 0) expected.replace(0, 7, "access-");
    expected_ = readback::ExpectedRows(expected);
  }

  query::ExportStats Run(query::ExportFormat format, const std::string& out) {
    query::ExportOptions options;
    options.notes = &notes_;
    options.progress = &progress_;
    return query::Export(*db_, format, out, options);
  }

  std::unique_ptr<jet::Database> db_;
  Types types_;
  TableRows expected_;
  fixtures::ScratchDir dir_;
  std::ostringstream notes_;
  std::ostringstream progress_;
};

class ExportTest : public ExportFixture, public testing::WithParamInterface<std::string> {
 protected:
  void SetUp() override {
    if (!fixtures::Available()) GTEST_SKIP() << "shared fixtures not found at " MDB_SHARED_DIR;
    Load(GetParam());
  }
};

TEST_P(ExportTest, SqliteHoldsEveryValueKeyAndIndex) {
  const std::string out = dir_.File("out.sqlite");
  Run(query::ExportFormat::kSqlite, out);
  ExpectSameRows(readback::SqliteRows(out, types_), expected_);

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(out.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::set<std::string> not_null;
  const std::set<std::string> keys = SqliteKeys(db, not_null);
  for (const std::string& key : SourceKeys(*db_)) {
    const std::string unique = key.back() == '!' ? key : key + "!";
    EXPECT_TRUE(keys.count(key) != 0 || keys.count(unique) != 0) << "missing index " << key;
  }
  for (const jet::TableListEntry& e : db_->ListTables()) {
    if (e.type != "TABLE") continue;
    for (const jet::Column& c : db_->GetTable(e.name).columns) {
      if (!c.required) continue;
      EXPECT_EQ(not_null.count(jet::ToUtf8(e.name) + "." + jet::ToUtf8(c.name)), 1u);
    }
  }
  EXPECT_TRUE(SqliteColumn(db, "PRAGMA foreign_key_check", 0).empty());
  sqlite3_close(db);

  // Big tables report progress; small ones do not.
  const bool big = GetParam() == "big";
  EXPECT_EQ(progress_.str().find("StdItems: 200000 of 200000 rows (100%)") != std::string::npos,
            big);
}

TEST_P(ExportTest, CsvHoldsEveryValue) {
  const std::string out = dir_.File("csv");
  Run(query::ExportFormat::kCsv, out);
  TableRows ours;
  for (const auto& [table, types] : types_) {
    const std::string text = ReadText(out + "/" + table + ".csv");
    ASSERT_FALSE(text.rfind("\xEF\xBB\xBF", 0) == 0) << "no byte order mark";
    const readback::CsvRecords records = readback::ParseCsv(text);
    ASSERT_FALSE(records.empty());
    const jet::TableDef def = db_->GetTable(jet::FromUtf8(table));
    ASSERT_EQ(records[0].size(), def.columns.size());
    for (size_t i = 0; i < def.columns.size(); ++i) {
      EXPECT_EQ(records[0][i].text, jet::ToUtf8(def.columns[i].name));
    }
    ours[table] = readback::CsvRows(records, types);
  }
  ExpectSameRows(ours, expected_);
}

// One server for every sample: each export is loaded into a database of its own with psql.
class PostgresExportTest : public ExportFixture {
 protected:
  void SetUp() override {
    if (!fixtures::Available()) GTEST_SKIP() << "shared fixtures not found at " MDB_SHARED_DIR;
  }

  // Loads the export of the current fixture and checks its values and keys.
  void LoadAndCompare(const readback::PostgresServer& server, const std::string& db_name) {
    const std::string out = dir_.File(db_name + ".sql");
    Run(query::ExportFormat::kPostgres, out);
    server.CreateDatabase(db_name);
    int status = 0;
    const std::string log = testutil::RunCommand(
        server.Psql(db_name) + " -v ON_ERROR_STOP=1 -f '" + out + "' 2>&1", &status);
    ASSERT_EQ(status, 0) << log;

    TableRows ours;
    for (const auto& [table, types] : types_) {
      ours[table] =
          readback::CopyRows(server.Query(db_name, "COPY " + Q(table) + " TO STDOUT"), types);
    }
    ExpectSameRows(ours, expected_);

    // Keys: "table(a,-b)!" as in SourceKeys, from the catalog.
    const std::string keys_sql =
        "SELECT c.relname || '(' || string_agg(CASE WHEN (i.indoption[k.n - 1] & 1) = 1 "
        "THEN '-' ELSE '' END || a.attname, ',' ORDER BY k.n) || ')' || "
        "CASE WHEN i.indisunique THEN '!' ELSE '' END "
        "FROM pg_index i JOIN pg_class c ON c.oid = i.indrelid "
        "JOIN pg_namespace s ON s.oid = c.relnamespace AND s.nspname = 'public' "
        "CROSS JOIN LATERAL generate_series(1, i.indnkeyatts) AS k(n) "
        "JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum = i.indkey[k.n - 1] "
        "GROUP BY i.indexrelid, c.relname, i.indisunique";
    std::set<std::string> keys;
    std::istringstream lines(server.Query(db_name, keys_sql));
    for (std::string line; std::getline(lines, line);) keys.insert(line);
    for (const std::string& key : SourceKeys(*db_)) {
      std::string unique = key.back() == '!' ? key : key + "!";
      // A primary key keeps no order in PostgreSQL: its columns are compared ascending.
      std::string ascending = unique;
      ascending.erase(std::remove(ascending.begin(), ascending.end(), '-'), ascending.end());
      EXPECT_TRUE(keys.count(key) != 0 || keys.count(unique) != 0 || keys.count(ascending) != 0)
          << "missing index " << key;
    }
  }
};

TEST_F(PostgresExportTest, PsqlLoadsEveryValueKeyAndIndexOfEverySample) {
  readback::PostgresServer server;
  if (!server.running()) GTEST_SKIP() << "no PostgreSQL server: " << server.error();
  int n = 0;
  for (const std::string& name : AllFixtureNames()) {
    SCOPED_TRACE(name);
    Load(name);
    LoadAndCompare(server, "db" + std::to_string(++n));
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, ExportTest, testing::ValuesIn(AllFixtureNames()),
                         [](const testing::TestParamInfo<std::string>& param) {
                           std::string name = param.param;
                           for (char& c : name)
                             c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
