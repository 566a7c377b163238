#include "database/quote_name.h"

#include <gtest/gtest.h>

namespace {

using database::QuoteName;

TEST(QuoteNameTest, OrdinaryNamesStayAsTheyAre) {
  for (const char* name : {"Idx", "MagName", "StdItems", "Monster", "Name", "_x1", "a_b_2"}) {
    EXPECT_EQ(QuoteName(QString::fromUtf8(name)), QString::fromUtf8(name)) << name;
  }
  EXPECT_EQ(QuoteName(QStringLiteral("火球术")), QStringLiteral("火球术"));
  EXPECT_EQ(QuoteName(QStringLiteral("Zürich")), QStringLiteral("Zürich"));
}

TEST(QuoteNameTest, NamesThatNeedBracketsGetThem) {
  EXPECT_EQ(QuoteName(QStringLiteral("Order Details")), QStringLiteral("[Order Details]"));
  EXPECT_EQ(QuoteName(QStringLiteral("a-b")), QStringLiteral("[a-b]"));
  EXPECT_EQ(QuoteName(QStringLiteral("1st")), QStringLiteral("[1st]"));
  EXPECT_EQ(QuoteName(QStringLiteral("Order")), QStringLiteral("[Order]"));
  EXPECT_EQ(QuoteName(QStringLiteral("select")), QStringLiteral("[select]"));
  EXPECT_EQ(QuoteName(QStringLiteral("Table")), QStringLiteral("[Table]"));
  EXPECT_EQ(QuoteName(QStringLiteral("名 称")), QStringLiteral("[名 称]"));
}

TEST(QuoteNameTest, BracketedNamesAreNotBracketedTwice) {
  EXPECT_EQ(QuoteName(QStringLiteral("[Order Details]")), QStringLiteral("[Order Details]"));
}

}  // namespace

#include "db_test_util.h"
#include "jet/error.h"

namespace {

class QuotedNamesInTheEngineTest : public dbtest::DbTest {};

// Whatever a name is, once quoted the engine reads it as a name: a missing table, never a
// statement it cannot parse.
TEST_F(QuotedNamesInTheEngineTest, QuotedNamesNeverBreakTheStatement) {
  SKIP_WITHOUT_FIXTURE("types.mdb");
  const char* names[] = {"Where", "true", "FALSE", "Order", "By", "select", "From", "Values",
                         "Into", "Index", "Unique", "Primary", "Null", "Not", "And", "Is",
                         "Like", "Between", "In", "Top", "Union", "x y", "1abc", "a-b",
                         "a.b", "a'b", "Group", "Having", "Drop", "Update", "Delete", "Set"};
  for (const char* raw : names) {
    const QString statement =
        QStringLiteral("SELECT * FROM ") + database::QuoteName(QString::fromUtf8(raw));
    database::Query query;
    query.SetConnection(&conn_);
    query.SetSQL(statement);
    try {
      query.Open();
      ADD_FAILURE() << raw << ": opened a table that does not exist";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.kind(), jet::Error::Kind::kNotFound) << statement.toStdString() << ": "
                                                       << e.what();
    }
  }
}

}  // namespace
