#pragma once

// What an open Query holds: the engine's buffered result (rows and their row ids), the record
// as it was before an edit began, and, once a write needs it, the definition of the table the
// result came from. Internal to database/.

#include <string>
#include <vector>

#include "jet/database.h"

namespace database {

struct QueryData {
  jet::ResultSet result;           // moved from the engine, never copied
  std::vector<jet::Value> saved;   // the current record before dsEdit began
  bool table_loaded = false;
  jet::TableDef table;             // definition of result.table, loaded on the first write
  std::vector<int> result_column;  // per table column: its result column, -1 when not selected
  std::string read_only_reason;    // why a result without a table cannot be edited (may be empty)
};

}  // namespace database
