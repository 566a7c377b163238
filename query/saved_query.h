#pragma once

// Saved queries: the rows a query keeps in MSysQueries, and the Access SQL text they stand for.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"

namespace query {

enum class QueryType {
  kSelect,
  kMakeTable,
  kAppend,
  kUpdate,
  kDelete,
  kCrosstab,
  kDataDefinition,
  kPassThrough,
  kUnion,
  kUnknown,
};

// One MSysQueries row.
struct QueryRow {
  uint8_t attribute = 0;
  std::optional<int16_t> flag;
  std::u16string name1, name2;
  std::optional<std::u16string> expression;
  std::vector<uint8_t> order;
};

// A declared parameter: its name and the Access type name ("Text ( 255 )", "Long", ...).
struct QueryParameter {
  std::u16string name;
  std::u16string type;
};

struct SavedQuery {
  std::u16string name;
  int32_t id = 0;
  uint32_t object_flags = 0;  // MSysObjects.Flags
  QueryType type = QueryType::kUnknown;
  std::vector<QueryRow> rows;  // sorted by attribute, then by Order
  std::vector<QueryParameter> parameters;

  // The Access SQL text, clauses on lines of their own: "PARAMETERS ...;" and a line break (when
  // declared), the statement, ";".
  std::u16string Sql() const;
};

// Every saved query of the database (MSysObjects Type 5) with its MSysQueries rows, in catalog
// order. Throws jet::Error when the system tables cannot be read.
std::vector<SavedQuery> ReadSavedQueries(const jet::Database& db);
// One saved query by name (case-insensitive); nullopt when there is none.
std::optional<SavedQuery> FindSavedQuery(const jet::Database& db, std::u16string_view name);

// The tables and saved queries as the provider lists them: the engine's TABLE and VIEW rows,
// without the select queries that declare parameters (those are procedures, not views).
std::vector<jet::TableListEntry> ListTables(const jet::Database& db);

// "SELECT", "UPDATE", ... as a lower-case word for listings.
std::string QueryTypeName(QueryType type);
// Builds the text from the rows alone (used by SavedQuery::Sql and by tests on hand-made rows).
std::u16string BuildAccessSql(QueryType type, const std::vector<QueryRow>& rows);
// Encloses `name` in brackets when Access would: anything but letters, digits and '_', or a
// leading digit.
std::u16string QuoteName(std::u16string_view name);

}  // namespace query
