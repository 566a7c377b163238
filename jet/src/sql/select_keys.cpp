// SELECT kept as row ids (jet/keyset.h): the same rows in the same order as RunSelect, without
// holding their values. Filtering and sorting decode rows one at a time and keep only the sort
// columns; an index over the ORDER BY column, or over the column of an equality, replaces the
// sort or the scan.
#include <algorithm>
#include <numeric>
#include <variant>

#include "jet/error.h"
#include "jet/keyset.h"
#include "sql/executor.h"
#include "sql/parser.h"
#include "sql/sort_keys.h"

namespace jet {
namespace {

using sql::SelectStatement;

// Integer columns only: their index order is exactly the order of their values, ties by row
// position, which is the order a stable sort of the table scan gives. Text keys follow the
// collation, which a sort by folded text does not reproduce in every case.
bool IntegerColumn(const Column& c) {
  return c.type == ColumnType::kByte || c.type == ColumnType::kInt || c.type == ColumnType::kLong;
}

}  // namespace

KeySet QueryKeys(const Database& db, std::string_view text) {
  const sql::Statement statement = sql::Parse(text);
  const auto* select = std::get_if<SelectStatement>(&statement);
  if (select == nullptr) {
    throw Error(Error::Kind::kInvalidArgument,
                "Query runs SELECT statements only; use Execute for '" +
                    std::string(text.substr(0, 40)) + "'.");
  }
  KeySet out;
  out.table = sql::ResolveTable(db, select->table, sql::Use::kRead);
  const TableDef& table = out.table;
  const sql::RowPredicate keep = sql::CompileWhere(table, select->where);
  const std::vector<sql::SortColumn> order = sql::CompileOrder(table, select->order_by);
  for (const sql::Name& name : select->columns) {
    out.picks.push_back(sql::ColumnIndex(table, name, "SELECT list"));
  }
  if (out.picks.empty()) {
    out.picks.resize(table.columns.size());
    std::iota(out.picks.begin(), out.picks.end(), size_t{0});
  }
  for (size_t i : out.picks) out.columns.push_back(table.columns[i]);

  if (!select->where && order.empty()) {
    out.row_ids = ScanRowIds(db, table);
    return out;
  }
  if (!select->where && order.size() == 1 && IntegerColumn(table.columns[order[0].column])) {
    if (std::optional<size_t> index =
            SingleColumnIndex(table, order[0].column, order[0].ascending)) {
      ScanIndex(db, table, *index, {}, [&](RowId id, bool) {
        out.row_ids.push_back(id);
        return true;
      });
      return out;
    }
  }
  // Kept rows with the values of their sort columns only.
  std::vector<std::vector<Value>> sort_values;
  auto take = [&](RowId id, std::vector<Value>& values) {
    if (!keep(values)) return;
    out.row_ids.push_back(id);
    if (order.empty()) return;
    std::vector<Value> row;
    row.reserve(order.size());
    for (const sql::SortColumn& s : order) row.push_back(std::move(values[s.column]));
    sort_values.push_back(std::move(row));
  };
  if (std::optional<std::vector<RowId>> candidates = sql::SeekCandidates(db, table, select->where)) {
    constexpr size_t kBatch = 256;
    for (size_t at = 0; at < candidates->size(); at += kBatch) {
      const size_t n = std::min(kBatch, candidates->size() - at);
      auto rows = ReadRows(db, table, std::span<const RowId>(candidates->data() + at, n));
      for (size_t i = 0; i < n; ++i) {
        if (rows[i]) take((*candidates)[at + i], *rows[i]);
      }
    }
  } else {
    db.Scan(table, [&](RowId id, std::vector<Value>& values) {
      take(id, values);
      return true;
    });
  }
  if (order.empty()) return out;
  std::vector<sql::SortKeys> keys;
  keys.reserve(order.size());
  for (size_t c = 0; c < order.size(); ++c) keys.emplace_back(sort_values, c);
  sort_values.clear();
  sort_values.shrink_to_fit();
  const std::vector<size_t> positions = sql::SortedPositions(out.row_ids.size(), keys, order);
  std::vector<RowId> sorted;
  sorted.reserve(positions.size());
  for (size_t i : positions) sorted.push_back(out.row_ids[i]);
  out.row_ids = std::move(sorted);
  return out;
}

}  // namespace jet
