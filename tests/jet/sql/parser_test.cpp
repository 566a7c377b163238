// Lexer and parser of the SQL dialect: what each statement form turns into, and the messages of
// statements that are wrong.
#include "sql/parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/error.h"
#include "sql/lexer.h"

namespace jet::sql {
namespace {

template <typename T>
T ParseAs(std::string_view sql) {
  Statement statement = Parse(sql);
  EXPECT_TRUE(std::holds_alternative<T>(statement)) << sql;
  return std::get<T>(statement);
}

// ---- Lexer -------------------------------------------------------------------------------------

struct LexCase {
  std::string sql;
  std::vector<std::pair<TokenKind, std::u16string>> tokens;  // kEnd left out
};

TEST(SqlLexerTest, CutsStatementsIntoTokens) {
  const std::vector<LexCase> cases = {
      {"SELECT * FROM [Order Details]",
       {{TokenKind::kName, u"SELECT"},
        {TokenKind::kSymbol, u"*"},
        {TokenKind::kName, u"FROM"},
        {TokenKind::kBracketed, u"Order Details"}}},
      {"'it''s' \"say \"\"hi\"\"\" ''",
       {{TokenKind::kText, u"it's"}, {TokenKind::kText, u"say \"hi\""}, {TokenKind::kText, u""}}},
      {"物品表 名字1_a _x",
       {{TokenKind::kName, u"物品表"}, {TokenKind::kName, u"名字1_a"}, {TokenKind::kName, u"_x"}}},
      {"Größe=ÄÖ",
       {{TokenKind::kName, u"Größe"}, {TokenKind::kSymbol, u"="}, {TokenKind::kName, u"ÄÖ"}}},
      {"a　b\r\n\t c",
       {{TokenKind::kName, u"a"},
        {TokenKind::kName, u"b"},
        {TokenKind::kName, u"c"}}},  // ideographic space, CR LF, TAB
      {"名，字 x", {{TokenKind::kName, u"名，字"}, {TokenKind::kName, u"x"}}},
      {"12 1.50 .5 1e3 2E-2",
       {{TokenKind::kNumber, u"12"},
        {TokenKind::kNumber, u"1.50"},
        {TokenKind::kNumber, u".5"},
        {TokenKind::kNumber, u"1e3"},
        {TokenKind::kNumber, u"2E-2"}}},
      {"<><=>=<>(),;",
       {{TokenKind::kSymbol, u"<>"},
        {TokenKind::kSymbol, u"<="},
        {TokenKind::kSymbol, u">="},
        {TokenKind::kSymbol, u"<>"},
        {TokenKind::kSymbol, u"("},
        {TokenKind::kSymbol, u")"},
        {TokenKind::kSymbol, u","},
        {TokenKind::kSymbol, u";"}}},
      {"#2001-02-03 10:00#", {{TokenKind::kDate, u"2001-02-03 10:00"}}},
      {"[名 字] 😀", {{TokenKind::kBracketed, u"名 字"}, {TokenKind::kName, u"😀"}}},
      {"  \r\n", {}},
  };
  for (const LexCase& c : cases) {
    SCOPED_TRACE(c.sql);
    const std::vector<Token> tokens = Tokenize(c.sql);
    ASSERT_EQ(tokens.size(), c.tokens.size() + 1);
    for (size_t i = 0; i < c.tokens.size(); ++i) {
      EXPECT_EQ(tokens[i].kind, c.tokens[i].first) << i;
      EXPECT_EQ(tokens[i].text, c.tokens[i].second) << i;
    }
    EXPECT_EQ(tokens.back().kind, TokenKind::kEnd);
  }
}

TEST(SqlLexerTest, KeepsSourceTextAndOffsets) {
  const std::vector<Token> tokens = Tokenize("select  [a b]");
  EXPECT_EQ(tokens[0].source, "select");
  EXPECT_TRUE(IsKeyword(tokens[0], "SELECT"));
  EXPECT_EQ(tokens[1].source, "[a b]");
  EXPECT_EQ(tokens[1].offset, 8u);
  EXPECT_FALSE(IsKeyword(Tokenize("[Select]")[0], "SELECT"));
}

struct ErrorCase {
  std::string sql;
  Error::Kind kind;
  std::vector<std::string> parts;  // each must occur in the message
};

void ExpectParseError(const ErrorCase& c) {
  SCOPED_TRACE(c.sql);
  try {
    Parse(c.sql);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), c.kind) << e.what();
    for (const std::string& part : c.parts) {
      EXPECT_NE(std::string(e.what()).find(part), std::string::npos)
          << "message: " << e.what() << "\nmissing: " << part;
    }
  }
}

TEST(SqlLexerTest, RejectsMalformedTokensNamingThePosition) {
  const std::vector<ErrorCase> cases = {
      {"SELECT * FROM t WHERE a = 'abc",
       Error::Kind::kInvalidArgument,
       {"missing the closing quote", "position 27", "near ''abc'"}},
      {"SELECT * FROM [abc", Error::Kind::kInvalidArgument, {"missing ']'", "position 15"}},
      {"SELECT * FROM []", Error::Kind::kInvalidArgument, {"empty name"}},
      {"SELECT * FROM [a[b]", Error::Kind::kInvalidArgument, {"'[' inside a bracketed name"}},
      {"SELECT * FROM t WHERE a ? 1",
       Error::Kind::kInvalidArgument,
       {"unexpected character", "near '? 1'"}},
      {"SELECT * FROM t WHERE a = 12abc",
       Error::Kind::kInvalidArgument,
       {"number runs into a name", "12abc"}},
      {"SELECT * FROM \xff\xfe", Error::Kind::kInvalidArgument, {"not valid UTF-8", "position 15"}},
      {"SELECT * FROM \xe5\x90", Error::Kind::kInvalidArgument, {"not valid UTF-8"}},
      {"SELECT * FROM #2001-01-01", Error::Kind::kInvalidArgument, {"'#' to close the date"}},
  };
  for (const ErrorCase& c : cases) ExpectParseError(c);
}

// ---- SELECT ------------------------------------------------------------------------------------

TEST(SqlParserTest, SelectForms) {
  auto s = ParseAs<SelectStatement>("SELECT * FROM StdItems");
  EXPECT_EQ(s.table.text, u"StdItems");
  EXPECT_TRUE(s.columns.empty());
  EXPECT_TRUE(!s.where);
  EXPECT_TRUE(s.order_by.empty());

  s = ParseAs<SelectStatement>("select * from stditems order by idx\r\n");
  EXPECT_EQ(s.table.text, u"stditems");
  ASSERT_EQ(s.order_by.size(), 1u);
  EXPECT_EQ(s.order_by[0].column.text, u"idx");
  EXPECT_TRUE(s.order_by[0].ascending);

  s = ParseAs<SelectStatement>("SELECT * FROM StdItems Order by Idx DESC, [Name] asc ; ");
  ASSERT_EQ(s.order_by.size(), 2u);
  EXPECT_FALSE(s.order_by[0].ascending);
  EXPECT_EQ(s.order_by[1].column.text, u"Name");
  EXPECT_TRUE(s.order_by[1].ascending);

  s = ParseAs<SelectStatement>("SELECT * FROM Magic WHERE MagName='火球术'");
  ASSERT_TRUE(s.where.has_value());
  EXPECT_EQ(s.where->condition.column.text, u"MagName");
  EXPECT_EQ(s.where->condition.op, CompareOp::kEqual);
  EXPECT_EQ(s.where->condition.literal.value, Value(std::u16string(u"火球术")));

  s = ParseAs<SelectStatement>(
      "SELECT [Unit Price], 名字 FROM [Order Details] WHERE 名字 <> 'it''s'");
  ASSERT_EQ(s.columns.size(), 2u);
  EXPECT_EQ(s.columns[0].text, u"Unit Price");
  EXPECT_EQ(s.columns[1].text, u"名字");
  EXPECT_EQ(s.table.text, u"Order Details");
  EXPECT_EQ(s.where->condition.op, CompareOp::kNotEqual);
  EXPECT_EQ(s.where->condition.literal.value, Value(std::u16string(u"it's")));

  s = ParseAs<SelectStatement>("SELECT * FROM [Select] WHERE [Order] IS NOT NULL ORDER BY [Order]");
  EXPECT_EQ(s.table.text, u"Select");
  EXPECT_EQ(s.where->condition.op, CompareOp::kIsNotNull);
  EXPECT_EQ(ParseAs<SelectStatement>("SELECT * FROM t WHERE c is null").where->condition.op,
            CompareOp::kIsNull);
}

// The WHERE tree as text: AND binds tighter than OR, NOT tightest, parentheses group.
std::string Shape(const Predicate& p) {
  switch (p.kind) {
    case Predicate::Kind::kCompare:
      return p.condition.column.source;
    case Predicate::Kind::kNot:
      return "!" + Shape(p.operands[0]);
    default: {
      std::string out = p.kind == Predicate::Kind::kAnd ? "and(" : "or(";
      for (size_t i = 0; i < p.operands.size(); ++i) out += (i ? "," : "") + Shape(p.operands[i]);
      return out + ")";
    }
  }
}

TEST(SqlParserTest, WhereCombinesWithAndOrNot) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a = 1", "a"},
      {"a = 1 AND b = 2 OR c = 3", "or(and(a,b),c)"},
      {"a = 1 OR b = 2 AND c = 3 OR d IS NULL", "or(a,and(b,c),d)"},
      {"NOT a = 1 AND NOT (b = 2 OR c = 3)", "and(!a,!or(b,c))"},
      {"((a = 1))", "a"},
      {"NOT NOT a IS NOT NULL", "!!a"},
  };
  for (const auto& [where, shape] : cases) {
    SCOPED_TRACE(where);
    EXPECT_EQ(Shape(*ParseAs<SelectStatement>("SELECT * FROM t WHERE " + where).where), shape);
    EXPECT_EQ(Shape(*ParseAs<DeleteStatement>("DELETE FROM t WHERE " + where).where), shape);
  }
}

TEST(SqlParserTest, UpdateDeleteAndForeignKeys) {
  const auto update =
      ParseAs<UpdateStatement>("UPDATE [My T] SET a = 'x', [b c] = NULL WHERE a = 1");
  EXPECT_EQ(update.table.text, u"My T");
  ASSERT_EQ(update.assignments.size(), 2u);
  EXPECT_EQ(update.assignments[0].literal.value, Value(std::u16string(u"x")));
  EXPECT_EQ(update.assignments[1].column.text, u"b c");
  EXPECT_TRUE(update.assignments[1].literal.value.is_null());
  EXPECT_FALSE(ParseAs<DeleteStatement>("DELETE * FROM t").where.has_value());
  EXPECT_EQ(ParseAs<DeleteStatement>("DELETE t.* FROM t;").table.text, u"t");

  const auto fk = ParseAs<ForeignKeyStatement>(
      "ALTER TABLE Orders ADD CONSTRAINT CO FOREIGN KEY (CustID, X) REFERENCES Customers (ID, Y) "
      "ON UPDATE CASCADE ON DELETE SET NULL");
  EXPECT_EQ(fk.name, u"CO");
  EXPECT_EQ(fk.table.text, u"Orders");
  EXPECT_EQ(fk.referenced.text, u"Customers");
  ASSERT_EQ(fk.columns.size(), 2u);
  ASSERT_EQ(fk.referenced_columns.size(), 2u);
  EXPECT_TRUE(fk.cascade_update);
  EXPECT_FALSE(fk.cascade_delete);
  EXPECT_TRUE(fk.cascade_null);
  const auto plain = ParseAs<ForeignKeyStatement>(
      "ALTER TABLE a ADD CONSTRAINT f FOREIGN KEY (x) REFERENCES b "
      "ON DELETE CASCADE ON UPDATE NO ACTION");
  EXPECT_TRUE(plain.referenced_columns.empty());
  EXPECT_TRUE(plain.cascade_delete);
  EXPECT_FALSE(plain.cascade_update);
  const auto drop = ParseAs<DropConstraintStatement>("ALTER TABLE a DROP CONSTRAINT f");
  EXPECT_EQ(drop.name.text, u"f");
  const auto create = ParseAs<CreateTableStatement>(
      "CREATE TABLE c (id LONG PRIMARY KEY, p LONG, CONSTRAINT cp FOREIGN KEY (p) REFERENCES "
      "par (id) ON DELETE CASCADE)");
  ASSERT_EQ(create.foreign_keys.size(), 1u);
  EXPECT_EQ(create.foreign_keys[0].name, u"cp");
  EXPECT_EQ(create.foreign_keys[0].table.text, u"c");
  EXPECT_TRUE(create.foreign_keys[0].cascade_delete);
  EXPECT_EQ(create.spec.columns.size(), 2u);
}

TEST(SqlParserTest, ComparisonOperators) {
  const std::vector<std::pair<std::string, CompareOp>> cases = {
      {"=", CompareOp::kEqual},   {"<>", CompareOp::kNotEqual},
      {"<", CompareOp::kLess},    {"<=", CompareOp::kLessEqual},
      {">", CompareOp::kGreater}, {">=", CompareOp::kGreaterEqual}};
  for (const auto& [op, expected] : cases) {
    EXPECT_EQ(ParseAs<SelectStatement>("SELECT * FROM t WHERE c " + op + " 1").where->condition.op,
              expected)
        << op;
  }
}

// ---- Literals ----------------------------------------------------------------------------------

TEST(SqlParserTest, LiteralsBecomeValues) {
  constexpr UInt128 k2Pow63 = UInt128{1} << 63;
  const std::vector<std::pair<std::string, Value>> cases = {
      {"12", int32_t{12}},
      {"-12", int32_t{-12}},
      {"+ 7", int32_t{7}},
      {"--3", int32_t{3}},
      {"2147483647", int32_t{2147483647}},
      {"-2147483648", int32_t{INT32_MIN}},
      {"2147483648", int64_t{2147483648}},
      {"-9223372036854775808", int64_t{INT64_MIN}},
      {"9223372036854775808", Decimal{false, k2Pow63, 0}},
      {"1.50", Decimal{false, 150, 2}},
      {"-0.0001", Decimal{true, 1, 4}},
      {"-0.0", Decimal{false, 0, 1}},
      {"007.", Decimal{false, 7, 0}},
      {".5", Decimal{false, 5, 1}},
      {"1e3", 1000.0},
      {"-2.5E-1", -0.25},
      {"1234567890123456789012345678.9", 1234567890123456789012345678.9},
      {"'x'", std::u16string(u"x")},
      {"\"x\"", std::u16string(u"x")},
      {"''", std::u16string()},
      {"Null", Value()},
      {"TRUE", true},
      {"false", false},
      {"#2001-02-03#", DateTime{36925}},
      {"#2/3/2001 12:00#", DateTime{36925.5}},
      {"#1899-12-29 06:00#", DateTime{-1.25}},
      {"#1899-12-30 6:00 PM#", DateTime{0.75}},
      {"#0100-01-01#", DateTime{-657434}},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    const auto insert = ParseAs<InsertStatement>("INSERT INTO t VALUES(" + text + ")");
    ASSERT_EQ(insert.values.size(), 1u);
    EXPECT_EQ(insert.values[0].value, expected);
  }
}

// ---- INSERT, ALTER, CREATE ---------------------------------------------------------------------

TEST(SqlParserTest, InsertAsTheImportSendsIt) {
  const auto insert = ParseAs<InsertStatement>(
      "INSERT INTO StdItems(Idx, ItemName, Weight, Note) VALUES( 42, 'Sword', 12, 'sharp')\r\n");
  EXPECT_EQ(insert.table.text, u"StdItems");
  ASSERT_EQ(insert.columns.size(), 4u);
  EXPECT_EQ(insert.columns[3].text, u"Note");
  ASSERT_EQ(insert.values.size(), 4u);
  EXPECT_EQ(insert.values[0].value, Value(int32_t{42}));
  EXPECT_EQ(insert.values[1].value, Value(std::u16string(u"Sword")));

  const auto all = ParseAs<InsertStatement>("insert into [怪物 表] values (Null, -1, '')");
  EXPECT_TRUE(all.columns.empty());
  EXPECT_EQ(all.table.text, u"怪物 表");
  EXPECT_TRUE(all.values[0].value.is_null());
}

TEST(SqlParserTest, PrimaryKeysAndIndexes) {
  auto pk = ParseAs<CreateIndexStatement>("ALTER TABLE Magic ADD PRIMARY KEY CLUSTERED(MagName)");
  EXPECT_EQ(pk.table.text, u"Magic");
  EXPECT_EQ(pk.index_name, u"PrimaryKey");
  EXPECT_TRUE(pk.primary && pk.unique && pk.required);
  ASSERT_EQ(pk.columns.size(), 1u);
  EXPECT_EQ(pk.columns[0].column.text, u"MagName");

  pk = ParseAs<CreateIndexStatement>("alter table t add constraint pk primary key (a, [b c])");
  EXPECT_EQ(pk.index_name, u"pk");
  ASSERT_EQ(pk.columns.size(), 2u);
  EXPECT_EQ(pk.columns[1].column.text, u"b c");

  auto unique = ParseAs<CreateIndexStatement>("ALTER TABLE t ADD CONSTRAINT u UNIQUE (a)");
  EXPECT_TRUE(unique.unique);
  EXPECT_FALSE(unique.primary);

  auto index = ParseAs<CreateIndexStatement>("Create Index iMagName ON Magic ([MagName])");
  EXPECT_EQ(index.index_name, u"iMagName");
  EXPECT_FALSE(index.unique || index.primary || index.ignore_nulls || index.required);
  ASSERT_EQ(index.columns.size(), 1u);
  EXPECT_EQ(index.columns[0].column.text, u"MagName");

  index = ParseAs<CreateIndexStatement>(
      "CREATE UNIQUE INDEX ByPrice ON [Order Details] (UnitPrice DESC, Quantity ASC) "
      "WITH IGNORE NULL DISALLOW NULL");
  EXPECT_TRUE(index.unique && index.ignore_nulls && index.required);
  EXPECT_FALSE(index.primary);
  EXPECT_FALSE(index.columns[0].ascending);
  EXPECT_TRUE(index.columns[1].ascending);

  index = ParseAs<CreateIndexStatement>("CREATE INDEX k ON t (a) WITH PRIMARY");
  EXPECT_TRUE(index.primary && index.unique && index.required);
}

TEST(SqlParserTest, CreateTableTypeNames) {
  struct TypeCase {
    std::string type;
    ColumnType expected;
    int length;
    bool autonumber;
  };
  const std::vector<TypeCase> cases = {
      {"TEXT", ColumnType::kText, 255, false},
      {"VARCHAR(50)", ColumnType::kText, 50, false},
      {"char (10)", ColumnType::kText, 10, false},
      {"MEMO", ColumnType::kMemo, 0, false},
      {"LONGTEXT", ColumnType::kMemo, 0, false},
      {"BYTE", ColumnType::kByte, 0, false},
      {"SHORT", ColumnType::kInt, 0, false},
      {"SMALLINT", ColumnType::kInt, 0, false},
      {"INTEGER2", ColumnType::kInt, 0, false},
      {"LONG", ColumnType::kLong, 0, false},
      {"INT", ColumnType::kLong, 0, false},
      {"Integer", ColumnType::kLong, 0, false},
      {"COUNTER", ColumnType::kLong, 0, true},
      {"AUTOINCREMENT", ColumnType::kLong, 0, true},
      {"SINGLE", ColumnType::kFloat, 0, false},
      {"REAL", ColumnType::kFloat, 0, false},
      {"DOUBLE", ColumnType::kDouble, 0, false},
      {"FLOAT", ColumnType::kDouble, 0, false},
      {"CURRENCY", ColumnType::kMoney, 0, false},
      {"MONEY", ColumnType::kMoney, 0, false},
      {"DATETIME", ColumnType::kDateTime, 0, false},
      {"DATE", ColumnType::kDateTime, 0, false},
      {"TIME", ColumnType::kDateTime, 0, false},
      {"BIT", ColumnType::kBoolean, 0, false},
      {"YESNO", ColumnType::kBoolean, 0, false},
      {"LOGICAL", ColumnType::kBoolean, 0, false},
      {"BOOLEAN", ColumnType::kBoolean, 0, false},
      {"BINARY(16)", ColumnType::kBinary, 16, false},
      {"VARBINARY", ColumnType::kBinary, 255, false},
      {"LONGBINARY", ColumnType::kOle, 0, false},
      {"OLEOBJECT", ColumnType::kOle, 0, false},
      {"IMAGE", ColumnType::kOle, 0, false},
      {"GUID", ColumnType::kGuid, 0, false},
      {"UNIQUEIDENTIFIER", ColumnType::kGuid, 0, false},
  };
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(c.type);
    const auto create = ParseAs<CreateTableStatement>("CREATE TABLE t (c " + c.type + ")");
    ASSERT_EQ(create.spec.columns.size(), 1u);
    const ColumnSpec& column = create.spec.columns[0];
    EXPECT_EQ(column.type, c.expected);
    if (c.expected == ColumnType::kText || c.expected == ColumnType::kBinary) {
      EXPECT_EQ(column.length, c.length);
    }
    EXPECT_EQ(column.autonumber, c.autonumber);
  }
  auto numeric = ParseAs<CreateTableStatement>("CREATE TABLE t (a DECIMAL(28,4), b NUMERIC)");
  EXPECT_EQ(numeric.spec.columns[0].type, ColumnType::kNumeric);
  EXPECT_EQ(numeric.spec.columns[0].precision, 28);
  EXPECT_EQ(numeric.spec.columns[0].scale, 4);
  EXPECT_EQ(numeric.spec.columns[1].precision, 18);
  EXPECT_EQ(numeric.spec.columns[1].scale, 0);
}

TEST(SqlParserTest, CreateTableKeysAndNullability) {
  auto create = ParseAs<CreateTableStatement>(
      "CREATE TABLE Items (ID COUNTER PRIMARY KEY, [Item Name] TEXT(50) NOT NULL, Price CURRENCY "
      "NULL, 备注 MEMO);");
  EXPECT_EQ(create.spec.name, u"Items");
  ASSERT_EQ(create.spec.columns.size(), 4u);
  EXPECT_EQ(create.spec.columns[1].name, u"Item Name");
  EXPECT_TRUE(create.spec.columns[1].not_null);
  EXPECT_FALSE(create.spec.columns[2].not_null);
  EXPECT_EQ(create.spec.columns[3].name, u"备注");
  EXPECT_EQ(create.spec.primary_key, std::vector<std::u16string>{u"ID"});

  create = ParseAs<CreateTableStatement>(
      "create table [Order Lines] (A long, B long CONSTRAINT x NOT NULL, CONSTRAINT pk PRIMARY "
      "KEY (A, B))");
  EXPECT_EQ(create.spec.primary_key, (std::vector<std::u16string>{u"A", u"B"}));
  create = ParseAs<CreateTableStatement>("CREATE TABLE t (a LONG CONSTRAINT k PRIMARY KEY)");
  EXPECT_EQ(create.spec.primary_key, std::vector<std::u16string>{u"a"});
}

// ---- Errors ------------------------------------------------------------------------------------

TEST(SqlParserTest, SyntaxErrorsNameClauseExpectationAndPlace) {
  using K = Error::Kind;
  const std::vector<ErrorCase> cases = {
      {"",
       K::kInvalidArgument,
       {"at the end of the statement", "SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER or DROP"}},
      {"SHOW TABLES",
       K::kInvalidArgument,
       {"near 'SHOW'", "SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER or DROP"}},
      {"SELECT * FORM t", K::kInvalidArgument, {"SELECT statement near 'FORM'", "expected FROM"}},
      {"SELECT * FROM",
       K::kInvalidArgument,
       {"FROM clause at the end of the statement", "expected a table name"}},
      {"SELECT * FROM t xyz",
       K::kInvalidArgument,
       {"Syntax error in FROM clause near 'xyz' (position 17)"}},
      {"SELECT * FROM Order Details",
       K::kInvalidArgument,
       {"FROM clause near 'Order'", "a table name"}},
      {"SELECT * FROM Customer List", K::kInvalidArgument, {"FROM clause near 'List'"}},
      {"SELECT * FROM t WHERE", K::kInvalidArgument, {"WHERE clause at the end", "a column name"}},
      {"SELECT * FROM t WHERE c == 1", K::kInvalidArgument, {"WHERE clause near '='", "a value"}},
      {"SELECT * FROM t WHERE c LIKE 'a'",
       K::kInvalidArgument,
       {"WHERE clause near 'LIKE'", "a comparison"}},
      {"SELECT * FROM t WHERE c IS 1", K::kInvalidArgument, {"near '1'", "expected NULL"}},
      {"SELECT * FROM t WHERE c = 1 AND d = 2 e",
       K::kInvalidArgument,
       {"WHERE clause near 'e'", "expected AND, OR, ORDER BY or the end"}},
      {"SELECT * FROM t WHERE (c = 1 OR d = 2", K::kInvalidArgument, {"expected AND, OR or ')'"}},
      {"SELECT * FROM t WHERE NOT", K::kInvalidArgument, {"at the end", "a column name"}},
      {"UPDATE t SET a 1", K::kInvalidArgument, {"UPDATE statement near '1'", "'='"}},
      {"UPDATE t WHERE a = 1", K::kInvalidArgument, {"expected SET"}},
      {"DELETE t.* FROM u", K::kInvalidArgument, {"Specify the table"}},
      {"ALTER TABLE t ADD CONSTRAINT f FOREIGN KEY (a, b) REFERENCES u (c)",
       K::kInvalidArgument,
       {"names 2 columns but REFERENCES names 1"}},
      {"ALTER TABLE t ADD CONSTRAINT f FOREIGN KEY (a) REFERENCES u ON DELETE RESTRICT",
       K::kInvalidArgument,
       {"expected CASCADE, SET NULL or NO ACTION"}},
      {"SELECT * FROM t WHERE d = #2001-13-01#",
       K::kInvalidArgument,
       {"Syntax error in date", "#2001-13-01#"}},
      {"SELECT * FROM t ORDER c", K::kInvalidArgument, {"ORDER BY clause near 'c'", "expected BY"}},
      {"SELECT * FROM t ORDER BY", K::kInvalidArgument, {"ORDER BY clause at the end"}},
      {"SELECT * FROM t;;", K::kInvalidArgument, {"near ';'", "the end of the statement"}},
      {"INSERT t VALUES(1)", K::kInvalidArgument, {"INSERT INTO statement near 't'", "INTO"}},
      {"INSERT INTO t(a, b) VALUES( 1, ''abc'')",
       K::kInvalidArgument,
       {"INSERT INTO statement near 'abc'", "')'"}},
      {"INSERT INTO t(a) VALUES( 1, 'Bob's')", K::kInvalidArgument, {"missing the closing quote"}},
      {"INSERT INTO t(a) VALUES(- 'x')", K::kInvalidArgument, {"near ''x''", "a value"}},
      {"INSERT INTO t(a) VALUE(1)", K::kInvalidArgument, {"near 'VALUE'", "expected VALUES"}},
      {"INSERT INTO t(a) SELECT * FROM u", K::kNotSupported, {"INSERT INTO ... SELECT"}},
      {"DROP VIEW v", K::kInvalidArgument, {"DROP statement near 'VIEW'", "TABLE or INDEX"}},
      {"DROP INDEX i", K::kInvalidArgument, {"DROP INDEX statement at the end", "ON"}},
      {"ALTER TABLE t ADD COLUMN x LONG PRIMARY KEY", K::kNotSupported, {"then the key"}},
      {"ALTER TABLE t ADD PRIMARY KEY CLUSTERED",
       K::kInvalidArgument,
       {"ALTER TABLE statement at the end", "'('"}},
      {"ALTER TABLE t ADD UNIQUE (a)", K::kInvalidArgument, {"near 'UNIQUE'", "CONSTRAINT"}},
      {"CREATE VIEW v AS SELECT * FROM t", K::kInvalidArgument, {"near 'VIEW'", "TABLE, INDEX"}},
      {"CREATE INDEX ON t (a)", K::kInvalidArgument, {"near 'ON'", "an index name"}},
      {"CREATE INDEX i ON t (a) WITH CLUSTERED",
       K::kInvalidArgument,
       {"near 'CLUSTERED'", "PRIMARY, DISALLOW NULL or IGNORE NULL"}},
      {"CREATE INDEX i ON t (a) WITH PRIMARY IGNORE NULL",
       K::kInvalidArgument,
       {"cannot ignore Null"}},
      {"CREATE TABLE t (a TEXT(300))", K::kInvalidArgument, {"text length 300", "1 to 255"}},
      {"CREATE TABLE t (a DECIMAL(10, 12))", K::kInvalidArgument, {"scale 12", "0 to 10"}},
      {"CREATE TABLE t (a BLOB)",
       K::kInvalidArgument,
       {"field definition near 'BLOB'", "data type"}},
      {"CREATE TABLE t (a LONG, A TEXT)",
       K::kInvalidArgument,
       {"Field 'A' is defined more than once"}},
      {"CREATE TABLE t (a LONG PRIMARY KEY, b LONG, PRIMARY KEY (b))",
       K::kInvalidArgument,
       {"more than one primary key"}},
      {"CREATE TABLE t (a LONG, PRIMARY KEY (z))", K::kInvalidArgument, {"names column 'z'"}},
      {"CREATE TABLE t (a LONG UNIQUE)", K::kNotSupported, {"UNIQUE"}},
      {"CREATE TABLE t (a LONG", K::kInvalidArgument, {"at the end", "')'"}},
  };
  for (const ErrorCase& c : cases) ExpectParseError(c);
}

}  // namespace
}  // namespace jet::sql
