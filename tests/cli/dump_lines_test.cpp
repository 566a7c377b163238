// The schema lines of the dump, from table definitions built here (rows need a file; see the
// conformance tests).

#include <gtest/gtest.h>

#include "dump.h"

namespace cli {
namespace {

jet::Column MakeColumn(std::u16string name, jet::ColumnType type, uint16_t number,
                       uint16_t length = 0, uint8_t flags = 0x03) {
  jet::Column c;
  c.name = std::move(name);
  c.type = type;
  c.number = number;
  c.length = length;
  c.flags = flags;
  return c;
}

TEST(ColumnsLineTest, LengthsPrecisionAndAutonumber) {
  jet::TableDef def;
  def.name = u"T \"1\"";
  def.columns.push_back(MakeColumn(u"ID", jet::ColumnType::kLong, 0, 4, 0x07));
  def.columns.push_back(MakeColumn(u"Small", jet::ColumnType::kInt, 1, 2, 0x07));
  def.columns.push_back(MakeColumn(u"Name", jet::ColumnType::kText, 2, 100, 0x02));
  def.columns.push_back(MakeColumn(u"Raw", jet::ColumnType::kBinary, 3, 16, 0x02));
  jet::Column dec = MakeColumn(u"Dec", jet::ColumnType::kNumeric, 4, 17);
  dec.precision = 18;
  dec.scale = 4;
  def.columns.push_back(dec);
  def.columns.push_back(MakeColumn(u"G", jet::ColumnType::kGuid, 5, 16, 0x43));
  def.columns.push_back(MakeColumn(u"H", jet::ColumnType::kGuid, 6, 16, 0x03));

  // Jet4 stores text lengths in bytes (two per character), Jet3 in characters.
  const std::string jet4 = ColumnsLine(def, jet::Format::kJet4);
  EXPECT_EQ(jet4,
            R"({"table":"T \"1\"","columns":[{"name":"ID","type":"LONG","auto":true},)"
            R"({"name":"Small","type":"INT"},{"name":"Name","type":"TEXT","len":50},)"
            R"({"name":"Raw","type":"BINARY","len":16},)"
            R"({"name":"Dec","type":"NUMERIC","precision":18,"scale":4},)"
            R"({"name":"G","type":"GUID","auto":true},{"name":"H","type":"GUID"}]})");
  EXPECT_NE(ColumnsLine(def, jet::Format::kJet3).find(R"("TEXT","len":100})"), std::string::npos);
}

TEST(IndexLinesTest, SortedByCodeUnitWithDescendingColumnsAndFlags) {
  jet::TableDef def;
  def.name = u"T";
  def.columns.push_back(MakeColumn(u"A", jet::ColumnType::kLong, 0));
  def.columns.push_back(MakeColumn(u"B", jet::ColumnType::kLong, 3));
  jet::Index lower;
  lower.name = u"alpha";  // 'a' sorts after every upper-case letter
  lower.columns = {{3, false}, {0, true}};
  lower.ignore_nulls = true;
  jet::Index upper;
  upper.name = u"Zeta";
  upper.columns = {{0, true}};
  upper.primary = upper.unique = upper.required = true;
  jet::Index accented;
  accented.name = u"\u00e9t\u00e9";  // U+00E9 sorts after ASCII
  accented.columns = {{7, true}};    // a column number the definition does not list
  accented.foreign = true;
  def.indexes = {accented, lower, upper};

  const std::vector<std::string> lines = IndexLines(def);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0],
            R"({"table":"T","index":"Zeta","columns":["A"],"primary":true,"unique":true,)"
            R"("ignoreNulls":false,"required":true,"foreign":false})");
  EXPECT_EQ(lines[1],
            R"({"table":"T","index":"alpha","columns":["-B","A"],"primary":false,)"
            R"("unique":false,"ignoreNulls":true,"required":false,"foreign":false})");
  EXPECT_EQ(lines[2],
            "{\"table\":\"T\",\"index\":\"\u00e9t\u00e9\",\"columns\":[\"#7\"],"
            "\"primary\":false,\"unique\":false,\"ignoreNulls\":false,\"required\":false,"
            "\"foreign\":true}");
}

}  // namespace
}  // namespace cli
