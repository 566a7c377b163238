#pragma once

// The commands of mdbtool. main() only hands its arguments to RunMdbtool, so tests run every
// command in-process.

#include <istream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // jet::Error or another failure; message on `err`
inline constexpr int kExitUsage = 2;    // bad command line; usage on `err`

// Runs one mdbtool command line (`args` without the program name). Output goes to `out` as
// UTF-8, messages to `err`. Returns the process exit status.
int RunMdbtool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The same, with `in` as standard input (for `sql FILE -`).
int RunMdbtool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               std::istream& in);

// The text printed by --help.
std::string UsageText();

// `tables`: one line per entry of the TABLES listing, "TYPE<TAB>name".
void PrintTables(const jet::Database& db, std::ostream& out);
// `schema`: columns (type, length, flags), row count and indexes of every user table or of
// `table` alone. Throws kNotFound for an unknown table.
void PrintSchema(const jet::Database& db, const std::optional<std::u16string>& table,
                 std::ostream& out);
// `sql`: runs one statement. A SELECT prints a JSON array of column names, then one JSON array
// per row (values as in the dump); other statements print the number of rows affected.
void RunSql(jet::Database& db, std::string_view sql, std::ostream& out);
// `sql` with its options: statements the engine's own dialect does not take (joins,
// expressions, aggregates, UPDATE/DELETE with any WHERE, saved queries) run on the Access SQL
// engine; `params` give parameters their values; `csv` prints RFC 4180 with a header row.
struct SqlOptions {
  bool csv = false;
  std::map<std::string, std::string> params;
};
void RunSql(jet::Database& db, std::string_view sql, const SqlOptions& options, std::ostream& out);
// `queries`: every saved query as "-- name (type)", its Access SQL text and a blank line; with
// `name`, that query's text alone. Throws kNotFound for an unknown name.
void PrintQueries(const jet::Database& db, const std::optional<std::u16string>& name,
                  std::ostream& out);
// True when `sql` starts with SELECT (so the file can be opened read-only).
bool IsSelect(std::string_view sql);

}  // namespace cli
