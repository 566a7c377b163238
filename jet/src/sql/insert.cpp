// INSERT INTO: builds the full row (columns not named stay Null) and hands it to InsertRow, which
// converts each literal to its column's type.
#include <string>
#include <vector>

#include "jet/error.h"
#include "sql/convert.h"
#include "sql/executor.h"

namespace jet::sql {

ExecResult RunInsert(Database& db, const InsertStatement& insert) {
  const TableDef table = ResolveTable(db, insert.table, Use::kWrite);
  const size_t targets = insert.columns.empty() ? table.columns.size() : insert.columns.size();
  if (insert.values.size() != targets) {
    throw Error(Error::Kind::kInvalidArgument,
                "Number of query values and destination fields are not the same (" +
                    std::to_string(insert.values.size()) + " values for " +
                    std::to_string(targets) + " fields of table '" + insert.table.source + "').");
  }
  std::vector<Value> row(table.columns.size());
  std::vector<bool> assigned(table.columns.size(), false);
  for (size_t i = 0; i < insert.values.size(); ++i) {
    size_t index = i;
    if (!insert.columns.empty()) {
      const Name& name = insert.columns[i];
      index = table.columns.size();
      for (size_t c = 0; c < table.columns.size() && index == table.columns.size(); ++c) {
        if (NamesEqual(table.columns[c].name, name.text)) index = c;
      }
      if (index == table.columns.size()) {
        throw Error(Error::Kind::kNotFound,
                    "The INSERT INTO statement contains the following unknown field name: '" +
                        name.source + "' (table '" + insert.table.source + "').");
      }
      if (assigned[index]) {
        throw Error(Error::Kind::kInvalidArgument,
                    "Duplicate output destination '" + name.source + "'.");
      }
    }
    assigned[index] = true;
    row[index] = insert.values[i].value;
  }
  db.InsertRow(table.name, row);
  ExecResult result;
  result.affected = 1;
  return result;
}

}  // namespace jet::sql
