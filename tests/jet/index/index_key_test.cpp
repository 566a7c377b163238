// Key encoding on the examples the format notes give (values taken from Access-written files)
// and on properties every encoding must have: order, descending as mirror, case folding.
#include "index/index_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "index/collation.h"
#include "jet/error.h"

namespace jet {
namespace {

std::string Hex(const Bytes& b) {
  static const char* kDigits = "0123456789abcdef";
  std::string s;
  for (uint8_t v : b) {
    s += kDigits[v >> 4];
    s += kDigits[v & 15];
  }
  return s;
}

KeyColumn Col(ColumnType type, bool ascending = true) {
  KeyColumn c;
  c.type = type;
  c.ascending = ascending;
  return c;
}

std::string Key(Format f, const KeyColumn& c, const Value& v, bool* exact = nullptr) {
  const IndexKey k = EncodeIndexKey(f, {c}, {v});
  if (exact) *exact = k.exact;
  return Hex(k.bytes);
}

std::string Text4(std::u16string s, bool ascending = true, bool* exact = nullptr) {
  return Key(Format::kJet4, Col(ColumnType::kText, ascending), Value(std::move(s)), exact);
}

std::string Text3(std::u16string s, bool ascending = true, bool* exact = nullptr) {
  return Key(Format::kJet3, Col(ColumnType::kText, ascending), Value(std::move(s)), exact);
}

TEST(IndexKeyTest, GeneralLegacyExamplesFromAccessFiles) {
  bool exact = false;
  EXPECT_EQ(Text4(u"DataAccessPages", true, &exact), "7f4f4a6d4a4a4d4d516b6b664a55516b0100");
  EXPECT_TRUE(exact);
  EXPECT_EQ(Text4(u"\u00e4\u00e4kk\u00f6si\u00e4"), "7f4a4a5c5c646b594a01131302021302021300");
  EXPECT_EQ(Text4(u"\u00fcmlaut"), "7f6f605e4a6f6d011300");
  EXPECT_EQ(Text4(u"\u041c\u0438\u0440"), "7f7943793b79480100");
}

TEST(IndexKeyTest, GeneralLegacyClasses) {
  // Apostrophe and hyphen are unprintable: left out of the main part, recorded at the end.
  EXPECT_EQ(Text4(u"a'b"), "7f4a4c01010101800b068000");
  EXPECT_EQ(Text4(u"co-op"), "7f4d64646601010101800f068200");
  EXPECT_EQ(Text4(u"-1"), "7f38010101018007068200");
  // Two-byte simple codes for tab and newline.
  EXPECT_EQ(Text4(u"tab\tin"), "7f6d4a4c080359620100");
  // Accents land on their character's position, padded with 02.
  EXPECT_EQ(Text4(u"r\u00e9sum\u00e9"), "7f69516b6f605101020e0202020e00");
  // Expansions.
  EXPECT_EQ(Text4(u"Stra\u00dfe"), Text4(u"STRASSE"));
  EXPECT_EQ(Text4(u"\u00c6sir"), Text4(u"AEsir"));
  // Kana: flags 3 trimmed, small kana flag 2, voiced mark as extra byte.
  EXPECT_EQ(Text4(u"\u3046"), "7f7f04010101ff0280ff8000");
  EXPECT_EQ(Text4(u"\u3041"), "7f7f02010101a0ff0280ff8000");
  EXPECT_EQ(Text4(u"\u3050"), "7f7f0c01030101ff0280ff8000");
  // Trailing spaces and ignored characters.
  EXPECT_EQ(Text4(u"\u706b\u7403\u672f "), Text4(u"\u706b\u7403\u672f"));
  EXPECT_EQ(Text4(u""), "7f0100");
  EXPECT_EQ(Text4(u"\u3400"), "7f0100");
}

TEST(IndexKeyTest, GeneralLegacyRanges) {
  EXPECT_EQ(Text4(u"\u4e00"), "7f9f020100");
  EXPECT_EQ(Text4(u"\u4e01"), "7f9f060100");  // three codes left free after U+4E00
  EXPECT_EQ(Text4(u"\u9fa5"), "7ff1b40100");
  EXPECT_EQ(Text4(u"\uf900"), "7ff1b50100");
  EXPECT_EQ(Text4(u"\uac00"), "7f81030100");
  EXPECT_EQ(Text4(u"\ud7a3"), "7fadc00100");
  EXPECT_EQ(Text4(u"\ue000"), "7fe6020100");
  EXPECT_EQ(Text4(u"\uf8ff"), "7fff330100");
  // A surrogate pair: computed inline bytes and extra 3F for each half.
  bool exact = false;
  const std::string pair = Text4(u"\U00020000", true, &exact);
  EXPECT_TRUE(exact);
  EXPECT_EQ(pair, "7f" "b042" "b4f8" "01" "3f3f" "00");
}

// A multi-letter expansion counts each letter when later accents and unprintables record their
// position, as Access's own keys of these two strings show (the hyphen's record 80 33 06 82 after
// "Nuß"; 26 fillers before the accent of 'ä' in "großmä", one more than counting ß once).
TEST(IndexKeyTest, ExpansionLettersCountForLaterPositions) {
  EXPECT_NE(Text4(u"NuNuCa Nu\u00df-Nougat-Creme", true).find("80330682"), std::string::npos);
  const std::string plutzer = Text4(u"Plutzer Lebensmittelgro\u00dfm\u00e4rkte AG", true);
  std::string extras = "01";
  for (int i = 0; i < 26; ++i) extras += "02";
  EXPECT_NE(plutzer.find(extras + "1300"), std::string::npos) << plutzer;
  // Two-letter expansions with an accent on a letter: the accent sits at that letter's position.
  EXPECT_EQ(Text4(u"\u01c4", true), "7f4f7801021400");
  EXPECT_EQ(Text4(u"\u01fc", true), "7f4a51010e0e00");
}

TEST(IndexKeyTest, DescendingTextIsComplementPlusTerminator) {
  EXPECT_EQ(Text4(u"ab", false), "80b5b3feff00");
  EXPECT_EQ(Text3(u"ab", false), "809f9eff");
}

TEST(IndexKeyTest, ApproximateCharactersAreFlagged) {
  bool exact = true;
  Text4(u"\ufffd", true, &exact);  // the replacement character: the one BMP code not established
  EXPECT_FALSE(exact);
  for (const char16_t* text : {u"\u20ac", u"\u0101", u"\u0100", u"\u01c4\u01fd", u"\uffef"}) {
    Text4(text, true, &exact);
    EXPECT_TRUE(exact);
  }
  KeyColumn swedish = Col(ColumnType::kText);
  swedish.sort_order = 0x041D;
  Key(Format::kJet4, swedish, Value(std::u16string(u"abc")), &exact);
  EXPECT_FALSE(exact);
}

TEST(IndexKeyTest, General97Examples) {
  bool exact = false;
  EXPECT_EQ(Text3(u"DataAccessPages", true, &exact), "7f64607760606262667676736068667600");
  EXPECT_TRUE(exact);
  EXPECT_EQ(Text3(u"AA\u00c0AA"), "7f6060606060022300");
  EXPECT_EQ(Text3(u"-\u00c1-\u00c1-"), "7f1e601e601e0440");
  EXPECT_EQ(Text3(u"\u00c1AA-\u00c1"), "7f6060601e60042240");
  EXPECT_EQ(Text3(u"AA\u00dfAA"), "7f60607676606000");
  Text3(u"\u20ac", true, &exact);
  EXPECT_FALSE(exact);
  Text3(u"\u4e00", true, &exact);
  EXPECT_FALSE(exact);
}

TEST(IndexKeyTest, Jet3AsciiTableAgreesWithDerivedEntries) {
  int checked = 0;
  for (size_t i = 0; i < collation::kJet3DerivedCount; ++i) {
    const collation::Jet3Entry& e = collation::kJet3Derived[i];
    if (e.byte >= 0x80) continue;
    const collation::Jet3Rule r = collation::Jet3Lookup(e.byte);
    ASSERT_EQ(r.inline_len, e.inline_len) << int(e.byte);
    EXPECT_EQ(r.inline_bytes[0], e.inline_bytes[0]) << int(e.byte);
    ++checked;
  }
  EXPECT_GT(checked, 90);
}

TEST(IndexKeyTest, NumbersExamplesAndNulls) {
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kLong), Value(int32_t{0x0F000001})), "7f8f000001");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kLong), Value(std::numeric_limits<int32_t>::min())),
            "7f00000000");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kLong, false), Value(int32_t{1})), "807ffffffe");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kLong), Value()), "00");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kLong, false), Value()), "ff");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kInt), Value(int16_t{-2})), "7f7ffe");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kByte), Value(uint8_t{200})), "7fc8");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kMoney), Value(Currency{1})), "7f8000000000000001");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kDouble), Value(1.0)), "7fbff0000000000000");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kDouble), Value(-1.0)), "7f400fffffffffffff");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kFloat), Value(0.0f)), "7f80000000");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kBoolean), Value(true)), "7f00");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kBoolean), Value()), "7fff");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kBoolean, false), Value(true)), "80ff");
}

TEST(IndexKeyTest, BinaryGuidDecimal) {
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kBinary), Value(Bytes{})), "7f");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kBinary), Value(Bytes{1, 2, 3})),
            "7f010203000000000003");
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kBinary, false), Value(Bytes{1, 2, 3})),
            "80fefdfcfffffffffffc");
  Bytes nine(9, 0xAA);
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kBinary, false), Value(nine)),
            "80555555555555555509" "55ffffffffffffff" "fe");
  Guid g;
  for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(Key(Format::kJet4, Col(ColumnType::kGuid), Value(g)),
            "7f0302010005040706" "09" "08090a0b0c0d0e0f" "08");
  KeyColumn dec = Col(ColumnType::kNumeric);
  dec.scale = 2;
  Decimal one{false, 1, 0};  // 1 at scale 2 = magnitude 100
  EXPECT_EQ(Key(Format::kJet4, dec, Value(one)), "7fff" + std::string(30, '0') + "64");
  Decimal minus{true, 100, 2};
  EXPECT_EQ(Key(Format::kJet4, dec, Value(minus)), "7f00" + std::string(30, 'f') + "9b");
  dec.ascending = false;
  EXPECT_EQ(Key(Format::kJet4, dec, Value(minus)), "8000" + std::string(30, '0') + "64");
}

TEST(IndexKeyTest, OrderFollowsValues) {
  const std::vector<double> doubles = {-1e300, -2.5, -0.0001, 0.0, 1e-300, 3.0, 1e300};
  for (size_t i = 1; i < doubles.size(); ++i) {
    EXPECT_LT(Key(Format::kJet4, Col(ColumnType::kDouble), Value(doubles[i - 1])),
              Key(Format::kJet4, Col(ColumnType::kDouble), Value(doubles[i])));
    EXPECT_GT(Key(Format::kJet4, Col(ColumnType::kDouble, false), Value(doubles[i - 1])),
              Key(Format::kJet4, Col(ColumnType::kDouble, false), Value(doubles[i])));
  }
  EXPECT_LT(Text4(u"Wolf"), Text4(u"Wolf0"));
  EXPECT_EQ(Text4(u"Wolf"), Text4(u"WOLF"));
  EXPECT_GT(Text4(u"Wolf", false), Text4(u"Wolf0", false));
}

TEST(IndexKeyTest, TextTruncatedTo255Characters) {
  const std::u16string a(300, u'a');
  EXPECT_EQ(Text4(a), Text4(a.substr(0, 255)));
}

TEST(IndexKeyTest, WrongTypeIsRejected) {
  EXPECT_THROW(Key(Format::kJet4, Col(ColumnType::kLong), Value(std::u16string(u"x"))), Error);
  EXPECT_THROW(Key(Format::kJet4, Col(ColumnType::kOle), Value(Bytes{1})), Error);
}

TEST(IndexKeyTest, TextEqualityIgnoresCaseAndTrailingSpaces) {
  EXPECT_TRUE(TextEqualForIndex(u"Wolf", u"WOLF "));
  EXPECT_TRUE(TextEqualForIndex(u"\u00e9t\u00e9", u"\u00c9T\u00c9"));
  EXPECT_TRUE(TextEqualForIndex(u"\u0436", u"\u0416"));
  EXPECT_FALSE(TextEqualForIndex(u"Wolf", u"Wolf0"));
  EXPECT_FALSE(TextEqualForIndex(u"e", u"\u00e9"));
}

}  // namespace
}  // namespace jet

