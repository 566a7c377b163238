#include "dump_format.h"

#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

namespace cli {
namespace {

double DoubleFromBits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

TEST(FormatDoubleTest, FollowsEcmascriptLayout) {
  EXPECT_EQ(FormatDouble(0.0), "0");
  EXPECT_EQ(FormatDouble(-0.0), "-0");
  EXPECT_EQ(FormatDouble(0.1), "0.1");
  EXPECT_EQ(FormatDouble(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(FormatDouble(-2.5), "-2.5");
  EXPECT_EQ(FormatDouble(100), "100");
  EXPECT_EQ(FormatDouble(1e10), "10000000000");
  EXPECT_EQ(FormatDouble(123456789.123456), "123456789.123456");
  // Integers up to 21 digits are written out, from 1e21 on in exponent form.
  EXPECT_EQ(FormatDouble(1e20), "100000000000000000000");
  EXPECT_EQ(FormatDouble(123456789012345680000.0), "123456789012345680000");
  EXPECT_EQ(FormatDouble(1e21), "1e+21");
  EXPECT_EQ(FormatDouble(1.5e21), "1.5e+21");
  EXPECT_EQ(FormatDouble(9007199254740992.0), "9007199254740992");
  // Small numbers: plain down to 1e-6, exponent form from 1e-7.
  EXPECT_EQ(FormatDouble(1e-6), "0.000001");
  EXPECT_EQ(FormatDouble(1.5e-6), "0.0000015");
  EXPECT_EQ(FormatDouble(1e-7), "1e-7");
  EXPECT_EQ(FormatDouble(-1.25e-7), "-1.25e-7");
  EXPECT_EQ(FormatDouble(std::numeric_limits<double>::max()), "1.7976931348623157e+308");
  EXPECT_EQ(FormatDouble(std::numeric_limits<double>::min()), "2.2250738585072014e-308");
  EXPECT_EQ(FormatDouble(DoubleFromBits(1)), "5e-324");
  EXPECT_EQ(FormatDouble(std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_EQ(FormatDouble(std::numeric_limits<double>::infinity()), "Infinity");
  EXPECT_EQ(FormatDouble(-std::numeric_limits<double>::infinity()), "-Infinity");
}

TEST(FormatFloatTest, UsesShortestDigitsOfTheSingle) {
  EXPECT_EQ(FormatFloat(0.1f), "0.1");
  EXPECT_EQ(FormatFloat(1.0f / 3.0f), "0.33333334");
  EXPECT_EQ(FormatFloat(3.14159265f), "3.1415927");
  EXPECT_EQ(FormatFloat(123456.789f), "123456.79");
  EXPECT_EQ(FormatFloat(16777216.0f), "16777216");
  EXPECT_EQ(FormatFloat(std::numeric_limits<float>::max()), "3.4028235e+38");
  EXPECT_EQ(FormatFloat(std::numeric_limits<float>::denorm_min()), "1e-45");
  EXPECT_EQ(FormatFloat(2.5e-40f), "2.5e-40");
  EXPECT_EQ(FormatFloat(1e-7f), "1e-7");
  EXPECT_EQ(FormatFloat(1e10f), "10000000000");
  EXPECT_EQ(FormatFloat(-0.0f), "-0");
}

TEST(FormatExactNumbersTest, Money) {
  EXPECT_EQ(FormatMoney(0), "0.0000");
  EXPECT_EQ(FormatMoney(-1), "-0.0001");
  EXPECT_EQ(FormatMoney(199900), "19.9900");
  EXPECT_EQ(FormatMoney(std::numeric_limits<int64_t>::max()), "922337203685477.5807");
  EXPECT_EQ(FormatMoney(std::numeric_limits<int64_t>::min()), "-922337203685477.5808");
}

TEST(FormatDateTimeTest, CalendarAcrossTheEpochAndCenturies) {
  EXPECT_EQ(FormatDateTime(0), "1899-12-30T00:00:00");
  EXPECT_EQ(FormatDateTime(1), "1899-12-31T00:00:00");
  EXPECT_EQ(FormatDateTime(2), "1900-01-01T00:00:00");
  EXPECT_EQ(FormatDateTime(0.5), "1899-12-30T12:00:00");
  EXPECT_EQ(FormatDateTime(25569), "1970-01-01T00:00:00");
  EXPECT_EQ(FormatDateTime(36526), "2000-01-01T00:00:00");
  EXPECT_EQ(FormatDateTime(45351 + (12 * 3600 + 34 * 60 + 56) / 86400.0), "2024-02-29T12:34:56");
  EXPECT_EQ(FormatDateTime(2958465 + 86399 / 86400.0), "9999-12-31T23:59:59");
  EXPECT_EQ(FormatDateTime(-657434), "0100-01-01T00:00:00");
  // Before the epoch the time of day is still added: -1.25 is 1899-12-29 06:00.
  EXPECT_EQ(FormatDateTime(-1.25), "1899-12-29T06:00:00");
  EXPECT_EQ(FormatDateTime(-1), "1899-12-29T00:00:00");
  EXPECT_EQ(FormatDateTime(-109207), "1600-12-30T00:00:00");
  // 1600 and 2000 are leap years, 1700/1800/1900 are not.
  EXPECT_EQ(FormatDateTime(-109207 - 305), "1600-02-29T00:00:00");
  EXPECT_EQ(FormatDateTime(-36463), "1800-03-01T00:00:00");
  EXPECT_EQ(FormatDateTime(-36464), "1800-02-28T00:00:00");
}

TEST(FormatDateTimeTest, RoundsToTheMillisecond) {
  EXPECT_EQ(FormatDateTime(25569 + 0.5 / 86400), "1970-01-01T00:00:00.500");
  EXPECT_EQ(FormatDateTime(25569 + 0.0004 / 86400), "1970-01-01T00:00:00");
  EXPECT_EQ(FormatDateTime(25569 + 0.0006 / 86400), "1970-01-01T00:00:00.001");
  // A time that rounds up to midnight moves to the next day.
  EXPECT_EQ(FormatDateTime(25569 + 86399.9996 / 86400), "1970-01-02T00:00:00");
  EXPECT_EQ(FormatDateTime(-1 - 86399.9996 / 86400), "1899-12-30T00:00:00");
  EXPECT_EQ(FormatDateTime(std::nan("")), "NaN");
  EXPECT_EQ(FormatDateTime(1e300), "1e+300");
}

TEST(FormatBytesTest, Hex) {
  EXPECT_EQ(FormatHex({}), "");
  EXPECT_EQ(FormatHex({0x0a, 0x0d, 0xff, 0x00}), "0a0dff00");
}

std::string Json(std::u16string_view s) {
  std::string out;
  AppendJsonString(s, out);
  return out;
}

TEST(JsonStringTest, EscapesOnlyWhatJsonNeeds) {
  EXPECT_EQ(Json(u""), "\"\"");
  EXPECT_EQ(Json(u"Tab\there \"quoted\" back\\slash/"), R"("Tab\there \"quoted\" back\\slash/")");
  EXPECT_EQ(Json(u"\b\f\n\r"), R"("\b\f\n\r")");
  EXPECT_EQ(Json(std::u16string(u"\0\x01\x1f\x7f", 4)), "\"\\u0000\\u0001\\u001f\x7f\"");
  EXPECT_EQ(Json(u"Zürich 中文 \uFEFF"), "\"Zürich 中文 \uFEFF\"");
  EXPECT_EQ(Json(u"😀𠀀"), "\"😀𠀀\"");
}

TEST(JsonStringTest, UnpairedSurrogatesAreEscaped) {
  EXPECT_EQ(Json(std::u16string{0xD800}), R"("\ud800")");
  EXPECT_EQ(Json(std::u16string{u'a', 0xDFFF, u'b'}), R"("a\udfffb")");
  // A low surrogate before a high one pairs with nothing.
  EXPECT_EQ(Json(std::u16string{0xDC00, 0xD83D}), R"("\udc00\ud83d")");
  EXPECT_EQ(Json(std::u16string{0xD83D, 0xD83D, 0xDE00}), "\"\\ud83d😀\"");
}

std::string JsonValue(const jet::Value& v) {
  std::string out;
  AppendJsonValue(v, out);
  return out;
}

TEST(JsonValueTest, EachVariantHasItsForm) {
  EXPECT_EQ(JsonValue({}), "null");
  EXPECT_EQ(JsonValue(true), "true");
  EXPECT_EQ(JsonValue(uint8_t{255}), "255");
  EXPECT_EQ(JsonValue(int16_t{-32768}), "-32768");
  EXPECT_EQ(JsonValue(int32_t{-2147483647 - 1}), "-2147483648");
  EXPECT_EQ(JsonValue(0.1f), "0.1");
  EXPECT_EQ(JsonValue(std::numeric_limits<double>::quiet_NaN()), "\"NaN\"");
  EXPECT_EQ(JsonValue(-std::numeric_limits<float>::infinity()), "\"-Infinity\"");
  EXPECT_EQ(JsonValue(jet::Currency{-1}), "\"-0.0001\"");
  EXPECT_EQ(JsonValue(jet::Decimal{false, 12, 0}), "\"12\"");
  EXPECT_EQ(JsonValue(jet::DateTime{-1.25}), "\"1899-12-29T06:00:00\"");
  EXPECT_EQ(JsonValue(std::u16string(u"a\"b")), R"("a\"b")");
  EXPECT_EQ(JsonValue(jet::Bytes{0xca, 0xfe}), "\"cafe\"");
  EXPECT_EQ(JsonValue(jet::Guid{}), "\"{00000000-0000-0000-0000-000000000000}\"");
}

}  // namespace
}  // namespace cli
