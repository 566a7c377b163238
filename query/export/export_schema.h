#pragma once

// What an export writes besides the rows: the user tables of a database with their target names,
// NOT NULL columns, keys, indexes and foreign keys, worked out once for every target dialect.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/database.h"

namespace query {

enum class Dialect { kSqlite, kPostgres };

struct ExportIndex {
  std::string name;                  // unique among all index names of the target
  std::vector<std::string> columns;  // target column names
  std::vector<bool> descending;      // per column
  bool primary = false;
  bool unique = false;
};

struct ExportForeignKey {
  std::string name;  // the relationship's name, made unique in the target
  std::vector<std::string> columns;
  std::string referenced_table;
  std::vector<std::string> referenced_columns;
  bool cascade_update = false;
  bool cascade_delete = false;
  bool set_null_on_delete = false;
};

struct ExportTable {
  jet::TableDef def;
  std::string name;                  // target name
  std::vector<std::string> columns;  // target names, in def.columns order
  std::vector<bool> not_null;        // per column: Access requires a value
  // The Long Integer column that is the whole primary key (ascending), or -1. SQLite keeps it as
  // the rowid ("INTEGER PRIMARY KEY"): no second index to build and keep.
  int integer_key = -1;
  // The same column when it is an AutoNumber, or -1.
  int autonumber_key = -1;
  // Largest key among the rows and the last number Access handed out (only with autonumber_key).
  int64_t max_key = 0;
  int64_t last_autonumber = 0;
  std::vector<ExportIndex> indexes;  // the primary key first, when there is one
  std::vector<ExportForeignKey> foreign_keys;

  // SQLite: numbers were handed out beyond the largest key, so they must not be reused.
  bool NeedsAutoincrement() const { return autonumber_key >= 0 && last_autonumber > max_key; }
  const ExportIndex* PrimaryKey() const;
};

struct ExportSchema {
  std::vector<ExportTable> tables;  // in dump order (names by UTF-16 code units)
  // What the target will not hold, one line each: queries not exported, relationships without
  // integrity, names shortened to fit the target.
  std::vector<std::string> notes;
  // SQLite only: CREATE VIEW for the saved select queries that SQLite can run, in the order
  // they must be created (after the tables).
  std::vector<std::string> views;
};

// Reads the user tables and relationships of `db` and names everything for `dialect`. Scans the
// rows of tables with an AutoNumber key for their largest key. With `views` (an SQLite
// database or its script) the saved select queries become views where SQLite can run them.
// Throws jet::Error.
ExportSchema BuildExportSchema(const jet::Database& db, Dialect dialect, bool views);

// `name` quoted as an SQL identifier: "na""me".
std::string QuoteIdentifier(const std::string& name);

}  // namespace query
