// The tokeniser, the integer syntax and the line rules of the import, case by case.

#include "tableops/text_rules.h"

#include <gtest/gtest.h>

#include "tableops_test_util.h"

namespace tableops {
namespace {

TEST(SplitImportLine, Examples) {
  const struct {
    QString line;
    QStringList tokens;
  } cases[] = {
      {"7;Sword;12", {"7", "Sword", "12"}},
      {"7 ,  Sword;;12;", {"7", "Sword", "12"}},
      {"one;;three", {"one", "three"}},
      {"'x y',5", {"'x y'", "5"}},
      {"Bob's,5", {"Bob's,5"}},
      {",;", {}},
      {"\"a;'b\";c", {"\"a;'b\"", "c"}},
      {"ab\"c d\"e f", {"ab\"c d\"e", "f"}},
      {"a\tb", {"a", "b"}},
      {QStringLiteral("甲，乙；丙"), {QStringLiteral("甲，乙；丙")}},
      {"'open to the end; still", {"'open to the end; still"}},
      {"''abc''", {"''abc''"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitImportLine(c.line), c.tokens) << c.line.toStdString();
}

TEST(ParseInteger, ThirtyTwoAndSixtyFourBits) {
  const struct {
    QString token;
    int bits;
    std::optional<int64_t> value;
  } cases[] = {
      {"12", 32, 12},
      {"-3", 32, -3},
      {"+7", 32, 7},
      {"$1F", 32, 31},
      {"x1F", 32, 31},
      {"X1f", 32, 31},
      {"0x1F", 32, 31},
      {"0X1F", 32, 31},
      {"  5", 32, 5},
      {"$FF", 32, 255},
      {"x10", 32, 16},
      {"$FFFFFFFF", 32, -1},
      {"-$FFFFFFFF", 32, 1},
      {"$000000FF", 32, 255},
      {"$0000000FF", 32, 255},
      {"$100000000", 32, std::nullopt},
      {"$80000000", 32, INT32_MIN},
      {"2147483647", 32, INT32_MAX},
      {"2147483648", 32, std::nullopt},
      {"-2147483648", 32, INT32_MIN},
      {"-2147483649", 32, std::nullopt},
      {"9223372036854775807", 64, INT64_MAX},
      {"9223372036854775808", 64, std::nullopt},
      {"-9223372036854775808", 64, INT64_MIN},
      {"$FFFFFFFFFFFFFFFF", 64, -1},
      {"$10000000000000000", 64, std::nullopt},
      {"1.5", 32, std::nullopt},
      {"1e3", 32, std::nullopt},
      {"12a", 32, std::nullopt},
      {"12 ", 32, std::nullopt},
      {"$", 32, std::nullopt},
      {"0x", 32, std::nullopt},
      {"", 32, std::nullopt},
      {"-", 32, std::nullopt},
      {"True", 32, std::nullopt},
      {"2024-01-01", 32, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseInteger(c.token, c.bits), c.value) << c.token.toStdString() << "/" << c.bits;
  }
}

TEST(ParseDecimal, PlainNotationOnly) {
  EXPECT_EQ(ParseDecimal("1.5", u'.'), QString("1.5"));
  EXPECT_EQ(ParseDecimal("-0.25", u'.'), QString("-0.25"));
  EXPECT_EQ(ParseDecimal("+3", u'.'), QString("3"));
  EXPECT_EQ(ParseDecimal("1.5E-7", u'.'), QString("1.5E-7"));
  EXPECT_EQ(ParseDecimal("2,5", u','), QString("2.5"));
  EXPECT_EQ(ParseDecimal("1.", u'.'), std::nullopt);
  EXPECT_EQ(ParseDecimal(".5", u'.'), std::nullopt);
  EXPECT_EQ(ParseDecimal("$FF", u'.'), std::nullopt);
  EXPECT_EQ(ParseDecimal("1.5x", u'.'), std::nullopt);
}

TEST(TextRules, LinesTrimAndComparison) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), QStringList({"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), QStringList({"a"}));
  EXPECT_EQ(SplitLines("a\n\nb"), QStringList({"a", "", "b"}));
  EXPECT_EQ(SplitLines(""), QStringList());
  EXPECT_EQ(Trim(QString("\t \x01x y\r\n")), QString("x y"));
  EXPECT_EQ(Trim(QStringLiteral("\u3000x\u3000")), QStringLiteral("\u3000x\u3000"));
  EXPECT_TRUE(SameText("StdItems", "STDITEMS"));
  EXPECT_FALSE(SameText("StdItems", "StdItems "));
  EXPECT_FALSE(SameText(QStringLiteral("Ä"), QStringLiteral("ä")));
}

}  // namespace
}  // namespace tableops
