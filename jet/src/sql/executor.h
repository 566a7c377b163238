// Executor of the SQL dialect: runs a parsed statement through the public Database API only
// (GetTable, Scan, ListTables, InsertRow, CreateIndex, CreateTable), so it sees exactly what
// every other caller sees.
//
// SELECT reads the whole table in scan order, keeps the rows that satisfy the condition and
// sorts them stably when ORDER BY is given. Writes check every name against the table first, so
// an unknown table or column is reported with its name before the engine is asked to write.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>
#include <string_view>

#include "jet/database.h"
#include "sql/parser.h"
#include "sql/sort_keys.h"

namespace jet::sql {

// Whether a statement reads or writes the table it names.
enum class Use { kRead, kWrite };

// The table `name` refers to, found case-insensitively. Throws kNotFound naming it when there is
// none, kNotSupported for a saved query (and, for writes, a system table).
TableDef ResolveTable(const Database& db, const Name& name, Use use);

// Position of column `name` in `table`; throws kNotFound naming column, clause and table.
size_t ColumnIndex(const TableDef& table, const Name& name, std::string_view clause);

// A compiled WHERE clause: whether a row (values in table order) is kept. Throws as RunSelect.
using RowPredicate = std::function<bool(const std::vector<Value>&)>;
RowPredicate CompileWhere(const TableDef& table, const std::optional<Predicate>& where);

// The ORDER BY terms of `terms` as column positions of `table`. Throws kNotFound for an unknown
// column and kInvalidArgument for an OLE Object column.
std::vector<SortColumn> CompileOrder(const TableDef& table, const std::vector<OrderTerm>& terms);
// The rows that `WHERE column = whole number` (alone, or as an operand of a top-level AND) can
// match, sought in an index over that column alone, in scan order; nullopt when no index helps.
// The caller still applies the whole WHERE.
std::optional<std::vector<RowId>> SeekCandidates(const Database& db, const TableDef& table,
                                                 const std::optional<Predicate>& where);

// Runs an INSERT; affected = 1.
ExecResult RunInsert(Database& db, const InsertStatement& insert);

// Run UPDATE and DELETE: every matching row and all that the relationships make of it in one
// commit; affected = the matching rows.
ExecResult RunUpdate(Database& db, const UpdateStatement& update);
ExecResult RunDelete(Database& db, const DeleteStatement& del);

// Runs any statement. SELECT fills ExecResult::rows; writes report the rows they wrote.
ExecResult Execute(Database& db, const Statement& statement);

// Runs a SELECT. Throws kNotFound for an unknown table or column, kNotSupported for a saved
// query, kInvalidArgument for a literal that does not fit the column it is compared with.
ResultSet RunSelect(const Database& db, const SelectStatement& select);

}  // namespace jet::sql
