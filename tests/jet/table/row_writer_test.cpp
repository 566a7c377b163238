// Row encoding (Jet4 and Jet3), text compression and value conversion of the write path.

#include <gtest/gtest.h>

#include <vector>

#include "jet/error.h"
#include "table/row_writer.h"
#include "value/text_encode.h"
#include "value/value_convert.h"

namespace jet {
namespace {

Column TextColumn(uint16_t number, uint16_t var_index, uint16_t chars = 50) {
  Column c;
  c.name = u"T" + std::u16string(1, static_cast<char16_t>(u'0' + number));
  c.type = ColumnType::kText;
  c.number = number;
  c.var_index = var_index;
  c.length = static_cast<uint16_t>(chars * 2);
  c.flags = 0x02;
  c.extra_flags = 0x01;
  return c;
}

Column FixedColumn(ColumnType type, uint16_t number, uint16_t offset, uint16_t length) {
  Column c;
  c.name = u"F" + std::u16string(1, static_cast<char16_t>(u'0' + number));
  c.type = type;
  c.number = number;
  c.fixed_offset = offset;
  c.length = length;
  c.flags = 0x03;
  return c;
}

RowCell Cell(std::vector<uint8_t> bytes) { return RowCell{std::move(bytes), false}; }

std::vector<uint8_t> Ascii(const char* s) { return std::vector<uint8_t>(s, s + strlen(s)); }

TEST(RowEncodeTest, ReproducesTheThreeTextColumnSample) {
  const std::vector<Column> columns = {TextColumn(0, 0), TextColumn(1, 1), TextColumn(2, 2)};
  RowLayout layout{3, 3, columns};
  std::vector<uint8_t> v0 = {0xFF, 0xFE};
  std::vector<uint8_t> v1 = v0;
  auto a = Ascii("row1col1");
  auto b = Ascii("row1col2");
  v0.insert(v0.end(), a.begin(), a.end());
  v1.insert(v1.end(), b.begin(), b.end());
  std::vector<uint8_t> row =
      EncodeRow(FormatFor(Format::kJet4), layout, {Cell(v0), Cell(v1), RowCell{}});
  std::vector<uint8_t> expected = {0x03, 0x00};
  expected.insert(expected.end(), v0.begin(), v0.end());
  expected.insert(expected.end(), v1.begin(), v1.end());
  for (uint8_t x : {0x16, 0x00, 0x16, 0x00, 0x0C, 0x00, 0x02, 0x00, 0x03, 0x00, 0x03}) {
    expected.push_back(x);
  }
  EXPECT_EQ(row, expected);
}

TEST(RowEncodeTest, FixedAreaBooleansAndDroppedVarSlots) {
  // Columns: 0 LONG at 0, 1 BOOLEAN, 3 INT at 4, 4 TEXT in var slot 1; var slot 0 and column
  // number 2 belong to a dropped column. max_cols 5.
  Column boolean = FixedColumn(ColumnType::kBoolean, 1, 0, 1);
  const std::vector<Column> columns = {FixedColumn(ColumnType::kLong, 0, 0, 4), boolean,
                                       FixedColumn(ColumnType::kInt, 3, 4, 2), TextColumn(4, 1)};
  RowLayout layout{5, 2, columns};
  EXPECT_EQ(FixedAreaSize(layout), 6u);
  RowCell yes;
  yes.boolean = true;
  std::vector<uint8_t> row =
      EncodeRow(FormatFor(Format::kJet4), layout,
                {Cell({1, 2, 3, 4}), yes, RowCell{}, Cell({'h', 0, 'i', 0})});
  const std::vector<uint8_t> expected = {
      0x05, 0x00,                    // column count
      1, 2, 3, 4, 0, 0,              // fixed area; the NULL INT stays zero-filled
      'h', 0, 'i', 0,                // var slot 1
      0x0C, 0x00,                    // EOD
      0x08, 0x00, 0x08, 0x00,        // slot 1, slot 0 (empty, dropped column)
      0x02, 0x00,                    // var count
      0b00010011};                   // columns 0, 1 (True), 4
  EXPECT_EQ(row, expected);
}

// Jet3 rows: u8 fields and a jump table once the row passes 256 bytes. Cases: a short row (no
// jumps), a row whose data passes 256 (entry = first offset-table index at or past 256), and one
// whose trailer alone pushes it past 256 (the entry is the 0xFF dummy).
TEST(RowEncodeTest, Jet3RowsCarryAJumpTable) {
  const FormatInfo& jet3 = FormatFor(Format::kJet3);
  const std::vector<Column> columns = {FixedColumn(ColumnType::kInt, 0, 0, 2), TextColumn(1, 0),
                                       TextColumn(2, 1)};
  RowLayout layout{3, 2, columns};
  std::vector<uint8_t> row =
      EncodeRow(jet3, layout, {Cell({7, 0}), Cell(Ascii("ab")), Cell(Ascii("c"))});
  EXPECT_EQ(row, (std::vector<uint8_t>{0x03, 7, 0, 'a', 'b', 'c', 0x06, 0x05, 0x03, 0x02, 0x07}));

  const std::vector<uint8_t> a(200, 'a');
  const std::vector<uint8_t> b(100, 'b');
  row = EncodeRow(jet3, layout, {Cell({7, 0}), Cell(a), Cell(b)});
  // 3 + 300 data bytes, EOD 303, offsets 3 and 203, then one jump entry, V, mask.
  ASSERT_EQ(row.size(), 303u + 1 + 2 + 1 + 1 + 1);
  EXPECT_EQ(row[303], 303 & 0xFF);  // EOD low byte
  EXPECT_EQ(row[304], 203);         // var 1
  EXPECT_EQ(row[305], 3);           // var 0
  EXPECT_EQ(row[306], 2);           // jump 0: index 2 (the EOD) is the first past 255
  EXPECT_EQ(row[307], 2);           // V

  const std::vector<uint8_t> c(250, 'c');
  row = EncodeRow(jet3, layout, {Cell({7, 0}), Cell(c), RowCell{}});
  // Data ends at 253: the trailer makes the row 259 bytes, so a jump entry exists but is unused.
  ASSERT_EQ(row.size(), 253u + 1 + 2 + 1 + 1 + 1);
  EXPECT_EQ(row[256], 0xFF);
}

TEST(RowEncodeTest, OnlyFixedColumnsHaveNoVarTable) {
  const std::vector<Column> columns = {FixedColumn(ColumnType::kByte, 8, 0, 1)};
  RowLayout layout{9, 0, columns};
  std::vector<uint8_t> row = EncodeRow(FormatFor(Format::kJet4), layout, {Cell({0x7F})});
  EXPECT_EQ(row, (std::vector<uint8_t>{0x09, 0x00, 0x7F, 0x00, 0x01}));
  row = EncodeRow(FormatFor(Format::kJet4), layout, {RowCell{}});
  EXPECT_EQ(row, (std::vector<uint8_t>{0x09, 0x00, 0x00, 0x00, 0x00}));
}

// A row of a table that had no variable columns, given the empty offset table it needs once the
// table has one: the count, fixed area and mask stay; Jet3 rows past 255 bytes get a jump entry.
TEST(RowEncodeTest, EmptyVarTableKeepsTheRow) {
  struct Case {
    Format format;
    std::vector<uint8_t> row;
    std::vector<uint8_t> want;
  };
  std::vector<uint8_t> long_jet3(302, 0xAB);  // count 1, 300 fixed bytes, mask
  long_jet3[0] = 0x01;
  long_jet3[301] = 0x01;
  std::vector<uint8_t> long_want(long_jet3.begin(), long_jet3.end() - 1);
  long_want.insert(long_want.end(), {301 & 0xFF, 0x00, 0x00, 0x01});  // EOD, jump 0, V, mask
  const Case cases[] = {
      {Format::kJet4, {0x09, 0x00, 0x7F, 0x00, 0x01},
       {0x09, 0x00, 0x7F, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}},
      {Format::kJet3, {0x02, 0x05, 0x06, 0x03}, {0x02, 0x05, 0x06, 0x03, 0x00, 0x03}},
      {Format::kJet3, long_jet3, long_want},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WithEmptyVarTable(FormatFor(c.format), c.row), c.want);
  }
}

TEST(TextEncodeTest, CompressionRule) {
  EXPECT_EQ(EncodeJet4Text(u"abc", true, false), (std::vector<uint8_t>{0xFF, 0xFE, 'a', 'b', 'c'}));
  // Too short, not allowed, a character above U+00FF, or U+0000: uncompressed.
  EXPECT_EQ(EncodeJet4Text(u"ab", true, false), (std::vector<uint8_t>{'a', 0, 'b', 0}));
  EXPECT_EQ(EncodeJet4Text(u"abc", false, false).size(), 6u);
  EXPECT_EQ(EncodeJet4Text(u"ab\u4E00", true, false),
            (std::vector<uint8_t>{'a', 0, 'b', 0, 0x00, 0x4E}));
  EXPECT_EQ(EncodeJet4Text(std::u16string(u"a\0b", 3), true, false).size(), 6u);
  EXPECT_EQ(EncodeJet4Text(u"\u00e9t\u00e9", true, false),
            (std::vector<uint8_t>{0xFF, 0xFE, 0xE9, 't', 0xE9}));
  EXPECT_TRUE(EncodeJet4Text(u"", true, false).empty());
  // Memo values longer than 1024 characters are stored uncompressed.
  EXPECT_TRUE(Jet4TextCompresses(std::u16string(1024, u'x'), true, true));
  EXPECT_FALSE(Jet4TextCompresses(std::u16string(1025, u'x'), true, true));
  EXPECT_TRUE(Jet4TextCompresses(std::u16string(1025, u'x'), true, false));
}

class ConvertTest : public testing::Test {
 protected:
  static Column Of(ColumnType type, uint16_t length = 0) {
    Column c;
    c.name = u"Col";
    c.type = type;
    c.length = length;
    c.precision = 6;
    c.scale = 2;
    return c;
  }
  static Value Conv(const Value& v, ColumnType type, uint16_t length = 0) {
    return ConvertValue(v, Of(type, length), u"Tbl");
  }
  static Error::Kind KindOf(const Value& v, ColumnType type, uint16_t length = 0) {
    try {
      Conv(v, type, length);
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("'Col'"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("'Tbl'"), std::string::npos) << e.what();
      return e.kind();
    }
    ADD_FAILURE() << "no error";
    return Error::Kind::kIo;
  }
};

TEST_F(ConvertTest, TextToNumbers) {
  EXPECT_EQ(Conv(Value(u"12"), ColumnType::kLong), Value(int32_t{12}));
  EXPECT_EQ(Conv(Value(u" -7 "), ColumnType::kInt), Value(int16_t{-7}));
  EXPECT_EQ(Conv(Value(u"2.5"), ColumnType::kLong), Value(int32_t{2}));  // half to even
  EXPECT_EQ(Conv(Value(u"3.5"), ColumnType::kLong), Value(int32_t{4}));
  EXPECT_EQ(Conv(Value(u"1e3"), ColumnType::kLong), Value(int32_t{1000}));
  EXPECT_EQ(Conv(Value(u"1.25"), ColumnType::kDouble), Value(1.25));
  EXPECT_EQ(Conv(Value(u"12.34567"), ColumnType::kMoney), Value(Currency{123457}));
  EXPECT_EQ(Conv(Value(u"-1234.565"), ColumnType::kNumeric),
            Value(Decimal{true, 123456, 2}));
  EXPECT_EQ(KindOf(Value(u"abc"), ColumnType::kLong), Error::Kind::kInvalidArgument);
  EXPECT_EQ(KindOf(Value(u"12abc"), ColumnType::kDouble), Error::Kind::kInvalidArgument);
}

TEST_F(ConvertTest, Ranges) {
  EXPECT_EQ(Conv(Value(int64_t{2147483647}), ColumnType::kLong), Value(int32_t{INT32_MAX}));
  EXPECT_EQ(Conv(Value(int32_t{-2147483647 - 1}), ColumnType::kLong), Value(int32_t{INT32_MIN}));
  EXPECT_EQ(KindOf(Value(int64_t{2147483648}), ColumnType::kLong), Error::Kind::kConstraint);
  EXPECT_EQ(KindOf(Value(int32_t{256}), ColumnType::kByte), Error::Kind::kConstraint);
  EXPECT_EQ(KindOf(Value(int32_t{-1}), ColumnType::kByte), Error::Kind::kConstraint);
  EXPECT_EQ(KindOf(Value(int32_t{32768}), ColumnType::kInt), Error::Kind::kConstraint);
  EXPECT_EQ(KindOf(Value(1e39), ColumnType::kFloat), Error::Kind::kConstraint);
  EXPECT_EQ(KindOf(Value(u"10000"), ColumnType::kNumeric), Error::Kind::kConstraint);  // p6 s2
  EXPECT_EQ(Conv(Value(u"9999.99"), ColumnType::kNumeric), Value(Decimal{false, 999999, 2}));
  EXPECT_EQ(KindOf(Value(1e20), ColumnType::kMoney), Error::Kind::kConstraint);
}

TEST_F(ConvertTest, NumbersAndBooleansToText) {
  EXPECT_EQ(Conv(Value(int32_t{-42}), ColumnType::kText, 20), Value(std::u16string(u"-42")));
  EXPECT_EQ(Conv(Value(1.5), ColumnType::kText, 20), Value(std::u16string(u"1.5")));
  EXPECT_EQ(Conv(Value(Decimal{true, 5, 3}), ColumnType::kText, 20),
            Value(std::u16string(u"-0.005")));
  EXPECT_EQ(Conv(Value(u"abcde"), ColumnType::kText, 10), Value(std::u16string(u"abcde")));
  EXPECT_EQ(KindOf(Value(u"abcdef"), ColumnType::kText, 10), Error::Kind::kConstraint);
  EXPECT_EQ(KindOf(Value(int32_t{123456}), ColumnType::kText, 10), Error::Kind::kConstraint);
}

TEST_F(ConvertTest, Booleans) {
  EXPECT_EQ(Conv(Value(u"True"), ColumnType::kBoolean), Value(true));
  EXPECT_EQ(Conv(Value(u"no"), ColumnType::kBoolean), Value(false));
  EXPECT_EQ(Conv(Value(int32_t{-1}), ColumnType::kBoolean), Value(true));
  EXPECT_EQ(Conv(Value(int32_t{0}), ColumnType::kBoolean), Value(false));
  EXPECT_EQ(Conv(Value(u"-1"), ColumnType::kBoolean), Value(true));
  EXPECT_EQ(Conv(Value(), ColumnType::kBoolean), Value(false));
  EXPECT_EQ(Conv(Value(true), ColumnType::kLong), Value(int32_t{-1}));
  EXPECT_EQ(KindOf(Value(u"maybe"), ColumnType::kBoolean), Error::Kind::kInvalidArgument);
}

TEST_F(ConvertTest, Dates) {
  EXPECT_EQ(Conv(Value(u"1899-12-30"), ColumnType::kDateTime), Value(DateTime{0}));
  EXPECT_EQ(Conv(Value(u"1900-01-01 12:00:00"), ColumnType::kDateTime), Value(DateTime{2.5}));
  EXPECT_EQ(Conv(Value(u"1899-12-29 06:00"), ColumnType::kDateTime), Value(DateTime{-1.25}));
  EXPECT_EQ(Conv(Value(u"2024-02-29T00:00:00"), ColumnType::kDateTime),
            Value(DateTime{45351}));
  EXPECT_EQ(KindOf(Value(u"2023-02-29"), ColumnType::kDateTime), Error::Kind::kInvalidArgument);
  EXPECT_EQ(KindOf(Value(u"2023-01-01 24:00"), ColumnType::kDateTime),
            Error::Kind::kInvalidArgument);
  EXPECT_EQ(KindOf(Value(u"0099-01-01"), ColumnType::kDateTime), Error::Kind::kInvalidArgument);
}

TEST_F(ConvertTest, GuidBinaryAndEncoding) {
  Value g = Conv(Value(u"{01020304-0506-0708-090A-0B0C0D0E0F10}"), ColumnType::kGuid);
  const std::array<uint8_t, 16> stored = {4, 3, 2, 1, 6, 5, 8, 7, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_EQ(g.as<Guid>().bytes, stored);
  EXPECT_EQ(KindOf(Value(Bytes(17, 0)), ColumnType::kBinary, 16), Error::Kind::kConstraint);
  EXPECT_EQ(KindOf(Value(u"x"), ColumnType::kBinary, 16), Error::Kind::kInvalidArgument);
  Column dec = Of(ColumnType::kNumeric, 17);
  std::vector<uint8_t> bytes = EncodeValueBytes(Value(Decimal{true, 1, 2}), dec);
  ASSERT_EQ(bytes.size(), 17u);
  EXPECT_EQ(bytes[0], 0x80);
  EXPECT_EQ(bytes[13], 0x01);
  Column fixed_text = Of(ColumnType::kText, 8);
  fixed_text.flags = 0x01;
  EXPECT_EQ(EncodeValueBytes(Value(std::u16string(u"ab")), fixed_text),
            (std::vector<uint8_t>{'a', 0, 'b', 0, ' ', 0, ' ', 0}));
}

}  // namespace
}  // namespace jet
