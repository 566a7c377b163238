#pragma once

// The commands of mdbtool. main() only hands its arguments to RunMdbtool, so tests run every
// command in-process.

#include <istream>
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
// True when `sql` starts with SELECT (so the file can be opened read-only).
bool IsSelect(std::string_view sql);

}  // namespace cli
