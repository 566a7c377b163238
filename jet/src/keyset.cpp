// Row-id reads for keyset cursors: ids in scan order, rows by id in batches, index walks.
#include "jet/keyset.h"

#include "db/database_impl.h"
#include "index/index_key.h"
#include "index/index_page.h"
#include "page/format.h"
#include "table/row.h"
#include "table/table_scan.h"

namespace jet {

std::vector<RowId> ScanRowIds(const Database& db, const TableDef& table) {
  const DatabaseImpl& impl = DatabaseInternals::Of(db);
  const ReadScope scope = impl.Refresh();
  auto info = impl.TableAt(table.tdef_page, table.name);
  std::vector<RowId> ids;
  ids.reserve(info->def.row_count);
  ScanRows(impl.file(), *info, [&](RowId id, const PageReader&) {
    ids.push_back(id);
    return true;
  });
  return ids;
}

std::vector<std::optional<std::vector<Value>>> ReadRows(const Database& db, const TableDef& table,
                                                         std::span<const RowId> ids) {
  const DatabaseImpl& impl = DatabaseInternals::Of(db);
  const ReadScope scope = impl.Refresh();
  auto info = impl.TableAt(table.tdef_page, table.name);
  RowDecoder decoder(impl.file(), impl.codec(), *info, table.columns);
  std::vector<std::optional<std::vector<Value>>> out;
  out.reserve(ids.size());
  Page holder;
  for (RowId id : ids) {
    PageReader row({}, {}, 0);
    if (!FindRow(impl.file(), *info, id, holder, row)) {
      out.emplace_back();
      continue;
    }
    std::vector<Value> values;
    decoder.Decode(row, values);
    out.emplace_back(std::move(values));
  }
  return out;
}

std::optional<size_t> SingleColumnIndex(const TableDef& table, size_t column, bool ascending) {
  if (column >= table.columns.size()) return std::nullopt;
  for (size_t i = 0; i < table.indexes.size(); ++i) {
    const Index& index = table.indexes[i];
    if (index.columns.size() != 1 || index.ignore_nulls) continue;
    if (index.columns[0].column_number != table.columns[column].number) continue;
    if (index.columns[0].ascending != ascending) continue;
    return i;
  }
  return std::nullopt;
}

void ScanIndex(const Database& db, const TableDef& table, size_t index,
               const std::vector<Value>& from, const std::function<bool(RowId, bool)>& fn) {
  const DatabaseImpl& impl = DatabaseInternals::Of(db);
  const ReadScope scope = impl.Refresh();
  auto info = impl.TableAt(table.tdef_page, table.name);
  if (index >= info->def.indexes.size()) {
    throw Error(Error::Kind::kInvalidArgument, "no index " + std::to_string(index) + " in " +
                                                   ToUtf8(table.name));
  }
  const Index& def = info->def.indexes[index];
  const RealIndex& real = info->real_indexes.at(def.real_index);
  Bytes key;
  if (!from.empty()) {
    std::vector<KeyColumn> columns;
    for (const IndexColumn& ic : def.columns) {
      for (const Column& c : info->def.columns) {
        if (c.number == ic.column_number) columns.push_back(KeyColumn::From(c, ic.ascending));
      }
    }
    key = EncodeIndexKey(impl.file().format(), columns, from).bytes;
  }
  FilePageSource src(impl.file());
  ForEachIndexEntryFrom(src, impl.file().info(), real.root_page, key, [&](const IndexEntry& e) {
    return fn(RowId{e.page, e.row}, !from.empty() && e.key == key);
  });
}

}  // namespace jet
