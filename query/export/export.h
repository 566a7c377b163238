#pragma once

// Export of a whole database for users who move to another system: a new SQLite database, a
// PostgreSQL script (psql -v ON_ERROR_STOP=1 -f OUT) or a directory of CSV files. Values are
// lossless; keys, indexes and relationships with integrity come along where the target has them.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "export/export_schema.h"
#include "jet/database.h"

namespace query {

enum class ExportFormat { kSqlite, kPostgres, kCsv };

// "sqlite", "postgres", "csv"; nullopt for anything else.
std::optional<ExportFormat> ParseExportFormat(std::string_view name);

struct ExportOptions {
  // One line per thing the target does not get (saved queries, relationships without
  // integrity, shortened names). Null: not reported.
  std::ostream* notes = nullptr;
  // A progress line, rewritten in place, for tables of more than 100,000 rows. Meant for a
  // terminal; null: none.
  std::ostream* progress = nullptr;
};

struct ExportStats {
  size_t tables = 0;
  uint64_t rows = 0;
};

// Writes every user table of `db` to `out`, which must not exist (CSV: a directory that is
// created or is empty). SQLite and PostgreSQL output is written in one transaction. On failure
// whatever was written is removed and jet::Error says so (kInvalidArgument: `out` is in the way,
// kIo: writing failed, kNotSupported: a value the target cannot hold).
ExportStats Export(const jet::Database& db, ExportFormat format, const std::string& out,
                   const ExportOptions& options);

// The DDL an export to `dialect` runs, as one script. Notes as in Export.
std::string SchemaSql(const jet::Database& db, Dialect dialect, std::ostream* notes);

}  // namespace query
