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
