#pragma once

// The three writers behind Export(). Each writes `schema`'s tables from `db`; none cleans up
// after a failure (Export removes what they leave behind).

#include <string>
#include <vector>

#include "export/export.h"

namespace query {

// A new SQLite database in the empty file `out`, in one transaction.
ExportStats WriteSqlite(const jet::Database& db, const ExportSchema& schema, const std::string& out,
                        const ExportOptions& options);
// A psql script in the empty file `out`: tables, COPY blocks, then keys, in one transaction.
ExportStats WritePostgres(const jet::Database& db, const ExportSchema& schema,
                          const std::string& out, const ExportOptions& options);
// One TABLE.csv per table in the existing directory `dir`; every file created is added to
// `created` before it is written.
ExportStats WriteCsv(const jet::Database& db, const ExportSchema& schema, const std::string& dir,
                     const ExportOptions& options, std::vector<std::string>& created);

// "table "T", column "C": " before a message about one value.
std::string ValueContext(const ExportTable& t, size_t column);

}  // namespace query
