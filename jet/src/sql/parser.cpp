#include "sql/parser.h"

#include <algorithm>
#include <array>
#include <optional>

#include "jet/error.h"
#include "sql/convert.h"
#include "sql/lexer.h"

namespace jet::sql {
namespace {

// Words that cannot be used as unbracketed names because the grammar would misread them.
constexpr std::array<std::string_view, 37> kReserved = {
    "ADD",    "ALTER",  "AND",    "AS",       "ASC",   "BETWEEN", "BY",     "CONSTRAINT",
    "CREATE", "DELETE", "DESC",   "DISTINCT", "DROP",  "FALSE",   "FROM",   "GROUP",
    "HAVING", "IN",     "INDEX",  "INSERT",   "INTO",  "IS",      "JOIN",   "LIKE",
    "NOT",    "NULL",   "ON",     "OR",       "ORDER", "PRIMARY", "SELECT", "SET",
    "TABLE",  "TRUE",   "UNIQUE", "UPDATE",   "WHERE"};

constexpr std::array<std::string_view, 5> kUnsupportedStatements = {
    "TRANSFORM", "PARAMETERS", "PROCEDURE", "GRANT", "REVOKE"};

constexpr std::array<std::string_view, 3> kConstraintWords = {"CONSTRAINT", "PRIMARY", "UNIQUE"};

struct TypeName {
  std::string_view word;
  ColumnType type;
  int length;  // default length (TEXT characters, BINARY bytes)
  bool autonumber;
};

constexpr std::array<TypeName, 51> kTypeNames = {{
    {"TEXT", ColumnType::kText, 255, false},        {"VARCHAR", ColumnType::kText, 255, false},
    {"CHAR", ColumnType::kText, 255, false},        {"CHARACTER", ColumnType::kText, 255, false},
    {"NCHAR", ColumnType::kText, 255, false},       {"NVARCHAR", ColumnType::kText, 255, false},
    {"STRING", ColumnType::kText, 255, false},      {"ALPHANUMERIC", ColumnType::kText, 255, false},
    {"MEMO", ColumnType::kMemo, 0, false},          {"LONGTEXT", ColumnType::kMemo, 0, false},
    {"LONGCHAR", ColumnType::kMemo, 0, false},      {"NOTE", ColumnType::kMemo, 0, false},
    {"NTEXT", ColumnType::kMemo, 0, false},         {"BYTE", ColumnType::kByte, 0, false},
    {"TINYINT", ColumnType::kByte, 0, false},       {"INTEGER1", ColumnType::kByte, 0, false},
    {"SHORT", ColumnType::kInt, 0, false},          {"SMALLINT", ColumnType::kInt, 0, false},
    {"INTEGER2", ColumnType::kInt, 0, false},       {"LONG", ColumnType::kLong, 0, false},
    {"INT", ColumnType::kLong, 0, false},           {"INTEGER", ColumnType::kLong, 0, false},
    {"INTEGER4", ColumnType::kLong, 0, false},      {"COUNTER", ColumnType::kLong, 0, true},
    {"AUTOINCREMENT", ColumnType::kLong, 0, true},  {"SINGLE", ColumnType::kFloat, 0, false},
    {"REAL", ColumnType::kFloat, 0, false},         {"FLOAT4", ColumnType::kFloat, 0, false},
    {"IEEESINGLE", ColumnType::kFloat, 0, false},   {"DOUBLE", ColumnType::kDouble, 0, false},
    {"FLOAT", ColumnType::kDouble, 0, false},       {"FLOAT8", ColumnType::kDouble, 0, false},
    {"IEEEDOUBLE", ColumnType::kDouble, 0, false},  {"NUMBER", ColumnType::kDouble, 0, false},
    {"CURRENCY", ColumnType::kMoney, 0, false},     {"MONEY", ColumnType::kMoney, 0, false},
    {"DATETIME", ColumnType::kDateTime, 0, false},  {"DATE", ColumnType::kDateTime, 0, false},
    {"TIME", ColumnType::kDateTime, 0, false},      {"TIMESTAMP", ColumnType::kDateTime, 0, false},
    {"BIT", ColumnType::kBoolean, 0, false},        {"YESNO", ColumnType::kBoolean, 0, false},
    {"LOGICAL", ColumnType::kBoolean, 0, false},    {"LOGICAL1", ColumnType::kBoolean, 0, false},
    {"BOOLEAN", ColumnType::kBoolean, 0, false},    {"BINARY", ColumnType::kBinary, 255, false},
    {"VARBINARY", ColumnType::kBinary, 255, false}, {"LONGBINARY", ColumnType::kOle, 0, false},
    {"OLEOBJECT", ColumnType::kOle, 0, false},      {"GENERAL", ColumnType::kOle, 0, false},
    {"IMAGE", ColumnType::kOle, 0, false},
}};

constexpr int kMaxTextLength = 255;
constexpr int kMaxBinaryLength = 255;
constexpr int kMaxPrecision = 28;

class Parser {
 public:
  explicit Parser(std::string_view sql) : tokens_(Tokenize(sql)) {}

  Statement Run() {
    const Token& first = Peek();
    for (std::string_view word : kUnsupportedStatements) {
      if (IsKeyword(first, word)) {
        throw Error(Error::Kind::kNotSupported,
                    std::string(word) + " statements are not supported by this engine.");
      }
    }
    Statement statement;
    if (AcceptKeyword("SELECT")) {
      statement = Select();
    } else if (AcceptKeyword("INSERT")) {
      statement = Insert();
    } else if (AcceptKeyword("UPDATE")) {
      statement = Update();
    } else if (AcceptKeyword("DELETE")) {
      statement = Delete();
    } else if (AcceptKeyword("ALTER")) {
      statement = Alter();
    } else if (AcceptKeyword("CREATE")) {
      statement = Create();
    } else if (AcceptKeyword("DROP")) {
      statement = Drop();
    } else {
      clause_ = "statement";
      Fail("SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER or DROP");
    }
    AcceptSymbol(";");
    if (Peek().kind != TokenKind::kEnd) Fail("the end of the statement");
    return statement;
  }

 private:
  const Token& Peek(size_t ahead = 0) const {
    return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
  }
  const Token& Advance() {
    const Token& token = Peek();
    if (pos_ + 1 < tokens_.size()) ++pos_;
    return token;
  }

  [[noreturn]] void Fail(std::string_view expected) const {
    const Token& token = Peek();
    std::string message = "Syntax error in " + clause_;
    if (token.kind == TokenKind::kEnd) {
      message += " at the end of the statement";
    } else {
      message += " near '" + std::string(token.source) + "' (position " +
                 std::to_string(token.offset + 1) + ")";
    }
    message += ": expected " + std::string(expected) + ".";
    throw Error(Error::Kind::kInvalidArgument, message);
  }

  [[noreturn]] void Invalid(const std::string& message) const {
    throw Error(Error::Kind::kInvalidArgument, message);
  }

  bool AcceptKeyword(std::string_view word) {
    if (!IsKeyword(Peek(), word)) return false;
    Advance();
    return true;
  }
  void ExpectKeyword(std::string_view word) {
    if (!AcceptKeyword(word)) Fail(std::string(word));
  }
  // The ')' after a comma-separated list.
  void CloseList() {
    if (!AcceptSymbol(")")) Fail("',' or ')'");
  }
  bool AcceptSymbol(std::string_view symbol) {
    if (!IsSymbol(Peek(), symbol)) return false;
    Advance();
    return true;
  }
  void ExpectSymbol(std::string_view symbol) {
    if (!AcceptSymbol(symbol)) Fail("'" + std::string(symbol) + "'");
  }

  static bool IsReserved(const Token& token) {
    for (std::string_view word : kReserved) {
      if (IsKeyword(token, word)) return true;
    }
    return false;
  }

  Name ParseName(std::string_view what) {
    const Token& token = Peek();
    const bool usable = token.kind == TokenKind::kBracketed ||
                        (token.kind == TokenKind::kName && !IsReserved(token));
    if (!usable) Fail(what);
    Advance();
    return Name{token.text, token.kind == TokenKind::kBracketed
                                ? std::string(token.source.substr(1, token.source.size() - 2))
                                : std::string(token.source)};
  }

  Literal ParseLiteral() {
    const Token& token = Peek();
    Literal literal;
    literal.source = token.source;
    if (token.kind == TokenKind::kText) {
      literal.value = token.text;
    } else if (token.kind == TokenKind::kDate) {
      const auto days = ParseDateText(token.text);
      if (!days) Invalid("Syntax error in date in query expression '" + literal.source + "'.");
      literal.value = DateTime{*days};
    } else if (IsKeyword(token, "NULL")) {
      literal.value = Value();
    } else if (IsKeyword(token, "TRUE") || IsKeyword(token, "FALSE")) {
      literal.value = IsKeyword(token, "TRUE");
    } else {
      return ParseNumberLiteral();
    }
    Advance();
    return literal;
  }

  Literal ParseNumberLiteral() {
    bool negative = false;
    while (IsSymbol(Peek(), "-") || IsSymbol(Peek(), "+")) {
      negative ^= IsSymbol(Peek(), "-");
      Advance();
    }
    const Token& token = Peek();
    if (token.kind != TokenKind::kNumber) Fail("a value (text, number, date, Null, True, False)");
    Advance();
    std::string digits(token.source);
    auto value = ParseNumber(digits, negative);
    if (!value) Fail("a number");
    Literal literal;
    literal.value = std::move(*value);
    literal.source = std::string(negative ? "-" : "") + digits;
    return literal;
  }

  // col [ASC|DESC] {, col [ASC|DESC]} (the opening parenthesis or BY already read).
  std::vector<OrderTerm> OrderTerms(bool parenthesised) {
    std::vector<OrderTerm> terms;
    do {
      OrderTerm term;
      term.column = ParseName("a column name");
      if (AcceptKeyword("DESC")) {
        term.ascending = false;
      } else {
        AcceptKeyword("ASC");
      }
      terms.push_back(std::move(term));
    } while (AcceptSymbol(","));
    if (parenthesised) CloseList();
    return terms;
  }

  SelectStatement Select() {
    SelectStatement select;
    clause_ = "SELECT statement";
    if (!AcceptSymbol("*")) {
      do {
        select.columns.push_back(ParseName("'*' or a column name"));
      } while (AcceptSymbol(","));
    }
    ExpectKeyword("FROM");
    clause_ = "FROM clause";
    select.table = ParseName("a table name");
    if (AcceptKeyword("WHERE")) {
      clause_ = "WHERE clause";
      select.where = Where();
    }
    if (IsKeyword(Peek(), "ORDER")) {
      Advance();
      clause_ = "ORDER BY clause";
      ExpectKeyword("BY");
      select.order_by = OrderTerms(false);
    }
    if (!IsSymbol(Peek(), ";") && Peek().kind != TokenKind::kEnd) {
      if (!select.order_by.empty()) Fail("',' or the end of the statement");
      Fail(!select.where ? "WHERE, ORDER BY or the end of the statement"
                         : "AND, OR, ORDER BY or the end of the statement");
    }
    return select;
  }

  // condition := term {OR term}; term := factor {AND factor}; factor := NOT factor | (condition)
  // | comparison.
  Predicate Where() {
    Predicate first = AndTerm();
    if (!IsKeyword(Peek(), "OR")) return first;
    Predicate any;
    any.kind = Predicate::Kind::kOr;
    any.operands.push_back(std::move(first));
    while (AcceptKeyword("OR")) any.operands.push_back(AndTerm());
    return any;
  }

  Predicate AndTerm() {
    Predicate first = Factor();
    if (!IsKeyword(Peek(), "AND")) return first;
    Predicate all;
    all.kind = Predicate::Kind::kAnd;
    all.operands.push_back(std::move(first));
    while (AcceptKeyword("AND")) all.operands.push_back(Factor());
    return all;
  }

  Predicate Factor() {
    if (AcceptKeyword("NOT")) {
      Predicate negation;
      negation.kind = Predicate::Kind::kNot;
      negation.operands.push_back(Factor());
      return negation;
    }
    if (AcceptSymbol("(")) {
      Predicate inner = Where();
      if (!AcceptSymbol(")")) Fail("AND, OR or ')'");
      return inner;
    }
    Predicate compare;
    compare.condition = Comparison();
    return compare;
  }

  Condition Comparison() {
    Condition condition;
    condition.column = ParseName("a column name");
    if (AcceptKeyword("IS")) {
      condition.op = AcceptKeyword("NOT") ? CompareOp::kIsNotNull : CompareOp::kIsNull;
      ExpectKeyword("NULL");
      return condition;
    }
    static constexpr std::pair<std::string_view, CompareOp> kOps[] = {
        {"=", CompareOp::kEqual},   {"<>", CompareOp::kNotEqual},
        {"<", CompareOp::kLess},    {"<=", CompareOp::kLessEqual},
        {">", CompareOp::kGreater}, {">=", CompareOp::kGreaterEqual}};
    bool found = false;
    for (const auto& [symbol, op] : kOps) {
      if (AcceptSymbol(symbol)) {
        condition.op = op;
        found = true;
        break;
      }
    }
    if (!found) Fail("a comparison (=, <>, <, <=, >, >=, IS NULL)");
    condition.literal = ParseLiteral();
    return condition;
  }

  InsertStatement Insert() {
    InsertStatement insert;
    clause_ = "INSERT INTO statement";
    ExpectKeyword("INTO");
    insert.table = ParseName("a table name");
    if (AcceptSymbol("(")) {
      do {
        insert.columns.push_back(ParseName("a column name"));
      } while (AcceptSymbol(","));
      CloseList();
    }
    if (IsKeyword(Peek(), "SELECT")) {
      throw Error(Error::Kind::kNotSupported,
                  "INSERT INTO ... SELECT is not supported by this engine; use VALUES.");
    }
    ExpectKeyword("VALUES");
    ExpectSymbol("(");
    do {
      insert.values.push_back(ParseLiteral());
    } while (AcceptSymbol(","));
    CloseList();
    return insert;
  }

  UpdateStatement Update() {
    UpdateStatement update;
    clause_ = "UPDATE statement";
    update.table = ParseName("a table name");
    ExpectKeyword("SET");
    do {
      Assignment a;
      a.column = ParseName("a column name");
      ExpectSymbol("=");
      a.literal = ParseLiteral();
      update.assignments.push_back(std::move(a));
    } while (AcceptSymbol(","));
    if (AcceptKeyword("WHERE")) {
      clause_ = "WHERE clause";
      update.where = Where();
    }
    return update;
  }

  DeleteStatement Delete() {
    DeleteStatement del;
    clause_ = "DELETE statement";
    if (!AcceptSymbol("*") && !IsKeyword(Peek(), "FROM")) {
      del.table = ParseName("FROM or a table name");
      if (AcceptSymbol(".")) ExpectSymbol("*");
    }
    ExpectKeyword("FROM");
    const Name from = ParseName("a table name");
    if (!del.table.text.empty() && !NamesEqual(del.table.text, from.text)) {
      Invalid("Specify the table containing the records you want to delete.");
    }
    del.table = from;
    if (AcceptKeyword("WHERE")) {
      clause_ = "WHERE clause";
      del.where = Where();
    }
    return del;
  }

  std::vector<Name> NameList() {
    std::vector<Name> names;
    ExpectSymbol("(");
    do {
      names.push_back(ParseName("a column name"));
    } while (AcceptSymbol(","));
    CloseList();
    return names;
  }

  // FOREIGN KEY (cols) REFERENCES table [(cols)] [ON UPDATE CASCADE] [ON DELETE CASCADE | SET NULL]
  // (CONSTRAINT name already read).
  ForeignKeyStatement ForeignKey(const Name& table, std::u16string name) {
    ForeignKeyStatement fk;
    fk.table = table;
    fk.name = std::move(name);
    ExpectKeyword("FOREIGN");
    ExpectKeyword("KEY");
    fk.columns = NameList();
    ExpectKeyword("REFERENCES");
    fk.referenced = ParseName("a table name");
    if (IsSymbol(Peek(), "(")) fk.referenced_columns = NameList();
    if (!fk.referenced_columns.empty() && fk.referenced_columns.size() != fk.columns.size()) {
      Invalid("The FOREIGN KEY clause of '" + Utf8(fk.name) + "' names " +
              std::to_string(fk.columns.size()) + " columns but REFERENCES names " +
              std::to_string(fk.referenced_columns.size()) + ".");
    }
    while (AcceptKeyword("ON")) {
      if (AcceptKeyword("UPDATE")) {
        if (!AcceptKeyword("CASCADE")) {
          if (!AcceptKeyword("NO")) Fail("CASCADE or NO ACTION");
          ExpectKeyword("ACTION");
          continue;
        }
        fk.cascade_update = true;
      } else if (AcceptKeyword("DELETE")) {
        if (AcceptKeyword("CASCADE")) {
          fk.cascade_delete = true;
        } else if (AcceptKeyword("SET")) {
          ExpectKeyword("NULL");
          fk.cascade_null = true;
        } else {
          if (!AcceptKeyword("NO")) Fail("CASCADE, SET NULL or NO ACTION");
          ExpectKeyword("ACTION");
        }
      } else {
        Fail("UPDATE or DELETE");
      }
    }
    return fk;
  }

  Statement Alter() {
    clause_ = "ALTER TABLE statement";
    ExpectKeyword("TABLE");
    CreateIndexStatement index;
    index.table = ParseName("a table name");
    if (AcceptKeyword("DROP")) {
      if (AcceptKeyword("CONSTRAINT")) {
        DropConstraintStatement drop;
        drop.table = index.table;
        drop.name = ParseName("a constraint name");
        return drop;
      }
      AcceptKeyword("COLUMN");
      DropColumnStatement drop;
      drop.table = index.table;
      drop.column = ParseName("a column name");
      return drop;
    }
    if (IsKeyword(Peek(), "ALTER")) {
      throw Error(Error::Kind::kNotSupported, "ALTER TABLE ... " + std::string(Peek().source) +
                                                  " is not supported by this engine.");
    }
    ExpectKeyword("ADD");
    // ADD [COLUMN] name type, unless a constraint's words follow (they are reserved, so no
    // column can be called so without brackets).
    if (AcceptKeyword("COLUMN") ||
        std::none_of(kConstraintWords.begin(), kConstraintWords.end(),
                     [&](std::string_view w) { return IsKeyword(Peek(), w); })) {
      AddColumnStatement add;
      add.table = index.table;
      CreateTableStatement scratch;
      add.column = ColumnDefinition(scratch);
      if (!scratch.spec.primary_key.empty()) {
        throw Error(Error::Kind::kNotSupported,
                    "PRIMARY KEY in ALTER TABLE ... ADD COLUMN is not supported by this engine; "
                    "add the column, then the key.");
      }
      return add;
    }
    index.index_name = u"PrimaryKey";
    const bool named = AcceptKeyword("CONSTRAINT");
    if (named) {
      clause_ = "CONSTRAINT clause";
      index.index_name = ParseName("a constraint name").text;
    }
    if (named && IsKeyword(Peek(), "FOREIGN")) {
      return ForeignKey(index.table, index.index_name);
    }
    if (named && AcceptKeyword("UNIQUE")) {
      index.unique = true;
    } else {
      if (!AcceptKeyword("PRIMARY"))
        Fail(named ? "PRIMARY KEY or UNIQUE" : "PRIMARY KEY or CONSTRAINT");
      ExpectKeyword("KEY");
      index.primary = index.unique = index.required = true;
      if (!AcceptKeyword("CLUSTERED")) AcceptKeyword("NONCLUSTERED");
    }
    ExpectSymbol("(");
    index.columns = OrderTerms(true);
    return index;
  }

  Statement Drop() {
    if (AcceptKeyword("TABLE")) {
      clause_ = "DROP TABLE statement";
      DropTableStatement drop;
      drop.table = ParseName("a table name");
      return drop;
    }
    clause_ = "DROP statement";
    if (!AcceptKeyword("INDEX")) Fail("TABLE or INDEX");
    clause_ = "DROP INDEX statement";
    DropIndexStatement drop;
    drop.index = ParseName("an index name");
    ExpectKeyword("ON");
    drop.table = ParseName("a table name");
    return drop;
  }

  Statement Create() {
    if (IsKeyword(Peek(), "TABLE")) {
      Advance();
      return CreateTable();
    }
    clause_ = "CREATE INDEX statement";
    CreateIndexStatement index;
    index.unique = AcceptKeyword("UNIQUE");
    if (!IsKeyword(Peek(), "INDEX")) {
      clause_ = "CREATE statement";
      Fail(index.unique ? "INDEX" : "TABLE, INDEX or UNIQUE INDEX");
    }
    Advance();
    index.index_name = ParseName("an index name").text;
    ExpectKeyword("ON");
    index.table = ParseName("a table name");
    ExpectSymbol("(");
    index.columns = OrderTerms(true);
    if (AcceptKeyword("WITH")) {
      do {
        if (AcceptKeyword("PRIMARY")) {
          index.primary = index.unique = index.required = true;
        } else if (AcceptKeyword("DISALLOW")) {
          ExpectKeyword("NULL");
          index.required = true;
        } else if (AcceptKeyword("IGNORE")) {
          ExpectKeyword("NULL");
          index.ignore_nulls = true;
        } else {
          Fail("PRIMARY, DISALLOW NULL or IGNORE NULL");
        }
      } while (IsKeyword(Peek(), "PRIMARY") || IsKeyword(Peek(), "DISALLOW") ||
               IsKeyword(Peek(), "IGNORE"));
    }
    if (index.primary && index.ignore_nulls) {
      Invalid("Syntax error in CREATE INDEX statement: a primary index cannot ignore Null.");
    }
    return index;
  }

  CreateTableStatement CreateTable();
  void TableElement(CreateTableStatement& create);
  ColumnSpec ColumnDefinition(CreateTableStatement& create);
  void ParseColumnType(ColumnSpec& column);
  int SizeArgument(int min, int max, std::string_view what);
  void SetPrimaryKey(CreateTableStatement& create, std::vector<std::u16string> columns);

  std::vector<Token> tokens_;
  size_t pos_ = 0;
  std::string clause_ = "statement";
};

CreateTableStatement Parser::CreateTable() {
  clause_ = "CREATE TABLE statement";
  CreateTableStatement create;
  create.table = ParseName("a table name");
  create.spec.name = create.table.text;
  ExpectSymbol("(");
  do {
    TableElement(create);
  } while (AcceptSymbol(","));
  CloseList();
  for (size_t i = 0; i < create.spec.columns.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (NamesEqual(create.spec.columns[i].name, create.spec.columns[j].name)) {
        Invalid("Field '" + Utf8(create.spec.columns[i].name) + "' is defined more than once in " +
                "table '" + create.table.source + "'.");
      }
    }
  }
  for (const std::u16string& key : create.spec.primary_key) {
    bool found = false;
    for (const ColumnSpec& column : create.spec.columns) found |= NamesEqual(column.name, key);
    if (!found) {
      Invalid("The primary key of table '" + create.table.source + "' names column '" + Utf8(key) +
              "', which the table does not define.");
    }
  }
  return create;
}

void Parser::TableElement(CreateTableStatement& create) {
  const bool constraint = AcceptKeyword("CONSTRAINT");
  std::u16string constraint_name;
  if (constraint) {
    clause_ = "CONSTRAINT clause";
    constraint_name = ParseName("a constraint name").text;
  }
  if (constraint && IsKeyword(Peek(), "FOREIGN")) {
    create.foreign_keys.push_back(ForeignKey(create.table, constraint_name));
  } else if (AcceptKeyword("PRIMARY")) {
    ExpectKeyword("KEY");
    ExpectSymbol("(");
    std::vector<std::u16string> columns;
    for (OrderTerm& term : OrderTerms(true)) columns.push_back(std::move(term.column.text));
    SetPrimaryKey(create, std::move(columns));
  } else if (constraint || IsKeyword(Peek(), "UNIQUE") || IsKeyword(Peek(), "FOREIGN")) {
    if (IsKeyword(Peek(), "UNIQUE") || IsKeyword(Peek(), "FOREIGN")) {
      throw Error(Error::Kind::kNotSupported,
                  std::string(Peek().source) +
                      " constraints in CREATE TABLE are not supported by this engine; use "
                      "CREATE UNIQUE INDEX.");
    }
    Fail("PRIMARY KEY");
  } else {
    create.spec.columns.push_back(ColumnDefinition(create));
  }
  clause_ = "CREATE TABLE statement";
}

ColumnSpec Parser::ColumnDefinition(CreateTableStatement& create) {
  ColumnSpec column;
  clause_ = "field definition";
  column.name = ParseName("a column name or PRIMARY KEY").text;
  ParseColumnType(column);
  while (true) {
    if (AcceptKeyword("CONSTRAINT")) {
      ParseName("a constraint name");
      if (!IsKeyword(Peek(), "NOT") && !IsKeyword(Peek(), "PRIMARY") &&
          !IsKeyword(Peek(), "UNIQUE") && !IsKeyword(Peek(), "REFERENCES")) {
        Fail("PRIMARY KEY or NOT NULL");
      }
    }
    if (AcceptKeyword("NOT")) {
      ExpectKeyword("NULL");
      column.not_null = true;
    } else if (AcceptKeyword("NULL")) {
      column.not_null = false;
    } else if (AcceptKeyword("PRIMARY")) {
      ExpectKeyword("KEY");
      SetPrimaryKey(create, {column.name});
    } else if (IsKeyword(Peek(), "UNIQUE") || IsKeyword(Peek(), "REFERENCES") ||
               IsKeyword(Peek(), "DEFAULT")) {
      throw Error(
          Error::Kind::kNotSupported,
          std::string(Peek().source) + " in a column definition is not supported by this engine.");
    } else {
      return column;
    }
  }
}

void Parser::ParseColumnType(ColumnSpec& column) {
  const Token& token = Peek();
  const TypeName* found = nullptr;
  for (const TypeName& type : kTypeNames) {
    if (IsKeyword(token, type.word)) found = &type;
  }
  if (found == nullptr) {
    if (IsKeyword(token, "DECIMAL") || IsKeyword(token, "NUMERIC") || IsKeyword(token, "DEC")) {
      Advance();
      column.type = ColumnType::kNumeric;
      column.precision = 18;
      column.scale = 0;
      if (AcceptSymbol("(")) {
        column.precision = static_cast<uint8_t>(SizeArgument(1, kMaxPrecision, "precision"));
        if (AcceptSymbol(",")) {
          column.scale = static_cast<uint8_t>(SizeArgument(0, column.precision, "scale"));
        }
        ExpectSymbol(")");
      }
      return;
    }
    if (IsKeyword(token, "GUID") || IsKeyword(token, "UNIQUEIDENTIFIER")) {
      Advance();
      column.type = ColumnType::kGuid;
      return;
    }
    Fail("a data type (TEXT, LONG, DOUBLE, DATETIME, ...)");
  }
  Advance();
  column.type = found->type;
  column.length = found->length;
  column.autonumber = found->autonumber;
  if (found->type == ColumnType::kDouble && IsKeyword(Peek(), "PRECISION")) Advance();
  const bool sized = found->type == ColumnType::kText || found->type == ColumnType::kBinary;
  if (sized && AcceptSymbol("(")) {
    column.length = found->type == ColumnType::kText
                        ? SizeArgument(1, kMaxTextLength, "text length")
                        : SizeArgument(1, kMaxBinaryLength, "binary length");
    ExpectSymbol(")");
  }
}

int Parser::SizeArgument(int min, int max, std::string_view what) {
  const Token& token = Peek();
  const std::string range = std::to_string(min) + " to " + std::to_string(max);
  if (token.kind != TokenKind::kNumber) Fail("a " + std::string(what) + " (" + range + ")");
  auto value = ParseNumber(std::string(token.source), false);
  if (!value || !value->is<int32_t>() || value->as<int32_t>() < min || value->as<int32_t>() > max) {
    Invalid("Syntax error in " + clause_ + ": the " + std::string(what) + " " +
            std::string(token.source) + " is out of range (" + range + ").");
  }
  Advance();
  return value->as<int32_t>();
}

void Parser::SetPrimaryKey(CreateTableStatement& create, std::vector<std::u16string> columns) {
  if (!create.spec.primary_key.empty()) {
    Invalid("Table '" + create.table.source + "' is given more than one primary key.");
  }
  create.spec.primary_key = std::move(columns);
}

}  // namespace

Statement Parse(std::string_view sql) { return Parser(sql).Run(); }

}  // namespace jet::sql
