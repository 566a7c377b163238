// Saved select queries as views of the SQLite export: each view returns what the query engine
// returns for the saved query, views on views follow their sources, and every query left out is
// named with its reason.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <type_traits>
#include <variant>

#include "jet/database.h"
#include "jet/error.h"
#include "query/engine.h"
#include "query/export/export.h"
#include "query/query_test_util.h"
#include "query/translate.h"
#include "support/fixtures.h"

namespace query {
namespace {

using query_test::Row;

// One value as comparable text: strings quoted, numbers as %.15g, NULL as null.
std::string NumberText(double d) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", d);
  return buf;
}

std::vector<std::string> EngineRows(const jet::ResultSet& rs) {
  std::vector<std::string> out;
  for (const auto& row : rs.rows) {
    std::string line;
    for (const jet::Value& v : row) {
      if (v.is<std::u16string>()) {
        line += "'" + jet::ToUtf8(v.as<std::u16string>()) + "' ";
      } else if (v.is_null()) {
        line += "null ";
      } else {
        // The queries here give text, whole numbers and doubles only.
        const double d = std::visit(
            [](const auto& x) -> double {
              if constexpr (std::is_arithmetic_v<std::decay_t<decltype(x)>>) {
                return static_cast<double>(x);
              } else {
                ADD_FAILURE() << "unexpected value type";
                return 0;
              }
            },
            v.storage());
        line += NumberText(d) + " ";
      }
    }
    out.push_back(line);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> ViewRows(sqlite3* db, const std::string& view) {
  sqlite3_stmt* st = nullptr;
  const std::string sql = "SELECT * FROM " + QuoteIdent(view);
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  std::vector<std::string> out;
  while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
    std::string line;
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      switch (sqlite3_column_type(st, i)) {
        case SQLITE_NULL:
          line += "null ";
          break;
        case SQLITE_TEXT:
          line += "'" + std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, i))) + "' ";
          break;
        default:
          line += NumberText(sqlite3_column_double(st, i)) + " ";
      }
    }
    out.push_back(line);
  }
  sqlite3_finalize(st);
  std::sort(out.begin(), out.end());
  return out;
}

class ExportViewsTest : public testing::TestWithParam<const char*> {};

TEST_P(ExportViewsTest, ViewsReturnWhatTheEngineReturns) {
  MDB_REQUIRE_FIXTURES();
  fixtures::ScratchDir dir;
  const std::string path = dir.Copy(GetParam());
  {
    auto db = jet::Database::Open(path, jet::OpenMode::kReadWrite);
    auto put = [&](const char16_t* table, const char16_t* a, const char16_t* b, const char16_t* c) {
      db->InsertRow(table, {std::u16string(a), std::u16string(b), std::u16string(c)});
    };
    // Keys that match only when case is ignored, as Access compares them.
    put(u"Table1", u"FOO", u"1", u"x");
    put(u"Table1", u"buzz", u"2", u"y");
    put(u"Table1", u"Bee", u"3", u"z");
    put(u"Table1", u"bee", u"4", u"50%");
    put(u"Table2", u"foo", u"FOO", u"p");
    put(u"Table2", u"buzz", u"Buzz", u"q");
    put(u"Table2", u"zz", u"bazz", u"r");
    put(u"Table3", u"Foo", u"s", u"t3");
    put(u"Table3", u"BUZZ", u"u", u"t4");
    query_test::AddSavedQuery(*db, u"Bees", 0,
                              {Row(1, 1), Row(3, 0), Row(5, {}, u"Table1"),
                               Row(6, 0, u"c", {}, u"col1 & \"-\" & col3"),
                               Row(6, 0, u"half", {}, u"col2 / 2"),
                               Row(8, {}, {}, {}, u"col1 Like \"b?e*\" And col2 <> \"9\"")});
    query_test::AddSavedQuery(*db, u"Bee Count", 0,
                              {Row(1, 1), Row(3, 0), Row(5, {}, u"Bees"),
                               Row(6, 0, u"n", {}, u"Count(*)")});
    query_test::AddSavedQuery(*db, u"Shouted", 0,
                              {Row(1, 1), Row(3, 0), Row(5, {}, u"Table1"),
                               Row(6, 0, {}, {}, u"Format(col1, \">\")")});
    query_test::AddSavedQuery(*db, u"Ring A", 0,
                              {Row(1, 1), Row(3, 0), Row(5, {}, u"Ring B"), Row(6, 0, {}, {}, u"*")});
    query_test::AddSavedQuery(*db, u"Ring B", 0,
                              {Row(1, 1), Row(3, 0), Row(5, {}, u"Ring A"), Row(6, 0, {}, {}, u"*")});
  }
  // A fresh handle: the catalog then holds the queries written into MSysObjects above.
  auto db = jet::Database::Open(path, jet::OpenMode::kReadOnly);
  std::ostringstream notes;
  ExportOptions options;
  options.notes = &notes;
  const std::string out = dir.File("out.sqlite");
  Export(*db, ExportFormat::kSqlite, out, options);

  sqlite3* lite = nullptr;
  ASSERT_EQ(sqlite3_open_v2(out.c_str(), &lite, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  Engine engine(*db);
  for (const char16_t* view : {u"SelectQuery", u"Bees", u"Bee Count"}) {
    SCOPED_TRACE(jet::ToUtf8(view));
    const std::vector<std::string> expected = EngineRows(engine.RunSavedQuery(view));
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(ViewRows(lite, jet::ToUtf8(view)), expected);
  }
  sqlite3_close(lite);

  const std::string said = notes.str();
  for (const char* reason : {"query \"Shouted\": not exported as a view (uses the function format",
                             "query \"Ring A\": not exported as a view (", "query \"Ring B\"",
                             "query \"UnionQuery\"",
                             "query \"UpdateQuery\": not exported (only select queries"}) {
    EXPECT_NE(said.find(reason), std::string::npos) << reason << "\n" << said;
  }
  // The script creates a view after the query it reads.
  const std::string script = SchemaSql(*db, Dialect::kSqlite, nullptr);
  ASSERT_NE(script.find("CREATE VIEW \"Bee Count\""), std::string::npos);
  EXPECT_LT(script.find("CREATE VIEW \"Bees\""), script.find("CREATE VIEW \"Bee Count\""));
}

INSTANTIATE_TEST_SUITE_P(QueryFixtures, ExportViewsTest,
                         testing::Values("access/jackcess-V2000-queryTestV2000.mdb",
                                         "access/jackcess-V1997-queryTestV1997.mdb"));

// What a view of a plain SQLite database can say, and what it must refuse rather than change.
TEST(PortableTranslation, RefusesWhatSqliteCannotSayExactly) {
  TranslateOptions portable;
  portable.portable = true;
  struct Case {
    const char* access;
    const char* expect;  // a piece of the translation, or of the refusal
    bool refused;
  } cases[] = {
      {"SELECT a FROM t WHERE d = #1/2/2003#", "'2003-01-02 00:00:00'", false},
      {"SELECT a FROM t WHERE b = True", "= 1", false},
      {"SELECT a FROM t WHERE a Like 'x_1*'", "LIKE 'x\\_1%' ESCAPE", false},
      {"SELECT Year(d) FROM t", "strftime('%Y'", false},
      {"SELECT a FROM t WHERE a Like '[ab]*'", "# or [...] pattern", true},
      {"SELECT a Mod 2 FROM t", "uses Mod", true},
      {"SELECT a \\ 2 FROM t", "the \\ operator", true},
      {"SELECT a ^ 2 FROM t", "the ^ operator", true},
      {"SELECT Format(a, '>') FROM t", "the function format", true},
      {"SELECT TOP 10 PERCENT a FROM t", "PERCENT", true},
      {"SELECT TOP 2 a FROM t ORDER BY a", "keeps the ties", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.access);
    try {
      const std::string sql = Translate(c.access, portable).sql;
      EXPECT_FALSE(c.refused) << sql;
      EXPECT_NE(sql.find(c.expect), std::string::npos) << sql;
    } catch (const jet::Error& e) {
      EXPECT_TRUE(c.refused) << e.what();
      EXPECT_EQ(e.kind(), jet::Error::Kind::kNotSupported);
      EXPECT_NE(std::string(e.what()).find(c.expect), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace query
