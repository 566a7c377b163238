// Parser of the engine's SQL dialect: one statement in, one syntax tree out.
//
//   SELECT * | col [, col ...] FROM table [WHERE condition] [ORDER BY col [ASC|DESC] [, ...]]
//   INSERT INTO table [(col, ...)] VALUES (literal, ...)
//   UPDATE table SET col = literal [, ...] [WHERE condition]
//   DELETE [*] FROM table [WHERE condition]
//   ALTER TABLE table ADD CONSTRAINT name FOREIGN KEY (col, ...) REFERENCES table2 [(col, ...)]
//          [ON UPDATE CASCADE] [ON DELETE CASCADE | ON DELETE SET NULL]
//   ALTER TABLE table DROP CONSTRAINT name
//   ALTER TABLE table ADD [CONSTRAINT name] PRIMARY KEY [CLUSTERED] (col, ...)
//   ALTER TABLE table ADD CONSTRAINT name UNIQUE (col, ...)
//   CREATE [UNIQUE] INDEX name ON table (col [ASC|DESC], ...)
//          [WITH PRIMARY | DISALLOW NULL | IGNORE NULL ...]
//   CREATE TABLE table (col type [(n[, s])] [NOT NULL] [[CONSTRAINT name] PRIMARY KEY], ...
//          [, [CONSTRAINT name] PRIMARY KEY (col, ...)] [, CONSTRAINT name FOREIGN KEY ...])
// condition: col op literal | col IS [NOT] NULL (op: = <> < <= > >=), combined with NOT, AND
// (binding tighter) and OR, grouped by parentheses.
// Literals: 'text', "text", numbers with an optional sign, #date#, NULL, TRUE, FALSE.
// A statement may end in one ';' and blanks. Names are checked against the tables by the executor.
#pragma once

#include <optional>
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

// A WHERE condition: one comparison, or NOT / AND / OR over others.
struct Predicate {
  enum class Kind { kCompare, kNot, kAnd, kOr };
  Kind kind = Kind::kCompare;
  Condition condition;              // kCompare
  std::vector<Predicate> operands;  // kNot: one; kAnd, kOr: two or more
};

struct OrderTerm {
  Name column;
  bool ascending = true;
};

struct SelectStatement {
  Name table;
  std::vector<Name> columns;     // empty for *
  std::optional<Predicate> where;
  std::vector<OrderTerm> order_by;
};

struct InsertStatement {
  Name table;
  std::vector<Name> columns;  // empty: every column of the table, in order
  std::vector<Literal> values;
};

struct Assignment {
  Name column;
  Literal literal;
};

struct UpdateStatement {
  Name table;
  std::vector<Assignment> assignments;
  std::optional<Predicate> where;
};

struct DeleteStatement {
  Name table;
  std::optional<Predicate> where;
};

// A FOREIGN KEY clause: `table` (the referencing one) points at `referenced`.
struct ForeignKeyStatement {
  Name table;
  std::u16string name;
  std::vector<Name> columns;
  Name referenced;
  std::vector<Name> referenced_columns;  // empty: the referenced table's primary key
  bool cascade_update = false;
  bool cascade_delete = false;
  bool cascade_null = false;
};

struct DropConstraintStatement {
  Name table;
  Name name;
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
  std::vector<ForeignKeyStatement> foreign_keys;  // added once the table exists
};

// DROP TABLE t, and DROP INDEX i ON t.
struct DropTableStatement {
  Name table;
};

struct DropIndexStatement {
  Name index;
  Name table;
};

// ALTER TABLE t ADD [COLUMN] definition, and ALTER TABLE t DROP [COLUMN] c.
struct AddColumnStatement {
  Name table;
  ColumnSpec column;
};

struct DropColumnStatement {
  Name table;
  Name column;
};

using Statement =
    std::variant<SelectStatement, InsertStatement, CreateIndexStatement, CreateTableStatement,
                 UpdateStatement, DeleteStatement, ForeignKeyStatement, DropConstraintStatement,
                 DropTableStatement, DropIndexStatement, AddColumnStatement, DropColumnStatement>;

// Parses one statement. Throws Error kInvalidArgument with a message that names the clause, what
// was expected and the text where it went wrong; kNotSupported for statements this engine knows
// but does not run (DROP, ...).
Statement Parse(std::string_view sql);

}  // namespace jet::sql
