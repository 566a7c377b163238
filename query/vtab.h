#pragma once

// The engine's tables as SQLite virtual tables (module "jet"): reads scan the table once per
// statement, read one row by its id, or find rows equal on a column through a hash map built
// from that scan (the public engine API has no index seek yet); writes go through
// Database::InsertRow/UpdateRow/DeleteRow so the engine keeps its indexes and rules. A row's
// SQLite rowid is its RowId: page * 256 + slot.

#include <sqlite3.h>

#include <string>

#include "jet/database.h"

namespace query {

// What the module's tables share: the database and a statement counter. Each table keeps the
// rows it read (and hash maps of them for equality lookups) while the counter stays the same;
// bumping it before a statement makes them read the file again.
struct JetModuleContext {
  jet::Database* db = nullptr;
  uint64_t statement = 0;
};

// Registers the module on `sqlite`; `context` must outlive the connection.
void RegisterJetModule(sqlite3* sqlite, JetModuleContext* context);

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
