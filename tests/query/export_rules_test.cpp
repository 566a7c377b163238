// What an export does besides copying values: foreign keys that act like Access's relationships,
// AutoNumber counters that continue where Access stopped, names PostgreSQL can hold, and failures
// that leave nothing behind and never touch the source.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "export/export.h"
#include "readback.h"
#include "support/fixtures.h"
#include "support/write_test_util.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::vector<std::string>> SqliteRows(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* st = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK)
      << sql << ": " << sqlite3_errmsg(db);
  std::vector<std::vector<std::string>> out;
  while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      const unsigned char* t = sqlite3_column_text(st, i);
      row.push_back(t == nullptr ? "NULL" : reinterpret_cast<const char*>(t));
    }
    out.push_back(row);
  }
  sqlite3_finalize(st);
  return out;
}

void Exec(sqlite3* db, const std::string& sql) {
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
      << sql << ": " << sqlite3_errmsg(db);
}

std::string Export(const jet::Database& db, query::ExportFormat format, const std::string& out) {
  std::ostringstream notes;
  query::ExportOptions options;
  options.notes = &notes;
  query::Export(db, format, out, options);
  return notes.str();
}

// Four relationships with integrity become foreign keys with Access's actions; the one without
// does not, and says so. Enforced in SQLite, they cascade as they do in Access.
TEST(ExportRelationshipsTest, SqliteForeignKeysActLikeTheRelationships) {
  MDB_REQUIRE_FIXTURES();
  fixtures::ScratchDir dir;
  auto src = jet::Database::Open(fixtures::Path("relations.mdb"));
  const std::string out = dir.File("r.sqlite");
  const std::string notes = Export(*src, query::ExportFormat::kSqlite, out);
  EXPECT_NE(notes.find("\"SuppliersProducts\""), std::string::npos) << notes;

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(out.c_str(), &db), SQLITE_OK);
  std::set<std::string> fks;
  for (const char* t : {"Categories", "Customers", "Monsters", "OrderLines", "Orders", "Products",
                        "Suppliers", "Zones"}) {
    for (const auto& r : SqliteRows(db, std::string("PRAGMA foreign_key_list(\"") + t + "\")")) {
      fks.insert(std::string(t) + "." + r[3] + " -> " + r[2] + "." + r[4] + " update " + r[5] +
                 " delete " + r[6]);
    }
  }
  const std::set<std::string> expected = {
      "Orders.CustID -> Customers.CustID update CASCADE delete CASCADE",
      "OrderLines.OrderID -> Orders.OrderID update NO ACTION delete CASCADE",
      "Monsters.Zone -> Zones.ZoneName update CASCADE delete SET NULL",
      "Products.CatID -> Categories.CatID update NO ACTION delete NO ACTION",
  };
  EXPECT_EQ(fks, expected);

  Exec(db, "PRAGMA foreign_keys = ON");
  Exec(db, "DELETE FROM Customers WHERE CustID = 1");  // two levels of cascade
  EXPECT_EQ(SqliteRows(db, "SELECT count(*) FROM Orders WHERE CustID = 1")[0][0], "0");
  EXPECT_EQ(SqliteRows(db, "SELECT count(*) FROM OrderLines WHERE OrderID IN (10, 11)")[0][0], "0");
  const std::string zone = SqliteRows(db, "SELECT Zone FROM Monsters WHERE Zone IS NOT NULL")[0][0];
  Exec(db, "UPDATE Zones SET ZoneName = 'renamed' WHERE ZoneName = '" + zone + "'");
  EXPECT_NE(SqliteRows(db, "SELECT count(*) FROM Monsters WHERE Zone = 'renamed'")[0][0], "0");
  Exec(db, "DELETE FROM Zones WHERE ZoneName = 'renamed'");
  EXPECT_EQ(SqliteRows(db, "SELECT count(*) FROM Monsters WHERE Zone = 'renamed'")[0][0], "0");
  EXPECT_NE(sqlite3_exec(db, "DELETE FROM Categories", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

TEST(ExportRelationshipsTest, PostgresForeignKeysCarryTheActions) {
  MDB_REQUIRE_FIXTURES();
  readback::PostgresServer server;
  if (!server.running()) GTEST_SKIP() << "no PostgreSQL server: " << server.error();
  fixtures::ScratchDir dir;
  auto src = jet::Database::Open(fixtures::Path("relations.mdb"));
  const std::string out = dir.File("r.sql");
  Export(*src, query::ExportFormat::kPostgres, out);
  server.CreateDatabase("rel");
  int status = 0;
  const std::string log = testutil::RunCommand(
      server.Psql("rel") + " -v ON_ERROR_STOP=1 -f '" + out + "' 2>&1", &status);
  ASSERT_EQ(status, 0) << log;
  EXPECT_EQ(
      server.Query("rel",
                   "SELECT conrelid::regclass || ' ' || confrelid::regclass || ' ' || "
                   "confupdtype::text || confdeltype::text FROM pg_constraint WHERE contype = 'f' "
                   "ORDER BY 1"),
      "\"Monsters\" \"Zones\" cn\n\"OrderLines\" \"Orders\" ac\n"
      "\"Orders\" \"Customers\" cc\n\"Products\" \"Categories\" aa\n");
}

// A database of the test's own: an AutoNumber table whose last numbers were deleted, so the next
// number is above every key, and names too long for PostgreSQL.
class MadeDatabaseTest : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("made.mdb");
    auto db = jet::Database::Create(path_);
    jet::TableSpec items;
    items.name = u"Items";
    items.columns = {{u"ID", jet::ColumnType::kLong, 0, 18, 0, false, true},
                     {u"Label", jet::ColumnType::kText, 20, 18, 0, false, false}};
    items.primary_key = {u"ID"};
    db->CreateTable(items);
    std::vector<jet::RowId> ids;
    for (const char16_t* label : {u"a", u"b", u"c", u"d"}) {
      ids.push_back(db->InsertRow(u"Items", {jet::Value(), jet::Value(std::u16string(label))}));
    }
    db->DeleteRow(u"Items", ids[3]);  // 4 was handed out and is gone
    for (const std::u16string& name : LongNames()) {
      jet::TableSpec t;
      t.name = name;
      t.columns = {{name, jet::ColumnType::kLong, 0, 18, 0, true, false}};
      t.primary_key = {name};
      db->CreateTable(t);
      db->InsertRow(name, {jet::Value(int32_t{7})});
    }
  }

  // Two 40-character names (120 bytes of UTF-8) that differ only at the end.
  static std::vector<std::u16string> LongNames() {
    const std::u16string stem(39, u'表');
    return {stem + u"一", stem + u"二"};
  }

  fixtures::ScratchDir dir_;
  std::string path_;
};

TEST_F(MadeDatabaseTest, SqliteAutoNumberContinuesAfterTheLastNumberHandedOut) {
  auto src = jet::Database::Open(path_);
  const std::string out = dir_.File("made.sqlite");
  Export(*src, query::ExportFormat::kSqlite, out);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(out.c_str(), &db), SQLITE_OK);
  const std::string ddl =
      SqliteRows(db, "SELECT sql FROM sqlite_master WHERE name = 'Items'")[0][0];
  EXPECT_NE(ddl.find("\"ID\" INTEGER PRIMARY KEY AUTOINCREMENT"), std::string::npos) << ddl;
  Exec(db, "INSERT INTO Items (Label) VALUES ('e')");
  EXPECT_EQ(SqliteRows(db, "SELECT ID FROM Items WHERE Label = 'e'")[0][0], "5");
  sqlite3_close(db);
}

TEST_F(MadeDatabaseTest, PostgresGetsShortenedNamesAndTheIdentityCounter) {
  readback::PostgresServer server;
  if (!server.running()) GTEST_SKIP() << "no PostgreSQL server: " << server.error();
  auto src = jet::Database::Open(path_);
  const std::string out = dir_.File("made.sql");
  const std::string notes = Export(*src, query::ExportFormat::kPostgres, out);
  EXPECT_NE(notes.find("shortened"), std::string::npos) << notes;
  // The same database gives the same names.
  const std::string again = dir_.File("again.sql");
  Export(*src, query::ExportFormat::kPostgres, again);
  EXPECT_EQ(testutil::HashFile(out), testutil::HashFile(again));

  server.CreateDatabase("made");
  int status = 0;
  const std::string log = testutil::RunCommand(
      server.Psql("made") + " -v ON_ERROR_STOP=1 -f '" + out + "' 2>&1", &status);
  ASSERT_EQ(status, 0) << log;
  EXPECT_EQ(server.Query("made",
                         "SELECT count(*) FROM pg_tables WHERE schemaname = 'public' "
                         "AND octet_length(tablename) <= 63"),
            "3\n");
  EXPECT_EQ(server.Query("made", "INSERT INTO \"Items\" (\"Label\") VALUES ('e') RETURNING \"ID\""),
            "5\n");
}

// mdbtool export from a terminal's point of view: exit codes, messages, nothing left behind.
class ExportCommandTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!fixtures::Available()) GTEST_SKIP() << "shared fixtures not found at " MDB_SHARED_DIR;
    source_ = dir_.Copy("types.mdb");
    hash_ = testutil::HashFile(source_);
  }
  void TearDown() override {
    if (!source_.empty()) {
      EXPECT_EQ(testutil::HashFile(source_), hash_) << "source changed";
    }
  }

  // Runs mdbtool with `prefix` in front (a shell setting); returns the exit status.
  int Mdbtool(const std::string& args, const std::string& prefix = "") {
    int status = 0;
    output_ = testutil::RunCommand(
        "sh -c \"" + prefix + " '" + MDBTOOL_PATH + "' " + args + "\" 2>&1", &status);
    return status;
  }

  fixtures::ScratchDir dir_;
  std::string source_;
  uint64_t hash_ = 0;
  std::string output_;
};

TEST_F(ExportCommandTest, RefusesBadArgumentsAndExistingOutput) {
  EXPECT_EQ(Mdbtool("export '" + source_ + "' x.sqlite"), 2) << output_;
  EXPECT_EQ(Mdbtool("export --format xml '" + source_ + "' x.sqlite"), 2) << output_;
  EXPECT_EQ(Mdbtool("schema --sql csv '" + source_ + "'"), 2) << output_;

  const std::string taken = dir_.Write("taken", {1, 2, 3});
  for (const char* format : {"sqlite", "postgres", "csv"}) {
    SCOPED_TRACE(format);
    EXPECT_EQ(
        Mdbtool(std::string("export --format ") + format + " '" + source_ + "' '" + taken + "'"),
        1);
    EXPECT_NE(output_.find("exists"), std::string::npos) << output_;
    EXPECT_EQ(fixtures::ReadBytes(taken), (std::vector<uint8_t>{1, 2, 3}));
  }
  fs::create_directory(dir_.File("full"));
  dir_.Write("full/keep.txt", {7});
  EXPECT_EQ(Mdbtool("export --format csv '" + source_ + "' '" + dir_.File("full") + "'"), 1);
  EXPECT_NE(output_.find("not empty"), std::string::npos) << output_;
  EXPECT_EQ(
      Mdbtool("export --format sqlite '" + source_ + "' '" + dir_.File("no/such.sqlite") + "'"), 1);
  EXPECT_FALSE(fs::exists(dir_.File("no")));
}

// A full disk, played by a file size limit: the export fails, says so and removes what it wrote.
TEST_F(ExportCommandTest, FailureRemovesThePartialOutput) {
  const std::string big = fixtures::Path("big.mdb");
  const std::string limit = "trap '' XFSZ; ulimit -f 200;";  // 100 KB
  for (const char* format : {"sqlite", "postgres", "csv"}) {
    SCOPED_TRACE(format);
    const std::string out = dir_.File(std::string("out-") + format);
    EXPECT_EQ(
        Mdbtool(std::string("export --format ") + format + " '" + big + "' '" + out + "'", limit),
        1);
    EXPECT_NE(output_.find("removed"), std::string::npos) << output_;
    EXPECT_FALSE(fs::exists(out)) << out;
    EXPECT_FALSE(fs::exists(out + "-journal"));
  }
  // An existing empty directory stays; only the files are removed.
  fs::create_directory(dir_.File("empty"));
  EXPECT_EQ(Mdbtool("export --format csv '" + big + "' '" + dir_.File("empty") + "'", limit), 1);
  EXPECT_TRUE(fs::is_empty(dir_.File("empty")));
}

TEST_F(ExportCommandTest, SchemaSqlIsTheDdlTheExportRuns) {
  ASSERT_EQ(Mdbtool("schema --sql sqlite '" + source_ + "'"), 0) << output_;
  const std::string ddl = output_;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  Exec(db, ddl);
  const std::string out = dir_.File("t.sqlite");
  ASSERT_EQ(Mdbtool("export --format sqlite '" + source_ + "' '" + out + "'"), 0) << output_;
  EXPECT_NE(output_.find("exported 5 tables, 76 rows"), std::string::npos) << output_;
  sqlite3* exported = nullptr;
  ASSERT_EQ(sqlite3_open(out.c_str(), &exported), SQLITE_OK);
  const std::string all = "SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY name";
  EXPECT_EQ(SqliteRows(db, all), SqliteRows(exported, all));
  sqlite3_close(db);
  sqlite3_close(exported);

  ASSERT_EQ(Mdbtool("schema --sql postgres '" + source_ + "'"), 0) << output_;
  EXPECT_NE(output_.find("\"Cur\" numeric(19,4)"), std::string::npos);
  EXPECT_NE(output_.find("CREATE INDEX \"Order Details_ByPrice\" ON \"Order Details\" "
                         "(\"UnitPrice\" DESC, \"Quantity\")"),
            std::string::npos)
      << output_;
}

}  // namespace
