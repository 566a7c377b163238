#include "database/connection.h"

#include <gtest/gtest.h>

#include "database/field.h"
#include "database/query.h"
#include "db_test_util.h"
#include "jet/error.h"

namespace {

using database::Connection;
using database::Query;

TEST(ConnectionStringTest, DataSourceIsTheVerbatimPathOfTheTemplate) {
  const QString path = QStringLiteral("/data/My Files;old/游戏 数据.mdb");
  const QString text = QString(ConnectionTemplate).replace(QLatin1String("%s"), path);
  EXPECT_EQ(text, QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=") + path +
                      QStringLiteral(";Persist Security Info=False"));
  EXPECT_EQ(Connection::DataSourceOf(text), path);
  EXPECT_EQ(Connection::DataSourceOf(QStringLiteral("data source=/x.mdb")), QStringLiteral("/x.mdb"));
  EXPECT_EQ(Connection::DataSourceOf(QStringLiteral("Provider=P")), QString());
}

class ConnectionTest : public dbtest::DbTest {};

TEST_F(ConnectionTest, ListsTablesInTheEngineOrder) {
  SKIP_WITHOUT_FIXTURE("types.mdb");
  EXPECT_TRUE(conn_.Connected());
  EXPECT_TRUE(conn_.KeepConnection());
  EXPECT_FALSE(conn_.LoginPrompt());
  QStringList names{QStringLiteral("stale")};
  conn_.GetTableNames(names);
  EXPECT_EQ(names, (QStringList{"AllTypes", "AutoKey", "Customer List", "EmptyTable",
                                "Order Details"}));
}

TEST_F(ConnectionTest, MissingFileFailsAndLeavesTheConnectionClosed) {
  Connection conn;
  conn.SetConnectionString(
      QString(ConnectionTemplate).replace(QLatin1String("%s"), QStringLiteral("/nonexistent/a.mdb")));
  EXPECT_THROW(conn.Open(), jet::Error);
  EXPECT_FALSE(conn.Connected());
  QStringList names;
  EXPECT_THROW(conn.GetTableNames(names), jet::Error);
}

TEST_F(ConnectionTest, CloseEndsEveryQueryAndDiscardsPendingEdits) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  const uint64_t before = FileHash();
  auto magic = OpenQuery(QStringLiteral("SELECT * FROM Magic"));
  auto monster = OpenQuery(QStringLiteral("SELECT * FROM Monster"));
  monster->Edit();
  monster->Fields(1)->SetAsInteger(7);
  ASSERT_EQ(monster->State(), database::dsEdit);
  conn_.Close();
  conn_.Close();  // closing twice does nothing
  EXPECT_FALSE(conn_.Connected());
  EXPECT_EQ(magic->State(), database::dsInactive);
  EXPECT_EQ(monster->State(), database::dsInactive);
  EXPECT_EQ(monster->FieldCount(), 0);
  EXPECT_EQ(FileHash(), before);  // nothing was posted
  // Opening a query opens its connection again.
  monster->Open();
  EXPECT_TRUE(conn_.Connected());
  EXPECT_EQ(monster->RecordCount(), 54);
}

TEST_F(ConnectionTest, QueriesSurviveTheirConnection) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  Query query;
  {
    Connection other;
    other.SetConnectionString(conn_.ConnectionString());
    query.SetConnection(&other);
    query.SetSQL(QStringLiteral("SELECT * FROM Magic"));
    query.Open();
    EXPECT_EQ(query.RecordCount(), 56);
  }
  EXPECT_EQ(query.GetConnection(), nullptr);
  EXPECT_EQ(query.State(), database::dsInactive);
  EXPECT_THROW(query.Open(), jet::Error);
}

TEST_F(ConnectionTest, SecondWriterFallsBackToReadOnlyAndRefusesEdits) {
  SKIP_WITHOUT_FIXTURE("game-indexed.mdb");
  ASSERT_FALSE(conn_.ReadOnly());  // the first connection holds the write lock
  Connection second;
  second.SetConnectionString(conn_.ConnectionString());
  second.Open();
  EXPECT_TRUE(second.Connected());
  EXPECT_TRUE(second.ReadOnly());
  Query query;
  query.SetConnection(&second);
  query.SetSQL(QStringLiteral("SELECT * FROM Magic"));
  query.Open();
  EXPECT_EQ(query.RecordCount(), 56);
  try {
    query.Edit();
    FAIL() << "Edit on a read-only connection";
  } catch (const jet::Error& e) {
    EXPECT_STREQ(e.what(), "Cannot modify a read-only dataset");
  }
  EXPECT_EQ(query.State(), database::dsBrowse);
  // Once the writer is gone, a new open may write again.
  conn_.Close();
  second.Close();
  second.Open();
  EXPECT_FALSE(second.ReadOnly());
}

}  // namespace
