#pragma once

// The canonical dump of a database (docs/dump-format.md): JSON lines that other readers' dumps
// can be compared with byte for byte.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "jet/database.h"

namespace cli {

// Writes the dump of every user table of `db` (or of `table` alone, found case-insensitively;
// then no linked-table lines follow) to `out`. Throws jet::Error from the engine, kNotFound for
// an unknown or non-table `table`.
void WriteDump(const jet::Database& db, const std::optional<std::u16string>& table,
               std::ostream& out);

// The header line of a table: {"table":T,"columns":[...]} without the newline.
std::string ColumnsLine(const jet::TableDef& def, jet::Format format);
// One line per logical index in index-name order, each without the newline.
std::vector<std::string> IndexLines(const jet::TableDef& def);

}  // namespace cli
