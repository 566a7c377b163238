#include "tableops/approximate.h"

#include <QFile>

#include "database/connection.h"
#include "jet/check.h"
#include "jet/database.h"

namespace tableops {
namespace {

bool GeneralSortOrder(jet::Format format, const jet::Column& column) {
  if (format == jet::Format::kJet4) return column.sort_order == 0x0409 && column.sort_version == 0;
  return column.sort_order == 0x0409;
}

// Calls `fn` for every text or memo column that an index of `table` covers; stops when it
// returns true and returns that.
template <typename Fn>
bool AnyIndexedText(const database::Connection& connection, const QString& table, Fn&& fn) {
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
        if (text && fn(db.format(), column)) return true;
      }
    }
  }
  return false;
}

}  // namespace

bool HasApproximateIndex(const database::Connection& connection, const QString& table) {
  return AnyIndexedText(connection, table, [](jet::Format format, const jet::Column& column) {
    return !GeneralSortOrder(format, column);
  });
}

bool HasTextIndex(const database::Connection& connection, const QString& table) {
  return AnyIndexedText(connection, table, [](jet::Format, const jet::Column&) { return true; });
}

QStringList ApproximateTables(const QString& path) {
  QStringList tables;
  const jet::CheckReport report = jet::CheckFile(QFile::encodeName(path).toStdString());
  // Each entry reads "table NAME index INDEX: reason".
  const std::string prefix = "table ";
  for (const std::string& entry : report.approximate_indexes) {
    if (entry.rfind(prefix, 0) != 0) continue;
    const size_t end = entry.find(" index ", prefix.size());
    const QString table = QString::fromStdString(entry.substr(prefix.size(), end - prefix.size()));
    if (!tables.contains(table)) tables.append(table);
  }
  return tables;
}

}  // namespace tableops
