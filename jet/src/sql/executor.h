// Executor of the SQL dialect: runs a parsed statement through the public Database API only
// (GetTable, Scan, ListTables, InsertRow, CreateIndex, CreateTable), so it sees exactly what
// every other caller sees.
//
// SELECT reads the whole table in scan order, keeps the rows that satisfy the condition and
// sorts them stably when ORDER BY is given. Writes check every name against the table first, so
// an unknown table or column is reported with its name before the engine is asked to write.
#pragma once

#include "jet/database.h"
#include "sql/parser.h"

namespace jet::sql {

// Runs any statement. SELECT fills ExecResult::rows; writes report the rows they wrote.
ExecResult Execute(Database& db, const Statement& statement);

// Runs a SELECT. Throws kNotFound for an unknown table or column, kNotSupported for a saved
// query, kInvalidArgument for a literal that does not fit the column it is compared with.
ResultSet RunSelect(const Database& db, const SelectStatement& select);

}  // namespace jet::sql
