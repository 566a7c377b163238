#include "query/saved_query.h"

#include <gtest/gtest.h>

#include <map>

#include "support/fixtures.h"

namespace query {
namespace {

struct Expected {
  const char* name;
  QueryType type;
  const char* sql;
};

// The same nine queries are stored in both the Access 97 and the Access 2000 file.
const Expected kQueries[] = {
    {"SelectQuery", QueryType::kSelect,
     "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3\n"
     "FROM (Table1 LEFT JOIN Table3 ON Table1.col1 = Table3.col1) INNER JOIN Table2 ON "
     "(Table3.col1 = Table2.col1) AND (Table3.col1 = Table2.col2)\n"
     "WHERE (((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\")))\n"
     "ORDER BY Table2.col1;"},
    {"UpdateQuery", QueryType::kUpdate,
     "PARAMETERS [User Name] Text ( 255 );\n"
     "UPDATE Table1 SET Table1.col1 = \"foo\", Table1.col2 = [Table2].[col3], [Table2].[col1] = "
     "[User Name]\n"
     "WHERE ((([Table2].[col1]) Is Not Null));"},
    {"AppendQuery", QueryType::kAppend,
     "INSERT INTO Table3 ( col2, col2, col3 )\n"
     "SELECT [Table1].[col2], [Table2].[col2], [Table2].[col3]\n"
     "FROM Table3, Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1];"},
    {"DeleteQuery", QueryType::kDelete,
     "DELETE Table1.col1, Table1.col2, Table1.col3\n"
     "FROM Table1\n"
     "WHERE (((Table1.col1)>\"blah\"));"},
    {"MakeTableQuery", QueryType::kMakeTable,
     "SELECT Max(Table2.col1) AS MaxOfcol1, Table2.col2, Table3.col2 INTO Table4\n"
     "FROM (Table2 INNER JOIN Table1 ON Table2.col1 = Table1.col2) RIGHT JOIN Table3 ON "
     "Table1.col2 = Table3.col3\n"
     "GROUP BY Table2.col2, Table3.col2\n"
     "HAVING (((Max(Table2.col1))=\"buzz\") AND ((Table2.col2)<>\"blah\"));"},
    {"CrosstabQuery", QueryType::kCrosstab,
     "TRANSFORM Count([Table2].[col2]) AS CountOfcol2\n"
     "SELECT Table2_1.col1, [Table2].[col3], Avg(Table2_1.col2) AS AvgOfcol2\n"
     "FROM (Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1]) INNER JOIN Table2 AS "
     "Table2_1 ON [Table2].[col1]=Table2_1.col3\n"
     "WHERE ((([Table1].[col1])>\"10\") And ((Table2_1.col1) Is Not Null) And "
     "((Avg(Table2_1.col2))>\"10\"))\n"
     "GROUP BY Table2_1.col1, [Table2].[col3]\n"
     "ORDER BY [Table2].[col3]\n"
     "PIVOT [Table1].[col1];"},
    {"UnionQuery", QueryType::kUnion,
     "Select Table1.col1, Table1.col2\r\nwhere Table1.col1 = \"foo\"\r\nUNION\r\n"
     "Select Table2.col1, Table2.col2\n"
     "UNION ALL Select Table3.col1, Table3.col2\r\nwhere Table3.col3 > \"blah\";"},
    {"PassthroughQuery", QueryType::kPassThrough, "ALTER TABLE Table4 DROP COLUMN col5;"},
    {"DataDefinitionQuery", QueryType::kDataDefinition,
     "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);"},
};

class SavedQueryFixture : public testing::TestWithParam<const char*> {};

TEST_P(SavedQueryFixture, EveryQueryTypeDecodesToItsText) {
  MDB_REQUIRE_FIXTURES();
  auto db = jet::Database::Open(fixtures::Path(GetParam()));
  std::map<std::string, SavedQuery> by_name;
  for (SavedQuery& q : ReadSavedQueries(*db)) by_name[jet::ToUtf8(q.name)] = std::move(q);
  ASSERT_EQ(by_name.size(), std::size(kQueries));
  for (const Expected& e : kQueries) {
    SCOPED_TRACE(e.name);
    ASSERT_TRUE(by_name.count(e.name));
    const SavedQuery& q = by_name[e.name];
    EXPECT_EQ(q.type, e.type);
    EXPECT_EQ(jet::ToUtf8(q.Sql()), e.sql);
    EXPECT_EQ(q.rows.front().attribute, 0);
    EXPECT_EQ(q.rows.back().attribute, 255);
  }
  const SavedQuery& update = by_name["UpdateQuery"];
  ASSERT_EQ(update.parameters.size(), 1u);
  EXPECT_EQ(update.parameters[0].name, u"User Name");
  ASSERT_TRUE(FindSavedQuery(*db, u"selectquery"));
  EXPECT_FALSE(FindSavedQuery(*db, u"Table1"));
}

INSTANTIATE_TEST_SUITE_P(BothFormats, SavedQueryFixture,
                         testing::Values("access/jackcess-V1997-queryTestV1997.mdb",
                                         "access/jackcess-V2000-queryTestV2000.mdb"));

QueryRow Row(uint8_t attribute, std::optional<int16_t> flag, std::u16string name1 = {},
             std::u16string name2 = {}, std::optional<std::u16string> expr = std::nullopt) {
  QueryRow r;
  r.attribute = attribute;
  r.flag = flag;
  r.name1 = std::move(name1);
  r.name2 = std::move(name2);
  r.expression = std::move(expr);
  return r;
}

// Shapes the fixtures do not hold: TOP n PERCENT, DISTINCTROW, a join whose right side is itself
// a join, aliases needing brackets, sub-queries in FROM, descending order, VALUES appends.
TEST(SavedQueryText, HandMadeRows) {
  struct Case {
    QueryType type;
    std::vector<QueryRow> rows;
    const char* sql;
  };
  const Case cases[] = {
      {QueryType::kSelect,
       {Row(1, 1), Row(3, 0x10 | 0x20 | 0x08, u"25"), Row(5, {}, u"Order Details", u"od"),
        Row(6, 0, u"Total Sum", {}, u"Sum(od.Price)"), Row(9, 0, {}, {}, u"od.Id"),
        Row(11, {}, u"D", {}, u"Sum(od.Price)")},
       "SELECT DISTINCTROW TOP 25 PERCENT Sum(od.Price) AS [Total Sum]\n"
       "FROM [Order Details] AS od\nGROUP BY od.Id\nORDER BY Sum(od.Price) DESC;"},
      {QueryType::kSelect,
       {Row(1, 1), Row(3, 0x01), Row(5, {}, u"A"), Row(5, {}, u"B"), Row(5, {}, u"C"),
        Row(5, {}, u"D"), Row(7, 1, u"C", u"D", u"C.x=D.x"), Row(7, 2, u"A", u"C", u"A.y=C.y"),
        Row(7, 3, u"B", u"A", u"B.z=A.z")},
       "SELECT *\nFROM B RIGHT JOIN (A LEFT JOIN (C INNER JOIN D ON C.x=D.x) ON A.y=C.y) ON "
       "B.z=A.z;"},
      {QueryType::kSelect,
       {Row(1, 1), Row(5, {}, {}, u"q", u"SELECT Id FROM T"), Row(6, 0, {}, {}, u"q.Id"),
        Row(3, 0x04)},
       "SELECT q.Id\nFROM (SELECT Id FROM T) AS q\nWITH OWNERACCESS OPTION;"},
      {QueryType::kAppend,
       {Row(1, 3, u"Log"), Row(6, 0, {}, u"Msg", u"\"hi\""), Row(6, 0, {}, u"At", u"Now()")},
       "INSERT INTO Log ( Msg, At )\nVALUES (\"hi\", Now());"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(jet::ToUtf8(BuildAccessSql(c.type, c.rows)), c.sql);
  }
}

}  // namespace
}  // namespace query
