#pragma once

// The engine's tables as SQLite virtual tables (module "jet"): reads scan the table (or read one
// row by its id), writes go through Database::InsertRow/UpdateRow/DeleteRow so the engine keeps
// its indexes and rules. A row's SQLite rowid is its RowId: page * 256 + slot.

#include <sqlite3.h>

#include <string>

#include "jet/database.h"

namespace query {

// Registers the module on `sqlite` for tables of `db`, which must outlive the connection.
void RegisterJetModule(sqlite3* sqlite, jet::Database* db);

// The declared SQLite type of a column type ("TEXT", "CURRENCY", ...), and back.
const char* DeclaredType(jet::ColumnType type);
bool ColumnTypeFromDeclared(const char* declared, jet::ColumnType* type);

// Converts a value the executor produced into an engine value of `column`'s type. Throws
// jet::Error kInvalidArgument when it does not fit.
jet::Value ToEngineValue(sqlite3_value* v, const jet::Column& column, jet::Format format);

// Sets the SQLite result for an engine value: Yes/No as -1/0, Currency and Decimal as numbers,
// dates as day numbers, text as UTF-8, GUIDs as their text.
void ResultFromValue(sqlite3_context* ctx, const jet::Value& value);

// The shortest decimal text of a float that reads back as the same float, as a double.
double FloatAsDouble(float f);

}  // namespace query
