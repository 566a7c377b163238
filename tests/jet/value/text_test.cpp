// Text decoding (Jet4 compressed Unicode, Jet3 code pages), name folding and value text forms.

#include "value/text.h"

#include <gtest/gtest.h>

#include "jet/schema.h"
#include "jet/value.h"

namespace jet {
namespace {

std::u16string Jet4(std::vector<uint8_t> bytes) {
  std::u16string s;
  DecodeJet4Text(bytes, s);
  return s;
}

TEST(Jet4Text, DecodesPlainAndCompressedForms) {
  EXPECT_EQ(u"Ab", Jet4({'A', 0, 'b', 0}));
  EXPECT_EQ(u"\u4E2D", Jet4({0x2D, 0x4E}));
  EXPECT_EQ(u"abc", Jet4({0xFF, 0xFE, 'a', 'b', 'c'}));
  // 00 toggles to two-byte units and back.
  EXPECT_EQ(u"a\u4E2Db", Jet4({0xFF, 0xFE, 'a', 0, 0x2D, 0x4E, 0, 'b'}));
  // Ending in uncompressed mode, with a dangling odd byte dropped.
  EXPECT_EQ(u"x\u0416", Jet4({0xFF, 0xFE, 'x', 0, 0x16, 0x04, 0x99}));
  EXPECT_EQ(u"", Jet4({0xFF, 0xFE}));
  EXPECT_EQ(u"", Jet4({}));
}

TEST(Jet3Text, UsesTheCodePage) {
  TextCodec cp1252(Format::kJet3, 1252);
  EXPECT_EQ(u"\u20AC\u00E9\uFFFDz", cp1252.Decode(std::vector<uint8_t>{0x80, 0xE9, 0x81, 'z'}));
  TextCodec cp936(Format::kJet3, 936);
  EXPECT_EQ(936, cp936.code_page());
  EXPECT_EQ(u"\u4E2D\u6587a", cp936.Decode(std::vector<uint8_t>{0xD6, 0xD0, 0xCE, 0xC4, 'a'}));
  // A lead byte without its trail byte becomes one replacement character.
  EXPECT_EQ(u"a\uFFFD", cp936.Decode(std::vector<uint8_t>{'a', 0xD6}));
  TextCodec unknown(Format::kJet3, 12345);
  EXPECT_EQ(1252, unknown.code_page());
}

TEST(NameFolding, ComparesCaseInsensitively) {
  EXPECT_TRUE(EqualsIgnoreCase(u"Order Details", u"ORDER details"));
  EXPECT_TRUE(EqualsIgnoreCase(u"\u00C9t\u00E9", u"\u00E9T\u00C9"));
  EXPECT_TRUE(EqualsIgnoreCase(u"\u0416\u0401", u"\u0436\u0451"));
  EXPECT_FALSE(EqualsIgnoreCase(u"abc", u"abd"));
  EXPECT_FALSE(EqualsIgnoreCase(u"ab", u"abc"));
  EXPECT_LT(CompareIgnoreCase(u"apple", u"Banana"), 0);
  EXPECT_GT(CompareIgnoreCase(u"b", u"A"), 0);
  EXPECT_LT(CompareIgnoreCase(u"ab", u"AbC"), 0);
}

TEST(ValueText, DecimalAndGuid) {
  EXPECT_EQ("-0.0001", (Decimal{true, 1, 4}).ToString());
  EXPECT_EQ("12", (Decimal{false, 12, 0}).ToString());
  EXPECT_EQ("0.50", (Decimal{false, 50, 2}).ToString());
  UInt128 big = 1;
  for (int i = 0; i < 28; ++i) big *= 10;
  EXPECT_EQ("9999999999999999999999999999", (Decimal{false, big - 1, 0}).ToString());
  EXPECT_EQ("-99999999999999.9999", (Decimal{true, 999999999999999999, 4}).ToString());
  EXPECT_EQ("0.0000", (Decimal{true, 0, 4}).ToString());  // zero carries no sign
  EXPECT_EQ("-123.45", (Decimal{true, 12345, 2}).ToString());
  EXPECT_EQ("0.9999999999999999999999999999", (Decimal{false, Pow10(28) - 1, 28}).ToString());
  EXPECT_EQ(big, Pow10(28));
  EXPECT_EQ("340282366920938463463374607431768211455", DigitsOf(~UInt128{0}));
  EXPECT_EQ("0", DigitsOf(0));
  Guid g;
  for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(0x10 * (i % 16) + i);
  EXPECT_EQ("{33221100-5544-7766-8899-AABBCCDDEEFF}", g.ToString());
  EXPECT_EQ("{00000000-0000-0000-0000-000000000000}", Guid{}.ToString());
}

TEST(ValueText, GuidTextRoundTripsAndRejectsMalformedText) {
  Guid g;
  for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(37 * i + 5);
  const std::string text = g.ToString();
  EXPECT_EQ(g, Guid::Parse(FromUtf8(text)));
  EXPECT_EQ(g, Guid::Parse(FromUtf8(text.substr(1, 36))));  // braces are optional
  std::u16string lower = FromUtf8(text);
  for (char16_t& c : lower) c = c >= u'A' && c <= u'F' ? static_cast<char16_t>(c + 32) : c;
  EXPECT_EQ(g, Guid::Parse(lower));
  const std::array<uint8_t, 16> order = Guid::Parse(u"{00112233-4455-6677-8899-AABBCCDDEEFF}")
                                            ->TextOrder();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(0x11 * i, order[i]);
  for (std::u16string_view bad :
       {u"", u"{00112233-4455-6677-8899-AABBCCDDEEFF", u"00112233-4455-6677-8899-AABBCCDDEEF",
        u"00112233-4455-6677-8899-AABBCCDDEEFG", u"0011223304455-6677-8899-AABBCCDDEEFF",
        u" 00112233-4455-6677-8899-AABBCCDDEEFF", u"{00112233-4455-6677-8899-AABBCCDDEEFF}x"}) {
    EXPECT_FALSE(Guid::Parse(bad)) << ToUtf8(bad);
  }
}

TEST(ValueText, CivilDatesRoundTripAcrossErasAndLeapDays) {
  EXPECT_EQ(0, DaysFromCivil(1970, 1, 1));
  EXPECT_EQ(kJetEpochDays, DaysFromCivil(1899, 12, 30));
  int64_t day = DaysFromCivil(-401, 1, 1);
  for (int64_t year = -401; year <= 2401; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int d = 1; d <= DaysInMonth(year, month); ++d, ++day) {
        ASSERT_EQ(day, DaysFromCivil(year, month, d));
        const CivilDate back = CivilFromDays(day);
        ASSERT_EQ(year, back.year);
        ASSERT_EQ(month, back.month);
        ASSERT_EQ(d, back.day);
      }
    }
  }
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(-4));
  EXPECT_EQ(29, DaysInMonth(2024, 2));
  EXPECT_EQ(28, DaysInMonth(2100, 2));
}

TEST(ValueText, TypeNames) {
  EXPECT_EQ("SHORT_DATE_TIME", TypeName(ColumnType::kDateTime));
  EXPECT_EQ("NUMERIC", TypeName(ColumnType::kNumeric));
  EXPECT_EQ("OLE", TypeName(ColumnType::kOle));
  EXPECT_EQ("UNKNOWN_0x12", TypeName(static_cast<ColumnType>(0x12)));
}

TEST(ValueText, Utf8RoundTripsAndRepairs) {
  const std::u16string s = u"a\u00E9\u4E2D\U0001F600";
  EXPECT_EQ("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", ToUtf8(s));
  EXPECT_EQ(s, FromUtf8(ToUtf8(s)));
  std::u16string lone = u"x";
  lone.push_back(static_cast<char16_t>(0xD800));
  EXPECT_EQ("x\xED\xA0\x80", ToUtf8(lone));
  EXPECT_EQ(lone, FromUtf8(ToUtf8(lone)));
  EXPECT_EQ(u"\uFFFDa\uFFFD", FromUtf8("\xFF"
                                       "a"
                                       "\xC0"));
  EXPECT_EQ(u"\uFFFD\uFFFD", FromUtf8("\xC0\xAF"));  // overlong '/'
}

}  // namespace
}  // namespace jet
