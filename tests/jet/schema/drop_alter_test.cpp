// DROP TABLE, DROP INDEX, DROP CONSTRAINT and ALTER TABLE ADD/DROP COLUMN through the engine's SQL on copies of
// real files: after each accepted statement the checker passes and mdbtools reads the same
// tables and rows; a refused statement leaves the file byte-for-byte as it was. Everything runs
// on one handle, so its catalog has to follow its own schema changes.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

using testutil::TempDir;

// What must hold after a step: a table listed (or not), a table's column and index names.
struct Step {
  Step(std::string s, std::optional<Error::Kind> r = {}, std::string t = {}, bool e = true,
       std::vector<std::u16string> cols = {}, std::vector<std::u16string> idx = {},
       bool check = false)
      : sql(std::move(s)), refused(r), table(std::move(t)), exists(e), columns(std::move(cols)),
        indexes(std::move(idx)), check_indexes(check) {}
  std::string sql;
  std::optional<Error::Kind> refused;  // set: the statement must fail with this kind
  std::string table;                   // checked after the step when not empty
  bool exists = true;                  // whether `table` is listed
  std::vector<std::u16string> columns;  // `table`'s columns, when not empty
  std::vector<std::u16string> indexes;  // `table`'s indexes, when `check_indexes`
  bool check_indexes = false;
};

struct Case {
  const char* name;
  const char* fixture;
  std::vector<Step> steps;
};

std::vector<Case> Cases() {
  using K = Error::Kind;
  return {
      {"DropTableWithIndexes",
       "game-indexed.mdb",
       {{"DROP TABLE Magic", {}, "Magic", false},
        {"SELECT * FROM Magic", K::kNotFound},
        {"DROP TABLE Magic", K::kNotFound},
        {"DROP TABLE [Monster]", {}, "Monster", false},
        // the freed pages are taken again by a new table in the same handle
        {"CREATE TABLE Magic (Id LONG PRIMARY KEY, Name TEXT(40))", {}, "Magic", true},
        {"INSERT INTO Magic (Id, Name) VALUES (1, 'Fire')"},
        {"SELECT * FROM Magic WHERE Id = 1"}}},
      {"DropIndexes",
       "game-indexed.mdb",
       {{"DROP INDEX Zone ON Monster", {}, "Monster", true, {}, {u"PrimaryKey"}, true},
        {"DROP INDEX Zone ON Monster", K::kNotFound},
        {"DROP INDEX PrimaryKey ON StdItems", {}, "StdItems", true, {}, {}, true},
        {"INSERT INTO StdItems (Idx, Name) VALUES (100000, 'x')"},
        {"CREATE INDEX Zone ON Monster (Zone)", {}, "Monster", true, {},
         {u"PrimaryKey", u"Zone"}, true}}},
      {"DropTablesWithLongValues",
       "types.mdb",
       {{"DROP INDEX ByPrice ON [Order Details]", {}, "Order Details", true, {},
         {u"PrimaryKey"}, true},
        {"DROP TABLE AllTypes", {}, "AllTypes", false},
        {"DROP TABLE [Order Details]", {}, "Order Details", false},
        {"DROP TABLE EmptyTable", {}, "EmptyTable", false}}},
      {"RelationshipsRefuse",
       "relations.mdb",
       {{"DROP TABLE Customers", K::kConstraint},
        {"DROP TABLE OrderLines", K::kConstraint},
        {"DROP TABLE Suppliers", K::kConstraint},  // a relationship without integrity too
        {"DROP INDEX PrimaryKey ON Customers", K::kConstraint},
        {"DROP INDEX PrimaryKey ON Orders", K::kConstraint},
        {"DROP TABLE MSysObjects", K::kNotSupported},
        {"DROP TABLE NoSuchTable", K::kNotFound},
        {"DROP INDEX NoSuchIndex ON Customers", K::kNotFound}}},
      {"DropConstraints",
       "relations.mdb",
       {{"ALTER TABLE Customers DROP CONSTRAINT CustomersOrders", K::kNotFound},  // wrong side
        {"ALTER TABLE Orders DROP CONSTRAINT NoSuchRelationship", K::kNotFound},
        {"ALTER TABLE Orders DROP CONSTRAINT CustomersOrders", {}, "Orders", true, {},
         {u"PrimaryKey", u".rB"}, true},  // .rB: OrderLines points back
        // the referenced side keeps its primary key and loses only the back pointer
        {"DROP INDEX PrimaryKey ON Customers", {}, "Customers", true, {}, {}, true},
        {"DROP TABLE Customers", {}, "Customers", false},
        {"INSERT INTO Orders (OrderID, CustID) VALUES (900, 12345)"},  // no longer checked
        {"ALTER TABLE Products DROP CONSTRAINT SuppliersProducts"},  // without integrity
        {"DROP TABLE Suppliers", {}, "Suppliers", false},
        {"ALTER TABLE OrderLines DROP CONSTRAINT OrdersOrderLines"},
        {"ALTER TABLE Monsters DROP CONSTRAINT ZonesMonsters"},
        {"ALTER TABLE Products DROP CONSTRAINT CategoriesProducts"},
        {"DROP TABLE Orders", {}, "Orders", false},
        {"DROP TABLE Zones", {}, "Zones", false}}},
      {"AccessFileJet4",
       "access/jackcess-V2000-testV2000.mdb",
       {{"DROP TABLE Table2", {}, "Table2", false},
        {"DROP TABLE Table1", {}, "Table1", false}}},
      {"AccessFileJet3",
       "access/jackcess-V1997-testV1997.mdb",
       {{"DROP TABLE Table2", {}, "Table2", false},
        {"DROP TABLE Table1", {}, "Table1", false}}},
  };
}

class DropAlterTest : public testing::TestWithParam<Case> {};

bool Listed(const Database& db, const std::string& table) {
  for (const TableListEntry& t : db.ListTables()) {
    if (ToUtf8(t.name) == table) return true;
  }
  return false;
}

TEST_P(DropAlterTest, StatementsAsAccessStoresThem) {
  const Case& c = GetParam();
  if (testutil::FixturePath(c.fixture).empty()) GTEST_SKIP() << "no shared fixtures";
  TempDir dir;
  const std::string file = testutil::CopyFixture(dir, c.fixture);
  std::unique_ptr<Database> db = Database::Open(file, OpenOptions{.mode = OpenMode::kReadWrite});
  for (const Step& step : c.steps) {
    SCOPED_TRACE(step.sql);
    const uint64_t before = testutil::HashFile(file);
    if (step.refused) {
      try {
        db->Execute(step.sql);
        ADD_FAILURE() << "accepted";
      } catch (const Error& e) {
        EXPECT_EQ(e.kind(), *step.refused) << e.what();
      }
      EXPECT_EQ(testutil::HashFile(file), before) << "a refused statement changed the file";
      continue;
    }
    ASSERT_NO_THROW(db->Execute(step.sql));
    if (!step.table.empty()) {
      EXPECT_EQ(Listed(*db, step.table), step.exists);
      if (step.exists) {
        const TableDef t = db->GetTable(FromUtf8(step.table));
        if (!step.columns.empty()) {
          std::vector<std::u16string> names;
          for (const Column& col : t.columns) names.push_back(col.name);
          EXPECT_EQ(names, step.columns);
        }
        if (step.check_indexes) {
          std::vector<std::u16string> names;
          for (const Index& idx : t.indexes) names.push_back(idx.name);
          EXPECT_EQ(names, step.indexes);
        }
      } else {
        EXPECT_THROW(db->GetTable(FromUtf8(step.table)), Error);
      }
    }
    const CheckReport report = CheckFile(file);
    EXPECT_TRUE(report.ok()) << report.problems.front();
    if (testutil::MdbtoolsComparisonAvailable()) {
      EXPECT_EQ(testutil::CompareWithMdbtools(dir, file), "AGREE");
    }
  }
  // A second handle reads what the first one wrote.
  db.reset();
  std::unique_ptr<Database> again = Database::Open(file);
  for (const Step& step : c.steps) {
    if (!step.refused && !step.table.empty() && &step == &c.steps.back()) {
      EXPECT_EQ(Listed(*again, step.table), step.exists);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, DropAlterTest, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<Case>& p) {
                           return std::string(p.param.name);
                         });

}  // namespace
}  // namespace jet
