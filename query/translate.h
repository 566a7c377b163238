#pragma once

// Translation of Access SQL into the SQL of the SQLite executor. The statement is cut into tokens
// and its expressions are parsed with Access's operator precedence, so operators whose meaning
// differs (& with NULL, \, Mod, ^, Like patterns, True = -1, #dates#) become the executor's
// functions; names keep their case and are quoted; Access functions map to functions registered
// by the engine.

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace query {

// Thrown when a statement uses a parameter that has no value.
inline constexpr const char* kNoValueMessage =
    "No value given for one or more required parameters.";

struct TranslateOptions {
  // Parameter values by name (lower case), each already an SQLite literal ("'text'", "12").
  std::map<std::string, std::string> params;
  // Every column name of the database (lower case): a bare name that is a column is never a
  // parameter.
  std::set<std::string> columns;
  // Top-level SELECT only: TOP n is not applied but reported, with the ORDER BY expressions added
  // as trailing result columns so the caller can keep the ties.
  bool defer_top = false;
  // Top-level SELECT only: adds the rowid of this table (or alias) as a trailing result column,
  // so edits of the rows can be written back.
  std::string rowid_table;
  // For a view of an exported SQLite database, which has neither the engine's functions nor its
  // value forms: dates are ISO 8601 text, Yes/No is 0/1, text compares ignoring ASCII case. Only
  // SQLite's own functions are used; whatever has no exact equivalent there throws
  // kNotSupported naming it.
  bool portable = false;
};

enum class StatementKind { kSelect, kInsert, kUpdate, kDelete, kSelectInto, kCrosstab, kOther };

// A crosstab (TRANSFORM ... PIVOT) has one column per pivot value, so its columns depend on the
// data: it runs in two steps. `headings` lists the pivot values, one row each in column order
// (the distinct values of the rows that pass WHERE, ascending, or the values of PIVOT ... IN);
// CrosstabSql then makes the grouped SELECT with one cell column per value.
struct Crosstab {
  std::string headings;           // SQLite query of the pivot values (one column)
  std::string select;             // SELECT and the row headings and row summaries
  std::string rows;               // FROM and WHERE
  std::string groups;             // GROUP BY, HAVING, ORDER BY
  std::string pivot;              // the pivot expression
  std::vector<std::string> cell;  // the cell expression, cut where a column's row test goes
};

// The SELECT of `crosstab` with a column per pivot value: `values` are SQLite literals,
// `names` the column names.
std::string CrosstabSql(const Crosstab& crosstab, const std::vector<std::string>& values,
                        const std::vector<std::string>& names);

struct Translation {
  StatementKind kind = StatementKind::kOther;
  std::string sql;     // for SQLite
  std::string target;  // INSERT/UPDATE/DELETE/SELECT INTO: the table written
  long long top = -1;  // deferred TOP n (-1: none)
  bool top_percent = false;
  int hidden_columns = 0;  // trailing columns added: the rowid, then the deferred TOP keys
  bool has_rowid = false;  // the first hidden column is the rowid
  std::vector<std::string> declared_params;  // PARAMETERS names (lower case)
  Crosstab crosstab;                         // kCrosstab: its parts (`sql` stays empty)
};

// Translates one Access statement. Throws jet::Error kInvalidArgument on a syntax error and
// with kNoValueMessage when a declared or `!`-qualified parameter has no value.
Translation Translate(std::string_view access_sql, const TranslateOptions& options);

// Access's date literal rules: "m/d/yyyy", "yyyy-mm-dd", month names, an optional time with
// AM/PM; two-digit years 00-29 are 2000-2029, 30-99 are 1930-1999. Returns the Jet day number.
bool ParseAccessDate(std::string_view text, double* days);

// `s` with ASCII letters in lower case: the form of names and parameter keys in lookups.
std::string AsciiLower(std::string_view s);

// An SQLite string literal for `s`.
std::string SqlQuote(std::string_view s);
// An SQLite quoted identifier for `name`.
std::string QuoteIdent(std::string_view name);

}  // namespace query
