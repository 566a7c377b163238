// SELECT: scan, filter, sort, project.
#include <algorithm>
#include <numeric>

#include "jet/error.h"
#include "sql/compare.h"
#include "sql/convert.h"
#include "sql/executor.h"
#include "sql/lexer.h"
#include "sql/sort_keys.h"

namespace jet::sql {
namespace {

[[noreturn]] void MissingTable(const Name& name) {
  throw Error(Error::Kind::kNotFound,
              "The Microsoft Jet database engine cannot find the input table or query '" +
                  name.source + "'. Make sure it exists and that its name is spelled correctly.");
}

}  // namespace

TableDef ResolveTable(const Database& db, const Name& name, Use use) {
  try {
    TableDef table = db.GetTable(name.text);
    if (use == Use::kWrite && table.system) {
      throw Error(Error::Kind::kNotSupported,
                  "Cannot write to system table '" + name.source + "'.");
    }
    return table;
  } catch (const Error& e) {
    if (e.kind() != Error::Kind::kNotFound) throw;
  }
  for (const TableListEntry& entry : db.ListTables()) {
    if (entry.type == "VIEW" && NamesEqual(entry.name, name.text)) {
      if (use == Use::kWrite) {
        throw Error(Error::Kind::kNotSupported,
                    "'" + name.source + "' is a saved query; this engine cannot write through it.");
      }
      throw Error(Error::Kind::kNotSupported, "cannot run this saved query yet: " + name.source);
    }
  }
  MissingTable(name);
}

size_t ColumnIndex(const TableDef& table, const Name& name, std::string_view clause) {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (NamesEqual(table.columns[i].name, name.text)) return i;
  }
  throw Error(Error::Kind::kNotFound, "Unknown column '" + name.source + "' in " +
                                          std::string(clause) + " (table '" + Utf8(table.name) +
                                          "').");
}

namespace {

// Orders a stored text against a folded literal without copying the text.
int CompareText(std::u16string_view stored, std::u16string_view folded) {
  const size_t n = std::min(stored.size(), folded.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = FoldCase(stored[i]);
    if (c != folded[i]) return c < folded[i] ? -1 : 1;
  }
  return stored.size() == folded.size() ? 0 : (stored.size() < folded.size() ? -1 : 1);
}

bool Satisfies(CompareOp op, const Value& value, const Key& literal) {
  if (op == CompareOp::kIsNull) return value.is_null();
  if (op == CompareOp::kIsNotNull) return !value.is_null();
  if (value.is_null() || literal.kind == Key::Kind::kNull) return false;
  const int order = literal.kind == Key::Kind::kText && value.is<std::u16string>()
                        ? CompareText(value.as<std::u16string>(), literal.text)
                        : CompareKeys(KeyOf(value), literal);
  switch (op) {
    case CompareOp::kEqual:
      return order == 0;
    case CompareOp::kNotEqual:
      return order != 0;
    case CompareOp::kLess:
      return order < 0;
    case CompareOp::kLessEqual:
      return order <= 0;
    case CompareOp::kGreater:
      return order > 0;
    case CompareOp::kGreaterEqual:
      return order >= 0;
    default:
      return false;
  }
}

// A compiled WHERE condition: which column, how, against which key.
struct Filter {
  size_t column = 0;
  CompareOp op = CompareOp::kEqual;
  Key literal;
};

Filter CompileFilter(const TableDef& table, const Condition& condition) {
  Filter filter;
  filter.column = ColumnIndex(table, condition.column, "WHERE clause");
  filter.op = condition.op;
  if (condition.op == CompareOp::kIsNull || condition.op == CompareOp::kIsNotNull) return filter;
  const Column& column = table.columns[filter.column];
  if (!LiteralKey(condition.literal.value, CategoryOf(column.type), filter.literal)) {
    throw Error(Error::Kind::kInvalidArgument,
                "Data type mismatch in criteria expression. The value " + condition.literal.source +
                    " cannot be compared with column '" + Utf8(column.name) + "'.");
  }
  return filter;
}

struct SortColumn {
  size_t column = 0;
  bool ascending = true;
};

std::vector<SortColumn> CompileOrder(const TableDef& table, const std::vector<OrderTerm>& terms) {
  std::vector<SortColumn> columns;
  for (const OrderTerm& term : terms) {
    const size_t index = ColumnIndex(table, term.column, "ORDER BY clause");
    if (table.columns[index].type == ColumnType::kOle) {
      throw Error(Error::Kind::kInvalidArgument,
                  "Cannot sort on OLE Object column '" + term.column.source + "'.");
    }
    columns.push_back(SortColumn{index, term.ascending});
  }
  return columns;
}

// Sorts `result` stably, NULLs first ascending and last descending.
void SortRows(const std::vector<SortColumn>& columns, ResultSet& result) {
  std::vector<SortKeys> keys;
  keys.reserve(columns.size());
  for (const SortColumn& column : columns) keys.emplace_back(result.rows, column.column);
  std::vector<size_t> order(result.rows.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    for (size_t c = 0; c < columns.size(); ++c) {
      const int cmp = keys[c].Compare(a, b);
      if (cmp != 0) return columns[c].ascending ? cmp < 0 : cmp > 0;
    }
    return false;
  });
  std::vector<std::vector<Value>> rows;
  std::vector<RowId> ids;
  rows.reserve(order.size());
  ids.reserve(order.size());
  for (size_t i : order) {
    rows.push_back(std::move(result.rows[i]));
    ids.push_back(result.row_ids[i]);
  }
  result.rows = std::move(rows);
  result.row_ids = std::move(ids);
}

void Project(const TableDef& table, const std::vector<size_t>& picks, ResultSet& result) {
  std::vector<Column> columns;
  for (size_t i : picks) columns.push_back(table.columns[i]);
  for (auto& row : result.rows) {
    std::vector<Value> projected;
    projected.reserve(picks.size());
    for (size_t i : picks) projected.push_back(row[i]);
    row = std::move(projected);
  }
  result.columns = std::move(columns);
}
}  // namespace

ResultSet RunSelect(const Database& db, const SelectStatement& select) {
  const TableDef table = ResolveTable(db, select.table, Use::kRead);
  std::vector<Filter> filters;
  for (const Condition& condition : select.where)
    filters.push_back(CompileFilter(table, condition));
  const std::vector<SortColumn> order = CompileOrder(table, select.order_by);
  std::vector<size_t> picks;
  for (const Name& name : select.columns) picks.push_back(ColumnIndex(table, name, "SELECT list"));
  ResultSet result;
  result.table = table.name;
  result.columns = table.columns;
  db.Scan(table, [&](RowId id, std::vector<Value>& values) {
    for (const Filter& filter : filters) {
      if (filter.column >= values.size() ||
          !Satisfies(filter.op, values[filter.column], filter.literal)) {
        return true;
      }
    }
    result.row_ids.push_back(id);
    result.rows.push_back(std::move(values));
    return true;
  });
  if (!order.empty()) SortRows(order, result);
  if (!picks.empty()) Project(table, picks, result);
  return result;
}
}  // namespace jet::sql
