#pragma once

// SQL statements that create an exported schema, for SQLite and for PostgreSQL. The exports run
// exactly these statements, and `mdbtool schema --sql` prints them.

#include <string>
#include <vector>

#include "export/export_schema.h"

namespace query {

// The declared type of `c` in the target. SQLite: a name whose affinity keeps the value as the
// export stores it (exact decimals as TEXT). PostgreSQL: the closest native type.
std::string ColumnTypeSql(const jet::Column& c, jet::Format format, Dialect dialect);

// CREATE TABLE for `t`. SQLite: with its primary key and foreign keys (SQLite cannot add them
// later). PostgreSQL: columns only; keys follow the data (PostgresKeysSql).
std::string CreateTableSql(const ExportTable& t, jet::Format format, Dialect dialect);

// CREATE [UNIQUE] INDEX for every index of `t` but the primary key, descending columns kept.
std::vector<std::string> CreateIndexesSql(const ExportTable& t);

// PostgreSQL, after the rows: primary keys, indexes, foreign keys of every table, then the next
// AutoNumber value of each identity column.
std::vector<std::string> PostgresKeysSql(const ExportSchema& s);

// The whole DDL of `s` as a script, one statement per line group, each ending in ";\n".
std::string SchemaScript(const ExportSchema& s, jet::Format format, Dialect dialect);

}  // namespace query
