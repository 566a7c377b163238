#include "tableops/approximate.h"

#include "database/connection.h"
#include "jet/database.h"

namespace tableops {
namespace {

bool GeneralSortOrder(jet::Format format, const jet::Column& column) {
  if (format == jet::Format::kJet4) return column.sort_order == 0x0409 && column.sort_version == 0;
  return column.sort_order == 0x0409;
}

}  // namespace

bool HasApproximateIndex(const database::Connection& connection, const QString& table) {
  if (!connection.Connected()) return false;
  const jet::Database& db = connection.Engine();
  jet::TableDef def;
  try {
    def = db.GetTable(table.toStdU16String());
  } catch (const jet::Error&) {
    return false;
  }
  for (const jet::Index& index : def.indexes) {
    for (const jet::IndexColumn& key : index.columns) {
      for (const jet::Column& column : def.columns) {
        if (column.number != key.column_number) continue;
        const bool text =
            column.type == jet::ColumnType::kText || column.type == jet::ColumnType::kMemo;
        if (text && !GeneralSortOrder(db.format(), column)) return true;
      }
    }
  }
  return false;
}

}  // namespace tableops
