#include "query/engine.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <set>
#include <variant>

#include "jet/value_text.h"
#include "query/functions.h"
#include "query/saved_query.h"
#include "query/translate.h"
#include "query/vtab.h"

namespace query {
namespace {

// Whether `sql` is a schema statement (CREATE, DROP, ALTER), which the Jet engine's own SQL runs:
// SQLite only sees the tables as virtual tables and cannot change them.
bool IsSchemaStatement(std::string_view sql) {
  size_t i = 0;
  while (i < sql.size() && (std::isspace(static_cast<unsigned char>(sql[i])) || sql[i] == '(')) ++i;
  size_t j = i;
  while (j < sql.size() && std::isalpha(static_cast<unsigned char>(sql[j]))) ++j;
  const std::string word = AsciiLower(sql.substr(i, j - i));
  return word == "create" || word == "drop" || word == "alter";
}

// A parameter value as an SQLite literal: numbers stay numbers, #dates# become dates, the rest
// is text.
std::string ParamLiteral(const std::string& value) {
  if (value.size() >= 2 && value.front() == '#' && value.back() == '#') {
    double days = 0;
    if (ParseAccessDate(value.substr(1, value.size() - 2), &days)) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "acc_cdate(%.17g)", days);
      return buf;
    }
  }
  if (!value.empty()) {
    char* end = nullptr;
    std::strtod(value.c_str(), &end);
    const bool numeric = end && *end == '\0' && value.find_first_of("xXnN") == std::string::npos &&
                         !std::isspace(static_cast<unsigned char>(value[0]));
    if (numeric) return value;
  }
  return SqlQuote(value);
}

struct Statement {
  sqlite3_stmt* stmt = nullptr;
  ~Statement() { sqlite3_finalize(stmt); }
};

// Column types of a result: the declared type of a plain column, else the kind of value.
jet::ColumnType TypeOfValue(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: {
      const int64_t i = sqlite3_value_int64(v);
      return i >= INT32_MIN && i <= INT32_MAX ? jet::ColumnType::kLong : jet::ColumnType::kDouble;
    }
    case SQLITE_FLOAT:
      return sqlite3_value_subtype(v) == kDateSubtype ? jet::ColumnType::kDateTime
                                                      : jet::ColumnType::kDouble;
    case SQLITE_BLOB:
      return jet::ColumnType::kBinary;
    default:
      return jet::ColumnType::kText;
  }
}

jet::Value ResultValue(sqlite3_value* v, jet::ColumnType type) {
  if (sqlite3_value_type(v) == SQLITE_NULL) return {};
  jet::Column column;
  column.type = type;
  column.name = u"result";
  column.scale = 0;
  switch (type) {
    case jet::ColumnType::kLong:
      if (sqlite3_value_type(v) == SQLITE_INTEGER) {
        const int64_t i = sqlite3_value_int64(v);
        if (i >= INT32_MIN && i <= INT32_MAX) return static_cast<int32_t>(i);
        return static_cast<double>(i);
      }
      if (sqlite3_value_type(v) == SQLITE_FLOAT) return sqlite3_value_double(v);
      break;
    case jet::ColumnType::kDouble:
      if (sqlite3_value_type(v) == SQLITE_INTEGER || sqlite3_value_type(v) == SQLITE_FLOAT) {
        return sqlite3_value_double(v);
      }
      break;
    case jet::ColumnType::kNumeric: {
      // Keep the digits SQLite holds; scale from the text.
      const std::string text =
          sqlite3_value_type(v) == SQLITE_INTEGER ? std::to_string(sqlite3_value_int64(v)) : [&] {
            char buf[40];
            std::snprintf(buf, sizeof buf, "%.15g", sqlite3_value_double(v));
            return std::string(buf);
          }();
      const size_t dot = text.find('.');
      column.scale = static_cast<uint8_t>(
          dot == std::string::npos || text.find('e') != std::string::npos ? 0
                                                                          : text.size() - dot - 1);
      try {
        return ToEngineValue(v, column, jet::Format::kJet4);
      } catch (const jet::Error&) {
        return sqlite3_value_double(v);
      }
    }
    default:
      break;
  }
  try {
    return ToEngineValue(v, column, jet::Format::kJet4);
  } catch (const jet::Error&) {
    // A value of another kind in this column (an expression mixing types): keep it as it is.
    switch (sqlite3_value_type(v)) {
      case SQLITE_INTEGER:
        return static_cast<double>(sqlite3_value_int64(v));
      case SQLITE_FLOAT:
        return sqlite3_value_double(v);
      default: {
        const unsigned char* p = sqlite3_value_text(v);
        return jet::FromUtf8(p ? reinterpret_cast<const char*>(p) : "");
      }
    }
  }
}

// An SQLite literal of the value `v` holds.
std::string SqlLiteral(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
      return std::to_string(sqlite3_value_int64(v));
    case SQLITE_FLOAT: {
      const double d = sqlite3_value_double(v);
      if (std::isnan(d)) return "NULL";
      if (std::isinf(d)) return d > 0 ? "9e999" : "-9e999";
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.17g", d);
      return buf;
    }
    case SQLITE_TEXT:
      return SqlQuote(std::string_view(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                       static_cast<size_t>(sqlite3_value_bytes(v))));
    case SQLITE_BLOB: {
      const auto* p = static_cast<const uint8_t*>(sqlite3_value_blob(v));
      return "X'" + jet::FormatHex(jet::Bytes(p, p + sqlite3_value_bytes(v))) + "'";
    }
    default:
      return "NULL";
  }
}

// A pivot value as the name of its crosstab column: text as it is, numbers as Access prints
// them (no ".0" on a whole number), dates as the output writes them, Yes/No as True/False, and
// Null as "<>".
std::string PivotName(sqlite3_value* v, jet::ColumnType type) {
  if (sqlite3_value_type(v) == SQLITE_NULL) return "<>";
  return std::visit(
      [](const auto& x) -> std::string {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return "<>";
        } else if constexpr (std::is_same_v<T, bool>) {
          return x ? "True" : "False";
        } else if constexpr (std::is_same_v<T, float>) {
          return jet::FormatFloat(x);
        } else if constexpr (std::is_same_v<T, double>) {
          return jet::FormatDouble(x);
        } else if constexpr (std::is_integral_v<T>) {
          return std::to_string(x);
        } else if constexpr (std::is_same_v<T, jet::Currency>) {
          std::string text = jet::FormatMoney(x.units);
          while (text.back() == '0') text.pop_back();
          if (text.back() == '.') text.pop_back();
          return text;
        } else if constexpr (std::is_same_v<T, jet::DateTime>) {
          return jet::FormatDateTime(x.days);
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          return jet::ToUtf8(x);
        } else if constexpr (std::is_same_v<T, jet::Bytes>) {
          return jet::FormatHex(x);
        } else {
          return x.ToString();  // Decimal, GUID
        }
      },
      ResultValue(v, type).storage());
}

bool SameKeys(const std::vector<jet::Value>& a, const std::vector<jet::Value>& b, size_t from) {
  for (size_t i = from; i < a.size(); ++i) {
    if (a[i].is<std::u16string>() && b[i].is<std::u16string>()) {
      if (CompareAccessText(jet::ToUtf8(a[i].as<std::u16string>()),
                            jet::ToUtf8(b[i].as<std::u16string>())) != 0) {
        return false;
      }
    } else if (!(a[i] == b[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

Engine::Engine(jet::Database& db) : db_(db), context_(std::make_unique<JetModuleContext>()) {
  context_->db = &db_;
  if (sqlite3_open_v2(":memory:", &sqlite_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(sqlite_);
    throw jet::Error(jet::Error::Kind::kIo, "cannot start the query engine");
  }
  // A double-quoted name that matches nothing must stay an error, never become a string.
  sqlite3_db_config(sqlite_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(sqlite_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  try {
    RegisterAccessFunctions(sqlite_);
    RegisterJetModule(sqlite_, context_.get());
    AttachTables();
  } catch (...) {
    sqlite3_close(sqlite_);
    throw;
  }
}

Engine::~Engine() { sqlite3_close(sqlite_); }

void Engine::AttachTables() {
  for (const jet::TableListEntry& t : db_.ListTables()) {
    if (t.type != "TABLE") continue;
    const std::string name = jet::ToUtf8(t.name);
    if (table_names_.count(AsciiLower(name))) continue;
    const std::string sql =
        "CREATE VIRTUAL TABLE " + QuoteIdent(name) + " USING jet(" + SqlQuote(name) + ")";
    char* err = nullptr;
    if (sqlite3_exec(sqlite_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      const std::string message = err ? err : "unknown error";
      sqlite3_free(err);
      throw jet::Error(jet::Error::Kind::kCorrupt, "table '" + name + "': " + message);
    }
    table_names_[AsciiLower(name)] = name;
  }
}

bool Engine::CrosstabSelect(const Crosstab& crosstab, std::string* sql, std::string* error) {
  Statement st;
  if (sqlite3_prepare_v2(sqlite_, crosstab.headings.c_str(), -1, &st.stmt, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(sqlite_);
    return false;
  }
  jet::ColumnType declared = jet::ColumnType::kText;
  const bool typed = ColumnTypeFromDeclared(sqlite3_column_decltype(st.stmt, 0), &declared);
  std::vector<std::string> values, names;
  int rc;
  while ((rc = sqlite3_step(st.stmt)) == SQLITE_ROW) {
    sqlite3_value* v = sqlite3_column_value(st.stmt, 0);
    values.push_back(SqlLiteral(v));
    names.push_back(PivotName(v, typed ? declared : TypeOfValue(v)));
  }
  if (rc != SQLITE_DONE) {
    *error = sqlite3_errmsg(sqlite_);
    return false;
  }
  *sql = CrosstabSql(crosstab, values, names);
  return true;
}

void Engine::RefreshViews(const Params& params, std::string_view statement) {
  for (auto v = views_.rbegin(); v != views_.rend(); ++v) {
    sqlite3_exec(sqlite_, ("DROP VIEW IF EXISTS " + QuoteIdent(*v)).c_str(), nullptr, nullptr,
                 nullptr);
  }
  views_.clear();
  view_errors_.clear();
  TranslateOptions options;
  for (const auto& [name, value] : params) options.params[AsciiLower(name)] = ParamLiteral(value);
  struct Pending {
    std::string name;
    Translation translation;
  };
  std::vector<SavedQuery> queries = ReadSavedQueries(db_);
  std::erase_if(queries, [](const SavedQuery& q) {
    return q.type != QueryType::kSelect && q.type != QueryType::kUnion &&
           q.type != QueryType::kCrosstab;
  });
  // Finding a crosstab's columns reads its data, so only the crosstabs the statement can reach
  // become views: named in it, or in a saved query it reaches (a loose text match, which at
  // worst reads a crosstab for nothing).
  std::vector<std::string> texts;
  std::string reached = AsciiLower(statement);
  std::vector<bool> wanted(queries.size(), false);
  for (const SavedQuery& q : queries) texts.push_back(jet::ToUtf8(q.Sql()));
  for (bool grew = true; grew;) {
    grew = false;
    for (size_t i = 0; i < queries.size(); ++i) {
      if (wanted[i] || reached.find(AsciiLower(jet::ToUtf8(queries[i].name))) == std::string::npos)
        continue;
      wanted[i] = true;
      reached += " " + AsciiLower(texts[i]);
      grew = true;
    }
  }
  std::vector<Pending> pending;
  for (size_t i = 0; i < queries.size(); ++i) {
    if (queries[i].type == QueryType::kCrosstab && !wanted[i]) continue;
    const std::string name = jet::ToUtf8(queries[i].name);
    try {
      Translation t = Translate(texts[i], options);
      if (t.kind == StatementKind::kSelect || t.kind == StatementKind::kCrosstab)
        pending.push_back({name, std::move(t)});
    } catch (const jet::Error& e) {
      view_errors_[AsciiLower(name)] = e.what();
    }
  }
  // Queries built on other queries: create what can be created until nothing more can.
  for (bool progress = true; progress && !pending.empty();) {
    progress = false;
    for (auto it = pending.begin(); it != pending.end();) {
      const std::string key = AsciiLower(it->name);
      std::string select = it->translation.sql, error;
      if (it->translation.kind == StatementKind::kCrosstab &&
          !CrosstabSelect(it->translation.crosstab, &select, &error)) {
        view_errors_[key] = error;
        ++it;
        continue;
      }
      Statement st;
      if (sqlite3_prepare_v2(sqlite_, select.c_str(), -1, &st.stmt, nullptr) != SQLITE_OK) {
        view_errors_[key] = sqlite3_errmsg(sqlite_);
        ++it;
        continue;
      }
      const std::vector<std::string> names = ResultColumnNames(st.stmt);
      std::string list;
      for (size_t i = 0; i < names.size(); ++i) list += (i ? ", " : "") + QuoteIdent(names[i]);
      const std::string sql = "CREATE VIEW " + QuoteIdent(it->name) + "(" + list + ") AS " + select;
      if (sqlite3_exec(sqlite_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        view_errors_[key] = sqlite3_errmsg(sqlite_);
        ++it;
        continue;
      }
      view_errors_.erase(key);
      views_.push_back(it->name);
      it = pending.erase(it);
      progress = true;
    }
  }
}

void Engine::Fail(const std::string& message, std::string_view statement) {
  using Kind = jet::Error::Kind;
  if (message.rfind("no such column", 0) == 0)
    throw jet::Error(Kind::kInvalidArgument, kNoValueMessage);
  if (message.rfind("no such table: ", 0) == 0) {
    std::string name = message.substr(15);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name = name.substr(dot + 1);
    const auto why = view_errors_.find(AsciiLower(name));
    if (why != view_errors_.end()) throw jet::Error(Kind::kInvalidArgument, why->second);
    throw jet::Error(Kind::kNotFound,
                     "The database engine cannot find the input table or query '" + name +
                         "'. Make sure it exists and that its name is spelled correctly.");
  }
  (void)statement;
  throw jet::Error(Kind::kInvalidArgument, message);
}

std::string Engine::TranslateForTest(std::string_view access_sql, const Params& params) {
  TranslateOptions options;
  for (const auto& [name, value] : params) options.params[AsciiLower(name)] = ParamLiteral(value);
  options.defer_top = true;
  return Translate(access_sql, options).sql;
}

jet::ExecResult Engine::Execute(std::string_view access_sql, const Params& params) {
  return Execute(access_sql, params, std::string());
}

jet::ExecResult Engine::Execute(std::string_view access_sql, const Params& params,
                                const std::string& rowid_table) {
  if (IsSchemaStatement(access_sql)) {
    // A virtual table's columns are declared when it is attached, so after a schema change
    // every table is attached again from the new catalog (dropped ones are gone).
    jet::ExecResult r = db_.Execute(access_sql);
    for (const auto& [lower, name] : table_names_) {
      sqlite3_exec(sqlite_, ("DROP TABLE IF EXISTS " + QuoteIdent(name)).c_str(), nullptr,
                   nullptr, nullptr);
    }
    table_names_.clear();
    AttachTables();
    return r;
  }
  ++context_->statement;  // tables read the file again: it may have changed since
  RefreshViews(params, access_sql);
  TranslateOptions options;
  for (const auto& [name, value] : params) options.params[AsciiLower(name)] = ParamLiteral(value);
  for (const jet::TableListEntry& t : db_.ListTables()) {
    if (t.type != "TABLE") continue;
    for (const jet::Column& c : db_.GetTable(t.name).columns) {
      options.columns.insert(AsciiLower(jet::ToUtf8(c.name)));
    }
  }
  options.defer_top = true;
  options.rowid_table = rowid_table;
  Translation tr = Translate(access_sql, options);
  if (tr.kind == StatementKind::kCrosstab) {
    std::string error;
    if (!CrosstabSelect(tr.crosstab, &tr.sql, &error)) Fail(error, tr.crosstab.headings);
  }

  Statement st;
  if (sqlite3_prepare_v2(sqlite_, tr.sql.c_str(), -1, &st.stmt, nullptr) != SQLITE_OK) {
    Fail(sqlite3_errmsg(sqlite_), tr.sql);
  }
  jet::ExecResult result;
  if (tr.kind == StatementKind::kInsert || tr.kind == StatementKind::kUpdate ||
      tr.kind == StatementKind::kDelete) {
    const int rc = sqlite3_step(st.stmt);
    if (rc != SQLITE_DONE) Fail(sqlite3_errmsg(sqlite_), tr.sql);
    result.affected = sqlite3_changes64(sqlite_);
    return result;
  }

  // SELECT (and the rows of SELECT ... INTO).
  const int ncols = sqlite3_column_count(st.stmt);
  const int shown = ncols - tr.hidden_columns;
  const int keys_from = shown + (tr.has_rowid ? 1 : 0);
  jet::ResultSet rs;
  std::vector<bool> typed(ncols, false);
  std::vector<jet::ColumnType> types(ncols, jet::ColumnType::kText);
  const std::vector<std::string> names = ResultColumnNames(st.stmt);
  for (int i = 0; i < ncols; ++i) {
    jet::Column c;
    c.name = jet::FromUtf8(names[i]);
    typed[i] = ColumnTypeFromDeclared(sqlite3_column_decltype(st.stmt, i), &types[i]);
    rs.columns.push_back(c);
  }
  std::vector<std::vector<sqlite3_value*>> raw;
  int rc;
  while ((rc = sqlite3_step(st.stmt)) == SQLITE_ROW) {
    std::vector<sqlite3_value*> row(ncols);
    for (int i = 0; i < ncols; ++i) {
      sqlite3_value* v = sqlite3_column_value(st.stmt, i);
      if (!typed[i] && sqlite3_value_type(v) != SQLITE_NULL) {
        types[i] = TypeOfValue(v);
        typed[i] = true;
      } else if (typed[i] && types[i] == jet::ColumnType::kLong &&
                 sqlite3_value_type(v) == SQLITE_FLOAT && !sqlite3_column_decltype(st.stmt, i)) {
        types[i] = jet::ColumnType::kDouble;
      }
      row[i] = sqlite3_value_dup(v);
    }
    raw.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) {
    for (auto& row : raw) {
      for (sqlite3_value* v : row) sqlite3_value_free(v);
    }
    Fail(sqlite3_errmsg(sqlite_), tr.sql);
  }
  for (int i = 0; i < ncols; ++i) rs.columns[i].type = types[i];
  for (auto& row : raw) {
    std::vector<jet::Value> values;
    values.reserve(ncols);
    for (int i = 0; i < ncols; ++i) {
      values.push_back(ResultValue(row[i], types[i]));
      sqlite3_value_free(row[i]);
    }
    rs.rows.push_back(std::move(values));
  }
  // TOP n keeps the rows that tie with the n-th on the ORDER BY keys.
  if (tr.top >= 0) {
    size_t n = static_cast<size_t>(tr.top);
    if (tr.top_percent) {
      n = static_cast<size_t>(std::ceil(static_cast<double>(rs.rows.size()) * tr.top / 100.0));
    }
    if (n < rs.rows.size()) {
      size_t end = n;
      if (n > 0 && tr.hidden_columns > 0) {
        while (end < rs.rows.size() && SameKeys(rs.rows[end], rs.rows[n - 1], keys_from)) ++end;
      }
      rs.rows.resize(end);
    }
  }
  if (tr.has_rowid) {
    for (const auto& row : rs.rows) {
      const jet::Value& id = row[static_cast<size_t>(shown)];
      const int64_t rowid = id.is<int32_t>()  ? id.as<int32_t>()
                            : id.is<double>() ? static_cast<int64_t>(id.as<double>())
                                              : 0;
      rs.row_ids.push_back(
          jet::RowId{static_cast<uint32_t>(rowid >> 8), static_cast<uint8_t>(rowid & 0xFF)});
    }
    rs.table = jet::FromUtf8(
        table_names_.count(AsciiLower(rowid_table)) ? table_names_[AsciiLower(rowid_table)] : rowid_table);
  }
  if (tr.hidden_columns > 0) {
    rs.columns.resize(shown);
    for (auto& row : rs.rows) row.resize(shown);
  }
  if (tr.kind == StatementKind::kSelectInto) {
    if (table_names_.count(AsciiLower(tr.target))) {
      throw jet::Error(jet::Error::Kind::kConstraint, "Table '" + tr.target + "' already exists.");
    }
    jet::TableSpec spec;
    spec.name = jet::FromUtf8(tr.target);
    std::set<std::string> seen;
    for (const jet::Column& c : rs.columns) {
      jet::ColumnSpec col;
      col.name = c.name;
      std::string key = AsciiLower(jet::ToUtf8(c.name));
      for (int k = 1; seen.count(key); ++k) {
        col.name = c.name + jet::FromUtf8(std::to_string(k));
        key = AsciiLower(jet::ToUtf8(col.name));
      }
      seen.insert(key);
      col.type = c.type;
      if (col.type == jet::ColumnType::kText) col.length = 255;
      if (col.type == jet::ColumnType::kNumeric) col.type = jet::ColumnType::kDouble;
      spec.columns.push_back(col);
    }
    db_.CreateTable(spec);
    for (const auto& row : rs.rows) {
      std::vector<jet::Value> values = row;
      for (size_t i = 0; i < values.size(); ++i) {
        if (values[i].is<std::u16string>() && values[i].as<std::u16string>().size() > 255) {
          throw jet::Error(
              jet::Error::Kind::kConstraint,
              "a text value longer than 255 characters cannot go into '" + tr.target + "'");
        }
      }
      db_.InsertRow(spec.name, values);
    }
    AttachTables();
    result.affected = static_cast<int64_t>(rs.rows.size());
    return result;
  }
  result.rows = std::move(rs);
  return result;
}

jet::ResultSet Engine::RunSavedQuery(std::u16string_view name, const Params& params) {
  std::string sql = "SELECT * FROM [" + jet::ToUtf8(name) + "]";
  jet::ExecResult r = Execute(sql, params);
  return std::move(*r.rows);
}

namespace {

// Why Access could not update the rows of `q`; empty when it could.
std::string NotUpdatableReason(const SavedQuery& q,
                               const std::map<std::string, std::string>& tables) {
  if (q.type != QueryType::kSelect) return "it is not a select query";
  int sources = 0, joins = 0, groups = 0, options = 0;
  std::string source;
  bool subquery = false;
  std::string columns;
  for (const QueryRow& r : q.rows) {
    switch (r.attribute) {
      case 5:
        ++sources;
        source = jet::ToUtf8(r.name1);
        if (r.expression && !r.expression->empty()) subquery = true;
        break;
      case 7:
        ++joins;
        break;
      case 9:
        ++groups;
        break;
      case 3:
        options = r.flag.value_or(0);
        break;
      case 6:
        if (r.expression) columns += AsciiLower(jet::ToUtf8(*r.expression)) + " ";
        break;
      default:
        break;
    }
  }
  if (sources != 1 || joins > 0) return "it draws on more than one table";
  if (subquery) return "it reads a sub-query";
  if (!tables.count(AsciiLower(source))) return "it is built on another query";
  if (groups > 0) return "it groups its rows";
  if (options & 0x02) return "it uses DISTINCT";
  for (const char* f :
       {"count(", "sum(", "avg(", "min(", "max(", "first(", "last(", "stdev", "var("}) {
    if (columns.find(f) != std::string::npos) return "it computes totals";
  }
  return {};
}

}  // namespace

jet::ResultSet Engine::OpenSavedQuery(std::u16string_view name, std::string* read_only_reason,
                                      const Params& params) {
  const std::optional<SavedQuery> q = FindSavedQuery(db_, name);
  if (!q) {
    throw jet::Error(jet::Error::Kind::kNotFound,
                     "no saved query named '" + jet::ToUtf8(name) + "'");
  }
  const std::string reason = NotUpdatableReason(*q, table_names_);
  if (!reason.empty() || db_.read_only()) {
    if (read_only_reason) {
      *read_only_reason = reason.empty() ? ""
                                         : "This Recordset is not updateable: the query '" +
                                               jet::ToUtf8(q->name) + "' " + reason + ".";
    }
    return RunSavedQuery(q->name, params);
  }
  std::string table;
  for (const QueryRow& r : q->rows) {
    if (r.attribute == 5) table = jet::ToUtf8(r.name2.empty() ? r.name1 : r.name2);
  }
  jet::ExecResult r = Execute(jet::ToUtf8(q->Sql()), params, table);
  jet::ResultSet rs = std::move(*r.rows);
  for (const QueryRow& row : q->rows) {
    if (row.attribute == 5) rs.table = row.name1;
  }
  return rs;
}

std::vector<std::string> ResultColumnNames(sqlite3_stmt* st) {
  const int n = sqlite3_column_count(st);
  std::map<std::string, int> count;
  for (int i = 0; i < n; ++i) ++count[AsciiLower(sqlite3_column_name(st, i))];
  std::vector<std::string> names;
  std::set<std::string> used;
  for (int i = 0; i < n; ++i) {
    std::string name = sqlite3_column_name(st, i);
    const char* table = sqlite3_column_table_name(st, i);
    if (count[AsciiLower(name)] > 1 && table) name = std::string(table) + "." + name;
    std::string unique = name;
    for (int k = 1; used.count(AsciiLower(unique)); ++k) unique = name + std::to_string(k);
    used.insert(AsciiLower(unique));
    names.push_back(unique);
  }
  return names;
}

}  // namespace query
