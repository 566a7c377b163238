// How SQL criteria and ORDER BY compare values: across numeric types, text without case, dates
// before 1899-12-30, booleans, and literals converted to a column's type.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sql/compare.h"
#include "sql/convert.h"
#include "sql/lexer.h"

namespace jet::sql {
namespace {

int Compare(const Value& a, const Value& b) { return CompareKeys(KeyOf(a), KeyOf(b)); }

TEST(SqlCompareTest, NumbersCompareByValueAcrossTypes) {
  const Value five[] = {
      uint8_t{5}, int16_t{5}, int32_t{5}, int64_t{5}, Currency{50000}, Decimal{false, 500, 2},
      5.0f,       5.0};
  for (const Value& a : five) {
    for (const Value& b : five) EXPECT_EQ(Compare(a, b), 0);
    EXPECT_LT(Compare(a, Decimal{false, 50001, 4}), 0);
    EXPECT_GT(Compare(a, Currency{49999}), 0);
    EXPECT_GT(Compare(a, int32_t{-6}), 0);
  }
  EXPECT_EQ(Compare(-0.0, int32_t{0}), 0);
  // An exact literal meets a double as the nearest double, as Access compares a Double column.
  EXPECT_EQ(Compare(0.1, Decimal{false, 1, 1}), 0);
  EXPECT_EQ(Compare(0.30000000000000004, Decimal{false, 3, 1}), 1);
  EXPECT_NE(Compare(0.1f, Decimal{false, 1, 1}), 0);
  EXPECT_EQ(Compare(Decimal{true, 0, 3}, Decimal{false, 0, 0}), 0);
  EXPECT_LT(Compare(Currency{-1}, Currency{0}), 0);
  EXPECT_LT(Compare(Decimal{true, 2, 0}, Decimal{true, 1, 0}), 0);
  EXPECT_LT(Compare(int64_t{INT64_MIN}, int64_t{INT64_MIN + 1}), 0);
  EXPECT_GT(Compare(1.0e300, Decimal{false, 1, 0}), 0);
}

TEST(SqlCompareTest, TwentyEightDigitDecimalsStayExact) {
  constexpr UInt128 kMax = (UInt128{10000000000000ULL} * 1000000000000000ULL) - 1;  // 10^28 - 1
  EXPECT_LT(Compare(Decimal{false, kMax - 1, 0}, Decimal{false, kMax, 0}), 0);
  EXPECT_LT(Compare(Decimal{false, kMax - 1, 28}, Decimal{false, kMax, 28}), 0);
  EXPECT_EQ(Compare(Decimal{false, 10, 1}, Decimal{false, 1000000, 6}), 0);
  EXPECT_GT(Compare(Decimal{true, kMax - 1, 4}, Decimal{true, kMax, 4}), 0);
}

TEST(SqlCompareTest, BooleansAreMinusOneAndZero) {
  EXPECT_LT(Compare(true, false), 0);
  EXPECT_EQ(Compare(true, int32_t{-1}), 0);
  EXPECT_NE(Compare(true, int32_t{1}), 0);
}

TEST(SqlCompareTest, DatesBeforeTheBaseDayOrderByTime) {
  // Stored: 1899-12-28 00:00 = -2, 1899-12-29 00:00 = -1, 06:00 = -1.25, 12:00 = -1.5.
  const std::vector<double> chronological = {-2.0, -1.0, -1.25, -1.5, 0.0, 0.25, 1.0};
  for (size_t i = 0; i + 1 < chronological.size(); ++i) {
    EXPECT_LT(Compare(DateTime{chronological[i]}, DateTime{chronological[i + 1]}), 0)
        << chronological[i] << " vs " << chronological[i + 1];
  }
}

TEST(SqlCompareTest, TextIgnoresCase) {
  const std::vector<std::pair<std::u16string, std::u16string>> equal = {
      {u"Wolf", u"WOLF"},     {u"fireball", u"FireBall"}, {u"ÀÉÎÕÜ", u"àéîõü"},
      {u"ПРИВЕТ", u"привет"}, {u"ΣΟΦΊΑ", u"σοφία"},       {u"ＡＢＣ", u"ａｂｃ"},
      {u"ŁÓDŹ", u"łódź"},     {u"火球术", u"火球术"},
  };
  for (const auto& [a, b] : equal) EXPECT_EQ(Compare(a, b), 0) << Utf8(a);
  EXPECT_NE(Compare(std::u16string(u"Wolf"), std::u16string(u"Wolf ")), 0);
  EXPECT_NE(Compare(std::u16string(u"Wolf"), std::u16string(u"Wölf")), 0);
  EXPECT_LT(Compare(std::u16string(u"apple"), std::u16string(u"Banana")), 0);
}

TEST(SqlCompareTest, SortPutsNullFirst) {
  const Key null = KeyOf(Value());
  EXPECT_LT(CompareForSort(null, KeyOf(int32_t{-100})), 0);
  EXPECT_LT(CompareForSort(null, KeyOf(std::u16string())), 0);
  EXPECT_GT(CompareForSort(KeyOf(true), null), 0);
  EXPECT_EQ(CompareForSort(null, null), 0);
}

// A literal converted for a column category, compared with a stored value.
struct LiteralCase {
  Value literal;
  Category category;
  Value stored;
  int expected;  // sign of stored <=> literal
};

TEST(SqlCompareTest, LiteralsConvertToTheColumnType) {
  const std::vector<LiteralCase> cases = {
      {std::u16string(u"5"), Category::kNumber, int32_t{5}, 0},
      {std::u16string(u" -5.5 "), Category::kNumber, Currency{-55000}, 0},
      {std::u16string(u"1e2"), Category::kNumber, 100.0, 0},
      {std::u16string(u"True"), Category::kNumber, true, 0},
      {std::u16string(u"no"), Category::kNumber, false, 0},
      {true, Category::kNumber, int16_t{-1}, 0},
      {int32_t{12}, Category::kText, std::u16string(u"12"), 0},
      {Decimal{false, 150, 2}, Category::kText, std::u16string(u"1.50"), 0},
      {std::u16string(u"ABC"), Category::kText, std::u16string(u"abc"), 0},
      {std::u16string(u"2001-02-03"), Category::kDate, DateTime{36925}, 0},
      {std::u16string(u"2/3/2001 6:00 AM"), Category::kDate, DateTime{36925.25}, 0},
      {DateTime{-1.25}, Category::kDate, DateTime{-1.5}, 1},
      {int32_t{36925}, Category::kDate, DateTime{36925.5}, 1},
      {std::u16string(u"{01020304-0506-0708-090A-0B0C0D0E0F10}"), Category::kGuid,
       Guid{{4, 3, 2, 1, 6, 5, 8, 7, 9, 10, 11, 12, 13, 14, 15, 16}}, 0},
  };
  for (const LiteralCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "literal #" << (&c - cases.data()));
    Key key;
    ASSERT_TRUE(LiteralKey(c.literal, c.category, key));
    const int order = CompareKeys(KeyOf(c.stored), key);
    EXPECT_EQ((order > 0) - (order < 0), c.expected);
  }
}

TEST(SqlCompareTest, LiteralsThatCannotConvertAreRefused) {
  Key key;
  EXPECT_FALSE(LiteralKey(std::u16string(u"abc"), Category::kNumber, key));
  EXPECT_FALSE(LiteralKey(std::u16string(u"5x"), Category::kNumber, key));
  EXPECT_FALSE(LiteralKey(std::u16string(u""), Category::kNumber, key));
  EXPECT_FALSE(LiteralKey(std::u16string(u"2001-02-30"), Category::kDate, key));
  EXPECT_FALSE(LiteralKey(std::u16string(u"not-a-guid"), Category::kGuid, key));
  EXPECT_FALSE(LiteralKey(int32_t{1}, Category::kBytes, key));
  ASSERT_TRUE(LiteralKey(Value(), Category::kNumber, key));
  EXPECT_EQ(key.kind, Key::Kind::kNull);
}

TEST(SqlConvertTest, ValuesAsText) {
  EXPECT_EQ(ValueToText(Currency{-12345}), u"-1.2345");
  EXPECT_EQ(ValueToText(Currency{20000}), u"2");
  EXPECT_EQ(ValueToText(Decimal{true, 5, 3}), u"-0.005");
  EXPECT_EQ(ValueToText(Decimal{true, 0, 2}), u"0.00");
  EXPECT_EQ(ValueToText(0.1), u"0.1");
  EXPECT_EQ(ValueToText(int64_t{INT64_MIN}), u"-9223372036854775808");
  EXPECT_EQ(ValueToText(DateTime{36925.75}), u"2001-02-03 18:00:00");
  EXPECT_EQ(ValueToText(DateTime{-1.25}), u"1899-12-29 06:00:00");
}

}  // namespace
}  // namespace jet::sql
