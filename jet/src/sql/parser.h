// Parser of the engine's SQL dialect: one statement in, one syntax tree out.
//
//   SELECT * | col [, col ...] FROM table
//          [WHERE col op literal | WHERE col IS [NOT] NULL]   op: = <> < <= > >=
//          [ORDER BY col [ASC|DESC] [, ...]]
//   INSERT INTO table [(col, ...)] VALUES (literal, ...)
//   ALTER TABLE table ADD [CONSTRAINT name] PRIMARY KEY [CLUSTERED] (col, ...)
//   ALTER TABLE table ADD CONSTRAINT name UNIQUE (col, ...)
//   CREATE [UNIQUE] INDEX name ON table (col [ASC|DESC], ...)
//          [WITH PRIMARY | DISALLOW NULL | IGNORE NULL ...]
//   CREATE TABLE table (col type [(n[, s])] [NOT NULL] [[CONSTRAINT name] PRIMARY KEY], ...
//          [, [CONSTRAINT name] PRIMARY KEY (col, ...)])
// Literals: 'text', "text", numbers with an optional sign, #date#, NULL, TRUE, FALSE.
// A statement may end in one ';' and blanks. Names are checked against the tables by the executor.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "jet/schema.h"
#include "jet/value.h"

namespace jet::sql {

// A table or column name with its spelling in the statement, for messages.
struct Name {
  std::u16string text;
  std::string source;
};

struct Literal {
  Value value;
  std::string source;  // as written, sign included
};

enum class CompareOp {
  kEqual,
  kNotEqual,
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
  kIsNull,
  kIsNotNull
};

struct Condition {
  Name column;
  CompareOp op = CompareOp::kEqual;
  Literal literal;  // unused for IS [NOT] NULL
};

struct OrderTerm {
  Name column;
  bool ascending = true;
};

struct SelectStatement {
  Name table;
  std::vector<Name> columns;     // empty for *
  std::vector<Condition> where;  // zero or one condition
  std::vector<OrderTerm> order_by;
};

struct InsertStatement {
  Name table;
  std::vector<Name> columns;  // empty: every column of the table, in order
  std::vector<Literal> values;
};

// CREATE INDEX and ALTER TABLE ... ADD PRIMARY KEY / UNIQUE.
struct CreateIndexStatement {
  Name table;
  std::u16string index_name;
  std::vector<OrderTerm> columns;
  bool primary = false;
  bool unique = false;
  bool ignore_nulls = false;
  bool required = false;
};

struct CreateTableStatement {
  Name table;
  TableSpec spec;
};

using Statement =
    std::variant<SelectStatement, InsertStatement, CreateIndexStatement, CreateTableStatement>;

// Parses one statement. Throws Error kInvalidArgument with a message that names the clause, what
// was expected and the text where it went wrong; kNotSupported for statements this engine knows
// but does not run (UPDATE, DELETE, DROP, ...).
Statement Parse(std::string_view sql);

}  // namespace jet::sql
