// Posts and deletes go to the file at once: each case checks the file through a second,
// independent connection.

#include <gtest/gtest.h>

#include "database/field.h"
#include "database/query.h"
#include "database/quote_name.h"
#include "db_test_util.h"
#include "jet/error.h"

namespace {

using namespace database;  // NOLINT: the toolkit's ds* names

class WriteThroughTest : public dbtest::DbTest {
 protected:
  // The rows of `statement` as seen by a fresh connection to the same file.
  std::unique_ptr<Query> Reread(const QString& statement) {
    other_.Close();
    other_.SetConnectionString(conn_.ConnectionString());
    auto query = std::make_unique<Query>();
    query->SetConnection(&other_);
    query->SetSQL(statement);
    query->Open();
    return query;
  }
  Connection other_;
};

TEST_F(WriteThroughTest, MovingOffAChangedRecordPostsIt) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  auto query = OpenQuery(QStringLiteral("SELECT * FROM Monster"));
  query->MoveBy(2);
  const QString name = query->FieldByName(QStringLiteral("Name"))->AsString();
  query->Edit();
  query->FieldByName(QStringLiteral("HP"))->SetAsString(QStringLiteral("1234"));
  query->First();  // no explicit post
  EXPECT_EQ(query->State(), dsBrowse);
  EXPECT_EQ(query->RecNo(), 1);
  auto check = Reread(QStringLiteral("SELECT * FROM Monster WHERE Name='") + name +
                      QStringLiteral("'"));
  ASSERT_EQ(check->RecordCount(), 1);
  EXPECT_EQ(check->FieldByName(QStringLiteral("HP"))->AsInteger(), 1234);
  EXPECT_EQ(Reread(QStringLiteral("SELECT * FROM Monster"))->RecordCount(), 54);
}

TEST_F(WriteThroughTest, InsertPostsANewRowAndAutonumbersShowAfterThePost) {
  SKIP_WITHOUT_FIXTURE("types.mdb");
  auto query = OpenQuery(QStringLiteral("SELECT * FROM AutoKey"));
  query->Last();
  query->Insert();
  query->FieldByName(QStringLiteral("Label"))->SetAsString(QStringLiteral("新的"));
  query->Post();
  EXPECT_EQ(query->State(), dsBrowse);
  EXPECT_EQ(query->RecordCount(), 11);
  EXPECT_EQ(query->FieldByName(QStringLiteral("Label"))->AsString(), QStringLiteral("新的"));
  EXPECT_EQ(query->FieldByName(QStringLiteral("ID"))->AsInteger(), 11);
  auto check = Reread(QStringLiteral("SELECT * FROM AutoKey WHERE ID = 11"));
  ASSERT_EQ(check->RecordCount(), 1);
  EXPECT_EQ(check->FieldByName(QStringLiteral("Label"))->AsString(), QStringLiteral("新的"));
}

TEST_F(WriteThroughTest, RejectedPostKeepsTheRecordPendingAndTheFileUnchanged) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  auto query = OpenQuery(QStringLiteral("SELECT * FROM Settings"));
  const QString taken = query->FieldByName(QStringLiteral("Name"))->AsString();
  query->Next();
  const uint64_t before = FileHash();
  query->Insert();
  query->FieldByName(QStringLiteral("Name"))->SetAsString(taken);  // duplicate primary key
  EXPECT_THROW(query->Next(), jet::Error);                           // the settling post fails
  EXPECT_EQ(query->State(), dsInsert);
  EXPECT_EQ(query->RecNo(), 2);  // the move did not happen
  EXPECT_EQ(query->FieldByName(QStringLiteral("Name"))->AsString(), taken);
  EXPECT_EQ(FileHash(), before);
  query->FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("Fresh"));
  query->Post();
  EXPECT_EQ(Reread(QStringLiteral("SELECT * FROM Settings"))->RecordCount(), 8);
}

TEST_F(WriteThroughTest, DeleteRemovesTheRowFromTheFileAndDropsPendingChanges) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  auto query = OpenQuery(QStringLiteral("SELECT * FROM Magic"));
  query->MoveBy(5);
  const QString gone = query->FieldByName(QStringLiteral("MagName"))->AsString();
  const QString next = [&] {
    query->Next();
    const QString n = query->FieldByName(QStringLiteral("MagName"))->AsString();
    query->Prior();
    return n;
  }();
  query->Edit();
  query->FieldByName(QStringLiteral("Power"))->SetAsInteger(1);
  query->Delete();
  EXPECT_EQ(query->State(), dsBrowse);
  EXPECT_EQ(query->RecordCount(), 55);
  EXPECT_EQ(query->RecNo(), 6);  // the following record takes its place
  EXPECT_EQ(query->FieldByName(QStringLiteral("MagName"))->AsString(), next);
  EXPECT_EQ(Reread(QStringLiteral("SELECT * FROM Magic WHERE MagName='") + gone +
                   QStringLiteral("'"))
                ->RecordCount(),
            0);
  EXPECT_EQ(Reread(QStringLiteral("SELECT * FROM Magic"))->RecordCount(), 55);
}

TEST_F(WriteThroughTest, TablesWithBlanksInTheirNameAreWritable) {
  SKIP_WITHOUT_FIXTURE("types.mdb");
  const QString table = QuoteName(QStringLiteral("Order Details"));
  auto query = OpenQuery(QStringLiteral("SELECT * FROM ") + table);
  query->Edit();
  query->FieldByName(QStringLiteral("UnitPrice"))->SetAsString(QStringLiteral("6,25"));
  query->Post();
  auto check = Reread(QStringLiteral("SELECT * FROM ") + table);
  EXPECT_EQ(check->FieldByName(QStringLiteral("UnitPrice"))->DisplayText(),
            QStringLiteral("6,25"));
}

TEST_F(WriteThroughTest, ExecSqlWritesAndTheNextOpenSeesIt) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  auto query = OpenQuery(QStringLiteral("SELECT * FROM Settings"));
  query->Close();
  query->SetSQL(QStringLiteral("INSERT INTO Settings(Name, Value) VALUES( 'K1', 'v')"));
  EXPECT_EQ(query->ExecSQL(), 1);
  EXPECT_EQ(query->State(), dsInactive);
  query->SetSQL(QStringLiteral("SELECT * FROM Settings"));
  query->Open();
  EXPECT_EQ(query->RecordCount(), 8);
}

// Tables without any index: rows are compared by position, which a fresh SELECT * keeps.
TEST_F(WriteThroughTest, EditsInsertsAndDeletesOnAnUnindexedTable) {
  SKIP_WITHOUT_FIXTURE("game-unindexed.mdb");
  auto query = OpenQuery(QStringLiteral("SELECT * FROM Monster"));
  query->MoveBy(3);
  query->Edit();
  query->FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("改名"));
  query->FieldByName(QStringLiteral("Lvl"))->SetAsInteger(77);
  query->Next();  // posts
  query->Last();
  query->Insert();
  query->FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("New one"));
  query->Post();
  EXPECT_EQ(query->RecordCount(), 55);
  query->First();
  const QString second = query->DisplayTextAt(1, 0);
  query->Delete();
  EXPECT_EQ(query->FieldByName(QStringLiteral("Name"))->AsString(), second);

  auto check = Reread(QStringLiteral("SELECT * FROM Monster"));
  EXPECT_EQ(check->RecordCount(), 54);
  check->MoveBy(2);  // the fourth record before the delete
  EXPECT_EQ(check->FieldByName(QStringLiteral("Name"))->AsString(), QStringLiteral("改名"));
  EXPECT_EQ(check->FieldByName(QStringLiteral("Lvl"))->AsInteger(), 77);
  check->First();
  EXPECT_EQ(check->FieldByName(QStringLiteral("Name"))->AsString(), second);
  bool found = false;
  for (int i = 0; i < check->RecordCount(); ++i) {
    found = found || check->DisplayTextAt(i, 0) == QStringLiteral("New one");
  }
  EXPECT_TRUE(found);
}

}  // namespace
