// DROP TABLE, DROP INDEX, DROP CONSTRAINT and ALTER TABLE ADD/DROP COLUMN through the engine's
// SQL on copies of real files, with rows written and changed between them: after each accepted
// statement the checker passes and mdbtools reads the same tables and rows; a refused statement
// leaves the file byte-for-byte as it was. Everything runs on one handle, so its catalog has to
// follow its own schema changes.

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

// A table of `n` DECIMAL(28,0) columns (17 bytes each in the fixed area), so that a row of 236
// of them is 12 bytes short of Jet4's 4060 and the definition spans two pages.
std::string WideTable(int n) {
  std::string sql = "CREATE TABLE Wide (";
  for (int i = 0; i < n; ++i) sql += (i ? ", d" : "d") + std::to_string(i) + " DECIMAL(28,0)";
  return sql + ")";
}

std::vector<Case> Cases() {
  using K = Error::Kind;
  const std::string memo(150, 'm');  // kept in an LVAL page, not in the row
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
      {"AddDropColumnsJet4",
       "types.mdb",
       {// Order Details has never had a variable column: its rows get an offset table
        {"ALTER TABLE [Order Details] ADD COLUMN Remark TEXT(30)", {}, "Order Details", true,
         {u"OrderID", u"ProductID", u"UnitPrice", u"Quantity", u"Discount", u"Remark"}},
        {"UPDATE [Order Details] SET Remark = 'bulk order' WHERE Quantity > 10"},
        {"INSERT INTO [Order Details] (OrderID, ProductID, Quantity, Remark) "
         "VALUES (99999, 1, 2, 'added')"},
        {"CREATE INDEX ByRemark ON [Order Details] (Remark)", {}, "Order Details", true, {},
         {u"PrimaryKey", u"ByPrice", u"ByRemark"}, true},
        {"ALTER TABLE [Order Details] DROP COLUMN Remark", K::kConstraint},  // indexed
        {"ALTER TABLE [Order Details] DROP COLUMN OrderID", K::kConstraint},  // primary key
        {"ALTER TABLE [Order Details] ADD OrderID LONG", K::kInvalidArgument},
        {"ALTER TABLE [Order Details] ADD Required LONG NOT NULL", K::kConstraint},  // has rows
        {"ALTER TABLE [Order Details] ADD Seq COUNTER", K::kConstraint},
        {"ALTER TABLE [Order Details] DROP COLUMN Nowhere", K::kNotFound},
        {"ALTER TABLE Nowhere ADD X LONG", K::kNotFound},
        {"ALTER TABLE MSysObjects ADD X LONG", K::kNotSupported},
        {"DROP INDEX ByRemark ON [Order Details]"},
        {"ALTER TABLE [Order Details] DROP COLUMN Remark", {}, "Order Details", true,
         {u"OrderID", u"ProductID", u"UnitPrice", u"Quantity", u"Discount"}},
        {"ALTER TABLE [Order Details] DROP Discount"},  // a fixed column: its bytes stay in rows
        {"INSERT INTO [Order Details] (OrderID, ProductID, Quantity) VALUES (99999, 2, 3)"},
        // takes the fixed-area bytes the dropped Discount has in older rows
        {"ALTER TABLE [Order Details] ADD Weight DOUBLE", {}, "Order Details", true,
         {u"OrderID", u"ProductID", u"UnitPrice", u"Quantity", u"Weight"}},
        {"ALTER TABLE [Order Details] ADD Shipped BIT"},
        {"INSERT INTO [Order Details] (OrderID, ProductID, Weight, Shipped) "
         "VALUES (99999, 3, 1.5, True)"},
        {"UPDATE [Order Details] SET Weight = 2.25, Shipped = True WHERE ProductID = 11"},
        // long values: a dropped MEMO column's maps go, a new one gets its own
        {"ALTER TABLE AllTypes DROP COLUMN Note"},
        {"ALTER TABLE AllTypes ADD Note MEMO"},
        {"INSERT INTO AllTypes (RowNo, Note) VALUES (100, '" + memo + "')"},
        {"UPDATE AllTypes SET Note = '" + memo + "' WHERE RowNo = 3"},
        {"DELETE FROM AllTypes WHERE RowNo = 4"}}},
      {"ColumnRulesOnEmptyTables",
       "types.mdb",
       {{"ALTER TABLE EmptyTable ADD Code LONG NOT NULL"},
        {"INSERT INTO EmptyTable (ID, Name) VALUES (1, 'a')", K::kConstraint},
        {"ALTER TABLE EmptyTable ADD Seq COUNTER"},
        {"INSERT INTO EmptyTable (ID, Code) VALUES (1, 7)"},
        {"ALTER TABLE EmptyTable ADD Seq2 AUTOINCREMENT", K::kInvalidArgument},  // one only
        {"DELETE FROM EmptyTable"},
        // the dropped column's NOT NULL goes with it, not to a new column of the same name
        {"ALTER TABLE EmptyTable DROP COLUMN Code"},
        {"ALTER TABLE EmptyTable ADD Code TEXT(10)"},
        {"INSERT INTO EmptyTable (ID, Name) VALUES (2, 'b')"},
        {"CREATE TABLE One (A LONG)"},
        {"ALTER TABLE One DROP COLUMN A", K::kInvalidArgument},
        {WideTable(236)},
        {"ALTER TABLE Wide ADD d236 DECIMAL(28,0)", K::kInvalidArgument},  // 5 bytes too many
        {"ALTER TABLE Wide ADD Label TEXT(20)"},
        {"INSERT INTO Wide (d0, d235, Label) VALUES (1, 2, 'wide')"}}},
      {"RelationshipColumns",
       "relations.mdb",
       {{"DROP INDEX PrimaryKey ON Suppliers", {}, "Suppliers", true, {}, {}, true},
        // no index left, but the relationship without integrity still names the column
        {"ALTER TABLE Suppliers DROP COLUMN SupplierID", K::kConstraint},
        {"ALTER TABLE Products DROP COLUMN SupplierID", K::kConstraint},
        {"ALTER TABLE Products DROP COLUMN Title", {}, "Products", true,
         {u"ProdID", u"CatID", u"SupplierID"}}}},
      {"AddDropColumnsJet3",
       "access/jackcess-V1997-testV1997.mdb",
       {{"ALTER TABLE Table1 ADD COLUMN J TEXT(20)"},
        {"ALTER TABLE Table1 ADD K MEMO"},
        {"ALTER TABLE Table1 ADD L LONG", {}, "Table1", true,
         {u"A", u"B", u"C", u"D", u"E", u"F", u"G", u"H", u"I", u"J", u"K", u"L"}},
        {"INSERT INTO Table1 (A, J, K, L) VALUES ('zz', 'jay', '" + memo + "', 7)"},
        {"UPDATE Table1 SET J = 'upd', L = 8 WHERE A = 'a'"},
        {"CREATE INDEX ByJ ON Table1 (J)"},
        {"ALTER TABLE Table1 DROP COLUMN B", K::kConstraint},  // index B
        {"ALTER TABLE Table1 DROP COLUMN D", {}, "Table1", true,
         {u"A", u"B", u"C", u"E", u"F", u"G", u"H", u"I", u"J", u"K", u"L"}},
        {"ALTER TABLE Table1 DROP COLUMN K"},
        {"INSERT INTO Table1 (A, B, J) VALUES ('yy', 'b', 'j2')"},
        {"ALTER TABLE Table1 ADD M DOUBLE"},  // after the dropped D: every row is rewritten
        {"UPDATE Table1 SET M = 0.5 WHERE A = 'yy'"},
        {"ALTER TABLE Table2 ADD Extra BIT"},
        {"INSERT INTO Table2 (column1, Extra) VALUES ('one', True)"}}},
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
