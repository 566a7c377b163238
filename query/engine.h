#pragma once

// The Access SQL engine: statements in Access's dialect run on SQLite's query engine over the
// database's tables (virtual tables of module "jet") and its saved select queries (views).

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"

struct sqlite3;
struct sqlite3_stmt;

namespace query {

struct Crosstab;

// The result column names of a prepared statement as Access names them: columns of the same
// name from different tables are told apart as Table.Column, other repeats get a number.
std::vector<std::string> ResultColumnNames(sqlite3_stmt* st);

// Parameter values by name as the user typed them ("42", "Smith", "#1/2/2003#").
using Params = std::map<std::string, std::string>;

class Engine {
 public:
  // `db` must outlive the engine. Writes go through `db` (which must then be open for writing).
  explicit Engine(jet::Database& db);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Runs one statement: SELECT (with UNION, joins, sub-queries, aggregates, TOP with its ties),
  // crosstabs (TRANSFORM ... PIVOT), INSERT INTO ... SELECT / VALUES, UPDATE, DELETE and
  // SELECT ... INTO. A SELECT or a crosstab fills
  // `rows`; the others report `affected`. Throws jet::Error with Access's messages, among them
  // "No value given for one or more required parameters." for a parameter without a value.
  jet::ExecResult Execute(std::string_view access_sql, const Params& params = {});
  // Execute with `rowid_table`'s row ids returned in the result (see TranslateOptions).
  jet::ExecResult Execute(std::string_view access_sql, const Params& params,
                          const std::string& rowid_table);

  // The rows of a saved select, union or crosstab query by name.
  jet::ResultSet RunSavedQuery(std::u16string_view name, const Params& params = {});

  // The rows of a saved select query for a page. When Access could update it (one table, no
  // joins, aggregates, grouping or DISTINCT) the result names that table and carries each row's
  // id, so edits write through; otherwise `table` stays empty and `read_only_reason` says why.
  jet::ResultSet OpenSavedQuery(std::u16string_view name, std::string* read_only_reason,
                                const Params& params = {});

  // The SQLite text a statement translates to (for messages and tests).
  std::string TranslateForTest(std::string_view access_sql, const Params& params = {});

 private:
  void AttachTables();
  void RefreshViews(const Params& params, std::string_view statement);
  // The SELECT of a crosstab, its pivot values read from the data. False with `error` set when
  // SQLite refuses the query of the values.
  bool CrosstabSelect(const Crosstab& crosstab, std::string* sql, std::string* error);
  [[noreturn]] void Fail(const std::string& sqlite_message, std::string_view statement);

  jet::Database& db_;
  std::unique_ptr<struct JetModuleContext> context_;
  sqlite3* sqlite_ = nullptr;
  std::map<std::string, std::string> table_names_;  // lower case -> name as stored
  std::map<std::string, std::string> view_errors_;  // lower case -> why the view is missing
  std::vector<std::string> views_;
};

}  // namespace query
