// SELECT: scan, filter, sort, project.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>

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

// A compiled comparison: which column, how, against which key.
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

// Three-valued logic: a comparison with Null is unknown, NOT unknown stays unknown, and a row
// is kept only when the whole condition is true.
enum class Truth { kFalse, kTrue, kUnknown };
using TruthFn = std::function<Truth(const std::vector<Value>&)>;

TruthFn CompilePredicate(const TableDef& table, const Predicate& predicate) {
  if (predicate.kind == Predicate::Kind::kCompare) {
    Filter filter = CompileFilter(table, predicate.condition);
    return [filter](const std::vector<Value>& values) {
      if (filter.column >= values.size()) return Truth::kUnknown;
      const Value& v = values[filter.column];
      const bool null_test = filter.op == CompareOp::kIsNull || filter.op == CompareOp::kIsNotNull;
      if (!null_test && (v.is_null() || filter.literal.kind == Key::Kind::kNull)) {
        return Truth::kUnknown;
      }
      return Satisfies(filter.op, v, filter.literal) ? Truth::kTrue : Truth::kFalse;
    };
  }
  std::vector<TruthFn> operands;
  for (const Predicate& p : predicate.operands) operands.push_back(CompilePredicate(table, p));
  if (predicate.kind == Predicate::Kind::kNot) {
    return [inner = std::move(operands[0])](const std::vector<Value>& values) {
      const Truth t = inner(values);
      return t == Truth::kUnknown ? t : (t == Truth::kTrue ? Truth::kFalse : Truth::kTrue);
    };
  }
  // AND: false wins, then unknown; OR: true wins, then unknown.
  const Truth decisive = predicate.kind == Predicate::Kind::kAnd ? Truth::kFalse : Truth::kTrue;
  const Truth otherwise = decisive == Truth::kFalse ? Truth::kTrue : Truth::kFalse;
  return [operands = std::move(operands), decisive, otherwise](const std::vector<Value>& values) {
    Truth result = otherwise;
    for (const TruthFn& o : operands) {
      const Truth t = o(values);
      if (t == decisive) return t;
      if (t == Truth::kUnknown) result = t;
    }
    return result;
  };
}

// Sorts `result` stably, NULLs first ascending and last descending.
void SortRows(const std::vector<SortColumn>& columns, ResultSet& result) {
  std::vector<SortKeys> keys;
  keys.reserve(columns.size());
  for (const SortColumn& column : columns) keys.emplace_back(result.rows, column.column);
  const std::vector<size_t> order = SortedPositions(result.rows.size(), keys, columns);
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

// `literal` as a value of the whole-number column `column`, when it is a whole number that the
// column can hold (number text too, as the comparison reads it).
std::optional<Value> WholeNumberFor(const Column& column, const Value& literal) {
  std::optional<Value> number = literal;
  if (literal.is<std::u16string>()) number = ParseNumberText(literal.as<std::u16string>());
  if (!number) return std::nullopt;
  int64_t n = 0;
  if (number->is<int32_t>()) {
    n = number->as<int32_t>();
  } else if (number->is<int64_t>()) {
    n = number->as<int64_t>();
  } else {
    return std::nullopt;
  }
  switch (column.type) {
    case ColumnType::kByte:
      if (n < 0 || n > 255) return std::nullopt;
      return Value(static_cast<uint8_t>(n));
    case ColumnType::kInt:
      if (n < INT16_MIN || n > INT16_MAX) return std::nullopt;
      return Value(static_cast<int16_t>(n));
    case ColumnType::kLong:
      if (n < INT32_MIN || n > INT32_MAX) return std::nullopt;
      return Value(static_cast<int32_t>(n));
    default:
      return std::nullopt;
  }
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

std::optional<std::vector<RowId>> SeekCandidates(const Database& db, const TableDef& table,
                                                 const std::optional<Predicate>& where) {
  if (!where) return std::nullopt;
  std::vector<const Predicate*> terms{&*where};
  if (where->kind == Predicate::Kind::kAnd) {
    terms.clear();
    for (const Predicate& p : where->operands) terms.push_back(&p);
  }
  for (const Predicate* p : terms) {
    if (p->kind != Predicate::Kind::kCompare || p->condition.op != CompareOp::kEqual) continue;
    const Column& column = table.columns[ColumnIndex(table, p->condition.column, "WHERE clause")];
    const std::optional<Value> key = WholeNumberFor(column, p->condition.literal.value);
    if (!key) continue;
    for (const Index& index : table.indexes) {
      if (index.columns.size() != 1 || index.columns[0].column_number != column.number) continue;
      std::optional<std::vector<RowId>> ids = db.SeekIndex(table, index, {*key});
      if (!ids) continue;
      std::sort(ids->begin(), ids->end(), [](RowId a, RowId b) {
        return a.page != b.page ? a.page < b.page : a.row < b.row;
      });
      return ids;
    }
  }
  return std::nullopt;
}

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

RowPredicate CompileWhere(const TableDef& table, const std::optional<Predicate>& where) {
  if (!where) return [](const std::vector<Value>&) { return true; };
  TruthFn truth = CompilePredicate(table, *where);
  return [truth = std::move(truth)](const std::vector<Value>& values) {
    return truth(values) == Truth::kTrue;
  };
}

ResultSet RunSelect(const Database& db, const SelectStatement& select) {
  const TableDef table = ResolveTable(db, select.table, Use::kRead);
  const RowPredicate keep = CompileWhere(table, select.where);
  const std::vector<SortColumn> order = CompileOrder(table, select.order_by);
  std::vector<size_t> picks;
  for (const Name& name : select.columns) picks.push_back(ColumnIndex(table, name, "SELECT list"));
  ResultSet result;
  result.table = table.name;
  result.columns = table.columns;
  auto take = [&](RowId id, std::vector<Value>& values) {
    if (!keep(values)) return true;
    result.row_ids.push_back(id);
    result.rows.push_back(std::move(values));
    return true;
  };
  if (const std::optional<std::vector<RowId>> ids = SeekCandidates(db, table, select.where)) {
    for (const RowId id : *ids) {
      std::vector<Value> values = db.ReadRow(table, id);
      take(id, values);
    }
  } else {
    db.Scan(table, take);
  }
  if (!order.empty()) SortRows(order, result);
  if (!picks.empty()) Project(table, picks, result);
  return result;
}
}  // namespace jet::sql
