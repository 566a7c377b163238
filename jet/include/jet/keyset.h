#pragma once

// Results kept as row ids: the reads behind a cursor that holds millions of rows without their
// values. A keyset names the rows of a SELECT in its order; the rows themselves are read by id
// when they are needed, a few at a time.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jet/database.h"
#include "jet/schema.h"
#include "jet/value.h"

namespace jet {

// The rows of a SELECT as ids in result order. `columns` are the result's columns, `picks[i]` the
// position of result column i in `table.columns`.
struct KeySet {
  TableDef table;
  std::vector<Column> columns;
  std::vector<size_t> picks;
  std::vector<RowId> row_ids;
};

// Runs a SELECT of the engine's dialect as Database::Query does, with the same rows in the same
// order and the same errors, but keeps only their ids. ORDER BY a column with an index over it
// alone walks that index, `WHERE column = literal` looks the literal up in it.
KeySet QueryKeys(const Database& db, std::string_view sql);

// The ids of every live row of `table` in table-scan order, without decoding any value.
std::vector<RowId> ScanRowIds(const Database& db, const TableDef& table);

// Reads the rows `ids` of `table` (values in the order of `table.columns`); a row that is no
// longer there gives nullopt.
std::vector<std::optional<std::vector<Value>>> ReadRows(const Database& db, const TableDef& table,
                                                         std::span<const RowId> ids);

// Position in `table.indexes` of an index over column `column` alone, in direction `ascending`,
// that holds an entry for every row (not ignoring nulls); nullopt when there is none.
std::optional<size_t> SingleColumnIndex(const TableDef& table, size_t column, bool ascending);

// Walks index `index` (position in `table.indexes`) in key order from the first entry whose key
// is not below the key of `from` (values of its columns; empty: from the start), calling `fn`
// with each row id and whether the entry's key equals that of `from`, until `fn` returns false.
void ScanIndex(const Database& db, const TableDef& table, size_t index,
               const std::vector<Value>& from, const std::function<bool(RowId, bool)>& fn);

}  // namespace jet
