// Relationships of relations.mdb enforced through SQL: refusals leave the file byte for byte
// unchanged with Access's messages; cascades (delete through two levels, update, set to Null)
// leave the rows Access leaves, a file the checker accepts and mdbtools reads alike.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

using testutil::TempDir;

constexpr char kMissingParent[] =
    "You cannot add or change a record because a related record is required in table '";
constexpr char kHasChildren[] = "The record cannot be deleted or changed because table '";

// Every row of `table` as text, sorted, for comparing whole tables.
std::vector<std::string> Rows(Database& db, const std::u16string& table) {
  std::vector<std::string> out;
  db.Scan(db.GetTable(table), [&](RowId, std::vector<Value>& values) {
    std::string line;
    for (const Value& v : values) {
      if (!line.empty()) line += "|";
      if (v.is_null()) {
        line += "null";
      } else if (v.is<int32_t>()) {
        line += std::to_string(v.as<int32_t>());
      } else if (v.is<int16_t>()) {
        line += std::to_string(v.as<int16_t>());
      } else if (v.is<std::u16string>()) {
        line += ToUtf8(v.as<std::u16string>());
      } else {
        line += "?";
      }
    }
    out.push_back(line);
    return true;
  });
  std::sort(out.begin(), out.end());
  return out;
}

std::map<std::u16string, std::vector<std::string>> AllRows(Database& db) {
  std::map<std::u16string, std::vector<std::string>> out;
  for (const TableListEntry& t : db.ListTables()) {
    if (t.type == "TABLE") out[t.name] = Rows(db, t.name);
  }
  return out;
}

class RelationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testutil::FixturePath("relations.mdb").empty()) GTEST_SKIP() << "no ../shared";
    path_ = testutil::CopyFixture(dir_, "relations.mdb");
    db_ = Database::Open(path_, OpenMode::kReadWrite);
  }

  // Runs `sql`, which must be refused with a message containing `needle` and `table`, and
  // checks that the file did not change.
  void ExpectRefused(const std::string& sql, const std::string& needle, const std::string& table) {
    SCOPED_TRACE(sql);
    const uint64_t before = testutil::HashFile(path_);
    const auto rows_before = AllRows(*db_);
    try {
      db_->Execute(sql);
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), Error::Kind::kConstraint) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind(needle, 0), 0u) << e.what();
      EXPECT_NE(std::string(e.what()).find("'" + table + "'"), std::string::npos) << e.what();
    }
    EXPECT_EQ(testutil::HashFile(path_), before) << "the refused statement changed the file";
    EXPECT_EQ(AllRows(*db_), rows_before);
  }

  int64_t Run(const std::string& sql) {
    SCOPED_TRACE(sql);
    return db_->Execute(sql).affected;
  }

  void ExpectSoundFile() {
    db_.reset();
    CheckReport report = CheckFile(path_);
    EXPECT_TRUE(report.ok()) << report.problems.front();
    if (testutil::MdbtoolsComparisonAvailable()) {
      const std::string verdict = testutil::CompareWithMdbtools(dir_, path_);
      EXPECT_EQ(verdict.substr(0, 5), "AGREE") << verdict;
    }
    db_ = Database::Open(path_, OpenMode::kReadWrite);
  }

  TempDir dir_;
  std::string path_;
  std::unique_ptr<Database> db_;
};

TEST_F(RelationsTest, ReadsTheStoredRelationships) {
  struct Expected {
    std::u16string name, referenced, referencing, ref_col, col;
    bool enforced, update, del, null;
  };
  const std::vector<Expected> expected = {
      {u"CategoriesProducts", u"Categories", u"Products", u"CatID", u"CatID", true, false, false,
       false},
      {u"CustomersOrders", u"Customers", u"Orders", u"CustID", u"CustID", true, true, true, false},
      {u"OrdersOrderLines", u"Orders", u"OrderLines", u"OrderID", u"OrderID", true, false, true,
       false},
      {u"SuppliersProducts", u"Suppliers", u"Products", u"SupplierID", u"SupplierID", false, false,
       false, false},
      {u"ZonesMonsters", u"Zones", u"Monsters", u"ZoneName", u"Zone", true, true, false, true},
  };
  const std::vector<Relationship> found = db_->Relationships();
  ASSERT_EQ(found.size(), expected.size());
  for (size_t i = 0; i < found.size(); ++i) {
    SCOPED_TRACE(ToUtf8(expected[i].name));
    EXPECT_EQ(found[i].name, expected[i].name);
    EXPECT_EQ(found[i].referenced_table, expected[i].referenced);
    EXPECT_EQ(found[i].referencing_table, expected[i].referencing);
    EXPECT_EQ(found[i].referenced_columns, std::vector<std::u16string>{expected[i].ref_col});
    EXPECT_EQ(found[i].referencing_columns, std::vector<std::u16string>{expected[i].col});
    EXPECT_EQ(found[i].enforced, expected[i].enforced);
    EXPECT_EQ(found[i].cascade_update, expected[i].update);
    EXPECT_EQ(found[i].cascade_delete, expected[i].del);
    EXPECT_EQ(found[i].cascade_null, expected[i].null);
  }
}

TEST_F(RelationsTest, RefusalsLeaveTheFileUnchanged) {
  const std::vector<std::pair<std::string, std::string>> missing_parent = {
      {"INSERT INTO Orders VALUES (20, 99, 'orphan')", "Customers"},
      {"INSERT INTO OrderLines VALUES (99, 1, 1)", "Orders"},
      {"INSERT INTO Monsters VALUES (9, 'Imp', '不存在')", "Zones"},
      {"INSERT INTO Products (ProdID, CatID) VALUES (200, 7)", "Categories"},
      {"UPDATE Orders SET CustID = 77 WHERE OrderID = 10", "Customers"},
      {"UPDATE OrderLines SET OrderID = 15 WHERE OrderID = 10 AND Line = 1 OR OrderID = 99",
       "Orders"},
      {"UPDATE Monsters SET Zone = '比奇x' WHERE MonID = 1", "Zones"},
  };
  for (const auto& [sql, table] : missing_parent) ExpectRefused(sql, kMissingParent, table);
  const std::vector<std::pair<std::string, std::string>> has_children = {
      {"DELETE FROM Categories WHERE CatID = 1", "Products"},
      {"DELETE FROM Categories", "Products"},
      {"UPDATE Categories SET CatID = 5 WHERE CatID = 2", "Products"},
      {"UPDATE Orders SET OrderID = 50 WHERE OrderID = 10", "OrderLines"},
  };
  for (const auto& [sql, table] : has_children) ExpectRefused(sql, kHasChildren, table);
  ExpectSoundFile();
}

TEST_F(RelationsTest, AcceptedWritesAndCascades) {
  // Null foreign keys and relationships without integrity check nothing.
  EXPECT_EQ(Run("INSERT INTO Orders VALUES (20, NULL, 'walk-in 2')"), 1);
  EXPECT_EQ(Run("INSERT INTO Products VALUES (103, 2, 42, 'no such supplier')"), 1);
  EXPECT_EQ(Run("UPDATE Products SET SupplierID = 77 WHERE ProdID = 100"), 1);
  // A referencing row whose referenced row exists; the key matches as the referenced index
  // matches, so under the General order 'FOREST' refers to 'Forest'.
  EXPECT_EQ(Run("INSERT INTO Zones VALUES ('Forest', 'wet')"), 1);
  EXPECT_EQ(Run("INSERT INTO Monsters VALUES (6, 'Elf', 'FOREST')"), 1);
  EXPECT_EQ(Run("UPDATE OrderLines SET OrderID = 13 WHERE OrderID = 12"), 1);
  // Unused referenced rows go freely.
  EXPECT_EQ(Run("DELETE FROM Categories WHERE CatID = 3"), 1);

  // Cascade delete through two levels: customer 1, its orders 10 and 11, their lines.
  EXPECT_EQ(Run("DELETE FROM Customers WHERE CustID = 1"), 1);
  // Cascade update: customer 2 becomes 22 and its order follows.
  EXPECT_EQ(Run("UPDATE Customers SET Name = 'Robert', CustID = 22 WHERE CustID = 2"), 1);
  // Cascade update on a Chinese text key, and cascade to Null on delete.
  EXPECT_EQ(Run("UPDATE Zones SET ZoneName = '新比奇' WHERE ZoneName = '比奇'"), 1);
  EXPECT_EQ(Run("DELETE FROM Zones WHERE ZoneName = '沃玛' OR NOT (Climate <> 'wet')"), 2);
  // A direct delete one level down takes the lines along.
  EXPECT_EQ(Run("DELETE FROM Orders WHERE (OrderID = 13)"), 1);

  EXPECT_EQ(Rows(*db_, u"Customers"), (std::vector<std::string>{"22|Robert", "3|Chen", "4|Dana"}));
  EXPECT_EQ(Rows(*db_, u"Orders"),
            (std::vector<std::string>{"12|22|potion", "14|3|bow", "20|null|walk-in 2"}));
  EXPECT_EQ(Rows(*db_, u"OrderLines"), (std::vector<std::string>{"14|1|1", "14|2|3"}));
  EXPECT_EQ(Rows(*db_, u"Zones"), (std::vector<std::string>{"新比奇|plain", "盟重|desert"}));
  EXPECT_EQ(Rows(*db_, u"Monsters"),
            (std::vector<std::string>{"1|鸡|新比奇", "2|沃玛卫士|null", "3|沙虫|盟重",
                                      "4|Wolf|新比奇", "5|Ghost|null", "6|Elf|null"}));
  EXPECT_EQ(Rows(*db_, u"Categories"), (std::vector<std::string>{"1|weapon", "2|armour"}));
  EXPECT_EQ(Rows(*db_, u"Products"),
            (std::vector<std::string>{"100|1|77|sword", "101|2|2|robe", "102|1|99|axe",
                                      "103|2|42|no such supplier"}));
  ExpectSoundFile();
  // The refusals still hold on the changed file.
  ExpectRefused("INSERT INTO OrderLines VALUES (10, 3, 1)", kMissingParent, "Orders");
  ExpectRefused("UPDATE Orders SET OrderID = 15 WHERE OrderID = 14", kHasChildren, "OrderLines");
}

}  // namespace
}  // namespace jet
