#include "dump_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace cli {
namespace {

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
