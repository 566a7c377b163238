// UPDATE and DELETE: the rows the WHERE clause keeps, found by one scan, are handed to the engine
// in one call, which writes them and their cascades as one commit.
#include <string>
#include <vector>

#include "jet/error.h"
#include "sql/convert.h"
#include "sql/executor.h"

namespace jet::sql {

ExecResult RunUpdate(Database& db, const UpdateStatement& update) {
  const TableDef table = ResolveTable(db, update.table, Use::kWrite);
  std::vector<std::pair<size_t, Value>> sets;
  for (const Assignment& a : update.assignments) {
    const size_t index = ColumnIndex(table, a.column, "SET clause");
    for (const auto& [earlier, value] : sets) {
      if (earlier == index) {
        throw Error(Error::Kind::kInvalidArgument,
                    "Duplicate output destination '" + a.column.source + "'.");
      }
    }
    sets.emplace_back(index, a.literal.value);
  }
  const RowPredicate keep = CompileWhere(table, update.where);
  std::vector<std::pair<RowId, std::vector<Value>>> rows;
  db.Scan(table, [&](RowId id, std::vector<Value>& values) {
    if (!keep(values)) return true;
    for (const auto& [index, value] : sets) values[index] = value;
    rows.emplace_back(id, std::move(values));
    return true;
  });
  if (!rows.empty()) db.UpdateRows(table.name, rows);
  ExecResult result;
  result.affected = static_cast<int64_t>(rows.size());
  return result;
}

ExecResult RunDelete(Database& db, const DeleteStatement& del) {
  const TableDef table = ResolveTable(db, del.table, Use::kWrite);
  const RowPredicate keep = CompileWhere(table, del.where);
  std::vector<RowId> ids;
  db.Scan(table, [&](RowId id, std::vector<Value>& values) {
    if (keep(values)) ids.push_back(id);
    return true;
  });
  if (!ids.empty()) db.DeleteRows(table.name, ids);
  ExecResult result;
  result.affected = static_cast<int64_t>(ids.size());
  return result;
}

}  // namespace jet::sql
