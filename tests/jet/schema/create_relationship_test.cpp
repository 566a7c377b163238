// Relationships made in SQL: stored as Access stores them (MSysRelationships rows with the
// fixture's flags, a foreign-key index on each side), enforced afterwards, read alike by mdbtools,
// and refused without a trace when the data or the definitions do not allow them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

using testutil::TempDir;

void ExpectRefused(Database& db, const std::string& path, const std::string& sql,
                   const std::string& needle) {
  SCOPED_TRACE(sql);
  const uint64_t before = testutil::HashFile(path);
  try {
    db.Execute(sql);
    ADD_FAILURE() << "accepted";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(needle), std::string::npos) << e.what();
  }
  EXPECT_EQ(testutil::HashFile(path), before) << "the refused statement changed the file";
}

int Count(Database& db, const std::string& table) {
  return static_cast<int>(db.Query("SELECT * FROM " + table).rows.size());
}

TEST(CreateRelationshipTest, StoredAsAccessStoresThemAndEnforced) {
  TempDir dir;
  const std::string path = dir.File("rel.mdb");
  auto db = Database::Create(path);
  for (const char* sql : {
           "CREATE TABLE Cust (ID LONG PRIMARY KEY, Name TEXT(20))",
           "CREATE TABLE Ord (OID LONG PRIMARY KEY, Cust LONG, CONSTRAINT CustOrd FOREIGN KEY "
           "(Cust) REFERENCES Cust (ID) ON UPDATE CASCADE ON DELETE CASCADE)",
           "CREATE TABLE Line (OID LONG, N LONG, CONSTRAINT pk PRIMARY KEY (OID, N))",
           "CREATE TABLE Zone (Name TEXT(10) PRIMARY KEY)",
           "CREATE TABLE Mob (ID LONG PRIMARY KEY, Zone TEXT(10), Cust LONG)",
           "INSERT INTO Cust VALUES (1, 'a')",
           "INSERT INTO Cust VALUES (2, 'b')",
           "INSERT INTO Ord VALUES (10, 1)",
           "INSERT INTO Ord VALUES (11, 2)",
           "INSERT INTO Line VALUES (99, 1)",
           "INSERT INTO Zone VALUES ('Wolf')",
           "INSERT INTO Mob VALUES (1, 'WOLF', 99)",
       }) {
    SCOPED_TRACE(sql);
    db->Execute(sql);
  }
  // Existing rows must satisfy a relationship with integrity; one without integrity takes any.
  ExpectRefused(*db, path,
                "ALTER TABLE Line ADD CONSTRAINT OrdLine FOREIGN KEY (OID) REFERENCES Ord (OID)",
                "Data in table 'Line' violates referential integrity");
  db->Execute("DELETE FROM Line");
  db->Execute("INSERT INTO Line VALUES (10, 1)");
  db->Execute("ALTER TABLE Line ADD CONSTRAINT OrdLine FOREIGN KEY (OID) REFERENCES Ord");
  ExpectRefused(*db, path,
                "ALTER TABLE Mob ADD CONSTRAINT CustMob FOREIGN KEY (Cust) REFERENCES Cust (ID)",
                "violates referential integrity");
  ExpectRefused(*db, path,
                "ALTER TABLE Mob ADD CONSTRAINT X FOREIGN KEY (Zone) REFERENCES Cust (ID)",
                "same data types");
  ExpectRefused(*db, path,
                "ALTER TABLE Mob ADD CONSTRAINT X FOREIGN KEY (Cust) REFERENCES Ord (Cust)",
                "No unique index");
  ExpectRefused(*db, path,
                "ALTER TABLE Mob ADD CONSTRAINT CustOrd FOREIGN KEY (Cust) REFERENCES Ord (OID)",
                "already exists");
  db->Execute(
      "ALTER TABLE Mob ADD CONSTRAINT ZoneMob FOREIGN KEY (Zone) REFERENCES Zone (Name) "
      "ON UPDATE CASCADE ON DELETE SET NULL");

  const std::vector<Relationship> rels = db->Relationships();
  ASSERT_EQ(rels.size(), 3u);
  EXPECT_EQ(rels[0].name, u"CustOrd");
  EXPECT_EQ(rels[0].flags, 0x1100u);
  EXPECT_EQ(rels[1].name, u"OrdLine");
  EXPECT_EQ(rels[1].flags, 0u);
  EXPECT_EQ(rels[1].referenced_columns, std::vector<std::u16string>{u"OID"});
  EXPECT_EQ(rels[2].name, u"ZoneMob");
  EXPECT_EQ(rels[2].flags, 0x2100u);
  EXPECT_EQ(rels[2].referencing_table, u"Mob");
  EXPECT_EQ(rels[2].referenced_table, u"Zone");

  // Both sides got their foreign-key index.
  auto foreign = [&](const std::u16string& table) {
    std::vector<std::u16string> names;
    for (const Index& i : db->GetTable(table).indexes) {
      if (i.foreign) names.push_back(i.name);
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  EXPECT_EQ(foreign(u"Cust"), std::vector<std::u16string>{u".rB"});
  EXPECT_EQ(foreign(u"Ord"), (std::vector<std::u16string>{u".rB", u"CustOrd"}));
  EXPECT_EQ(foreign(u"Line"), std::vector<std::u16string>{u"OrdLine"});
  EXPECT_EQ(foreign(u"Mob"), std::vector<std::u16string>{u"ZoneMob"});

  // Enforced: an orphan, a restricted delete reached through a cascade.
  ExpectRefused(*db, path, "INSERT INTO Ord VALUES (12, 3)", "required in table 'Cust'");
  ExpectRefused(*db, path, "DELETE FROM Cust WHERE ID = 1", "table 'Line' includes related");
  EXPECT_EQ(db->Execute("DELETE FROM Cust WHERE ID = 2").affected, 1);
  EXPECT_EQ(Count(*db, "Ord"), 1);
  EXPECT_EQ(db->Execute("UPDATE Zone SET Name = 'Fox'").affected, 1);
  EXPECT_EQ(db->Query("SELECT Zone FROM Mob").rows[0][0], Value(std::u16string(u"Fox")));
  EXPECT_EQ(db->Execute("INSERT INTO Ord VALUES (12, 1)").affected, 1);

  db.reset();
  const CheckReport report = CheckFile(path);
  EXPECT_TRUE(report.ok()) << report.problems.front();
  if (testutil::MdbtoolsComparisonAvailable()) {
    EXPECT_EQ(testutil::CompareWithMdbtools(dir, path).substr(0, 5), "AGREE");
    int status = 0;
    const std::string out =
        testutil::RunCommand("mdb-export '" + path + "' MSysRelationships | sort", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("\"CustOrd\",4352,1,0,\"Ord\",\"Cust\",\"Cust\",\"ID\""), std::string::npos)
        << out;
    EXPECT_NE(out.find("\"OrdLine\",0,1,0,\"Line\",\"OID\",\"Ord\",\"OID\""), std::string::npos)
        << out;
    EXPECT_NE(out.find("\"ZoneMob\",8448,1,0,\"Mob\",\"Zone\",\"Zone\",\"Name\""),
              std::string::npos)
        << out;
  }
}

}  // namespace
}  // namespace jet
