#include "query/translate.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <initializer_list>

#include "jet/error.h"
#include "jet/value.h"
#include "jet/value_text.h"

namespace query {
namespace {

enum class Tok { kName, kBracket, kString, kNumber, kDate, kSymbol, kEnd };

struct Token {
  Tok kind = Tok::kEnd;
  std::string text;  // name without brackets, string without quotes, date without marks
  size_t offset = 0;
};

[[noreturn]] void Fail(const std::string& message) {
  throw jet::Error(jet::Error::Kind::kInvalidArgument, message);
}

bool NameChar(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < sql.size()) {
    const unsigned char c = sql[i];
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    Token t;
    t.offset = i;
    if (c == '[') {
      const size_t end = sql.find(']', i + 1);
      if (end == std::string_view::npos) Fail("Syntax error: unterminated [name]");
      t.kind = Tok::kBracket;
      t.text = std::string(sql.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (c == '"' || c == '\'') {
      t.kind = Tok::kString;
      size_t j = i + 1;
      for (;;) {
        if (j >= sql.size()) Fail("Syntax error: unterminated string");
        if (sql[j] == static_cast<char>(c)) {
          if (j + 1 < sql.size() && sql[j + 1] == static_cast<char>(c)) {
            t.text += static_cast<char>(c);
            j += 2;
            continue;
          }
          break;
        }
        t.text += sql[j++];
      }
      i = j + 1;
    } else if (c == '#') {
      const size_t end = sql.find('#', i + 1);
      if (end == std::string_view::npos) Fail("Syntax error in date: missing '#'");
      t.kind = Tok::kDate;
      t.text = std::string(sql.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (std::isdigit(c) || (c == '.' && i + 1 < sql.size() &&
                                   std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
      size_t j = i;
      while (j < sql.size() && (std::isdigit(static_cast<unsigned char>(sql[j])) || sql[j] == '.'))
        ++j;
      if (j < sql.size() && (sql[j] == 'e' || sql[j] == 'E')) {
        size_t k = j + 1;
        if (k < sql.size() && (sql[k] == '+' || sql[k] == '-')) ++k;
        if (k < sql.size() && std::isdigit(static_cast<unsigned char>(sql[k]))) {
          j = k;
          while (j < sql.size() && std::isdigit(static_cast<unsigned char>(sql[j]))) ++j;
        }
      }
      t.kind = Tok::kNumber;
      t.text = std::string(sql.substr(i, j - i));
      i = j;
    } else if (NameChar(c)) {
      size_t j = i;
      while (j < sql.size() && NameChar(static_cast<unsigned char>(sql[j]))) ++j;
      t.kind = Tok::kName;
      t.text = std::string(sql.substr(i, j - i));
      i = j;
    } else {
      t.kind = Tok::kSymbol;
      const std::string_view two = sql.substr(i, 2);
      if (two == "<=" || two == ">=" || two == "<>") {
        t.text = std::string(two);
        i += 2;
      } else if (std::string_view("(),;.!*/\\+-&^=<>").find(static_cast<char>(c)) !=
                 std::string_view::npos) {
        t.text = std::string(1, static_cast<char>(c));
        ++i;
      } else {
        Fail("Syntax error: unexpected character '" + std::string(1, static_cast<char>(c)) +
             "' at position " + std::to_string(i + 1));
      }
    }
    out.push_back(std::move(t));
  }
  Token end;
  end.offset = sql.size();
  out.push_back(end);
  return out;
}

// Words that end an expression or a select-list item.
bool IsClauseWord(const std::string& lower) {
  static const std::set<std::string> kWords = {
      "from",  "where", "group", "having", "order",  "union",   "into", "on",   "inner",
      "left",  "right", "join",  "as",     "set",    "values",  "asc",  "desc", "with",
      "pivot", "by",    "full",  "outer",  "select", "in",      "and",  "or",   "xor",
      "imp",   "eqv",   "not",   "like",   "is",     "between", "mod"};
  return kWords.count(lower) > 0;
}

struct FunctionMap {
  const char* access;
  const char* sqlite;
};

// Access functions that map one to one onto an executor function of the same arguments.
const FunctionMap kFunctions[] = {
    {"len", "length"},
    {"ucase", "upper"},
    {"lcase", "lower"},
    {"right", "acc_right"},
    {"instr", "acc_instr"},
    {"format", "acc_format"},
    {"year", "acc_year"},
    {"month", "acc_month"},
    {"day", "acc_day"},
    {"hour", "acc_hour"},
    {"minute", "acc_minute"},
    {"second", "acc_second"},
    {"weekday", "acc_weekday"},
    {"datepart", "acc_datepart"},
    {"dateadd", "acc_dateadd"},
    {"datediff", "acc_datediff"},
    {"dateserial", "acc_dateserial"},
    {"date", "acc_date"},
    {"now", "acc_now"},
    {"time", "acc_time"},
    {"ccur", "acc_ccur"},
    {"clng", "acc_clng"},
    {"cint", "acc_cint"},
    {"cbyte", "acc_cint"},
    {"cdbl", "acc_cdbl"},
    {"csng", "acc_cdbl"},
    {"cstr", "acc_cstr"},
    {"cdate", "acc_cdate"},
    {"datevalue", "acc_cdate"},
    {"cbool", "acc_cbool"},
    {"val", "acc_val"},
    {"int", "acc_int"},
    {"fix", "acc_fix"},
    {"round", "acc_round"},
    {"abs", "abs"},
    {"sgn", "acc_sgn"},
    {"sqr", "acc_sqr"},
    {"exp", "acc_exp"},
    {"log", "acc_log"},
    {"space", "acc_space"},
    {"replace", "replace"},
    {"chr", "char"},
    {"chrw", "char"},
    {"asc", "unicode"},
    {"ascw", "unicode"},
    {"count", "count"},
    {"sum", "acc_sum"},
    {"avg", "acc_avg"},
    {"min", "min"},
    {"max", "max"},
    {"first", "acc_first"},
    {"last", "acc_last"},
    {"stdev", "acc_stdev"},
    {"stdevp", "acc_stdevp"},
    {"var", "acc_var"},
    {"varp", "acc_varp"},
    {"strcomp", "acc_strcomp"},
    {"string", "acc_string"},
    {"monthname", "acc_monthname"},
};

// Stands in a crosstab cell's expression for the test of whether a row belongs to the cell's
// column; translated SQL has no control characters outside literals, where none is expected.
constexpr char kRowTest = '\x01';

// A crosstab's SELECT cut into the list and its clauses.
struct SelectParts {
  std::string rows;    // FROM and WHERE
  std::string groups;  // GROUP BY and HAVING
};

class Parser {
 public:
  Parser(std::vector<Token> tokens, const TranslateOptions& options)
      : t_(std::move(tokens)), options_(options) {}

  Translation Statement() {
    Translation out;
    if (Word("parameters")) Parameters(out);
    declared_ = &out.declared_params;
    if (PeekWord("select") || PeekSymbol("(")) {
      out.kind = StatementKind::kSelect;
      top_level_ = &out;
      out.sql = Compound(options_.defer_top);
      if (!into_.empty()) {
        out.kind = StatementKind::kSelectInto;
        out.target = into_;
      }
    } else if (Word("insert")) {
      out.kind = StatementKind::kInsert;
      out.sql = Insert(out);
    } else if (Word("update")) {
      out.kind = StatementKind::kUpdate;
      out.sql = Update(out);
    } else if (Word("delete")) {
      out.kind = StatementKind::kDelete;
      out.sql = Delete(out);
    } else if (Word("transform")) {
      Portable(false, "a crosstab (TRANSFORM ... PIVOT), whose columns depend on the data");
      out.kind = StatementKind::kCrosstab;
      Transform(out.crosstab);
    } else {
      Fail(
          "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or "
          "'UPDATE'.");
    }
    Symbol(";");
    if (Peek().kind != Tok::kEnd) Fail("Characters found after end of SQL statement.");
    return out;
  }

 private:
  const Token& Peek(size_t ahead = 0) const { return t_[std::min(pos_ + ahead, t_.size() - 1)]; }
  bool PeekWord(std::string_view w, size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == Tok::kName && AsciiLower(t.text) == w;
  }
  bool PeekSymbol(std::string_view s, size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == Tok::kSymbol && t.text == s;
  }
  bool Word(std::string_view w) {
    if (!PeekWord(w)) return false;
    ++pos_;
    return true;
  }
  bool Symbol(std::string_view s) {
    if (!PeekSymbol(s)) return false;
    ++pos_;
    return true;
  }
  // In portable mode: `what` has no exact SQLite equivalent.
  void Portable(bool ok, const std::string& what) const {
    if (options_.portable && !ok) {
      throw jet::Error(jet::Error::Kind::kNotSupported,
                       "uses " + what + ", which SQLite has no exact equivalent for");
    }
  }
  // Text comparisons in a portable translation ignore ASCII case, as Access's General order
  // ignores case (numbers are unaffected by a collation).
  std::string Nocase() const { return options_.portable ? " COLLATE NOCASE" : ""; }

  [[noreturn]] void Error(const std::string& expected) const {
    const Token& t = Peek();
    Fail("Syntax error in query expression near " +
         (t.kind == Tok::kEnd ? std::string("the end") : "'" + t.text + "'") + " (position " +
         std::to_string(t.offset + 1) + "): expected " + expected + ".");
  }
  void ExpectWord(std::string_view w) {
    if (!Word(w)) Error("'" + std::string(w) + "'");
  }
  void ExpectSymbol(std::string_view s) {
    if (!Symbol(s)) Error("'" + std::string(s) + "'");
  }
  bool PeekName() const {
    const Token& t = Peek();
    return t.kind == Tok::kBracket || (t.kind == Tok::kName && !IsClauseWord(AsciiLower(t.text)));
  }
  std::string Name() {
    const Token& t = Peek();
    if (t.kind != Tok::kBracket && t.kind != Tok::kName) Error("a name");
    ++pos_;
    return t.text;
  }

  void Parameters(Translation& out) {
    int depth = 0;
    bool expect_name = true;
    while (Peek().kind != Tok::kEnd) {
      if (depth == 0 && Symbol(";")) return;
      const Token& t = Peek();
      if (expect_name && depth == 0) {
        out.declared_params.push_back(AsciiLower(t.text));
        expect_name = false;
      } else if (t.kind == Tok::kSymbol && t.text == "(") {
        ++depth;
      } else if (t.kind == Tok::kSymbol && t.text == ")") {
        --depth;
      } else if (t.kind == Tok::kSymbol && t.text == "," && depth == 0) {
        expect_name = true;
      }
      ++pos_;
    }
    Error("';' after PARAMETERS");
  }

  // SELECT ... [UNION [ALL] SELECT ...] [ORDER BY ...]
  std::string Compound(bool defer_top) {
    // A sub-query's aggregates are its own: neither crosstab cells nor a condition's totals.
    const bool saved_cell = pivot_cell_;
    const int saved_aggregates = aggregates_;
    pivot_cell_ = false;
    std::string sql;
    int parts = 0;
    for (;;) {
      std::string part;
      if (Symbol("(")) {
        part = "SELECT * FROM (" + Compound(false) + ")";
        ExpectSymbol(")");
      } else {
        part = Core(defer_top);
      }
      ++parts;
      sql += part;
      if (!Word("union")) break;
      defer_top = false;
      if (top_level_ && parts == 1) top_level_->top = -1;
      sql += Word("all") ? " UNION ALL " : " UNION ";
    }
    sql += pending_order_;
    sql += pending_limit_;
    pending_order_.clear();
    pending_limit_.clear();
    pivot_cell_ = saved_cell;
    aggregates_ = saved_aggregates;
    return sql;
  }

  // TRANSFORM cell SELECT ... PIVOT expr [IN (values)]
  void Transform(Crosstab& x) {
    value_context_ = true;
    pivot_cell_ = true;
    const std::string cell = Expr();
    pivot_cell_ = false;
    value_context_ = false;
    if (Word("as")) Name();
    if (!PeekWord("select")) Error("'SELECT' after the TRANSFORM expression");
    SelectParts parts;
    x.select = Core(false, &parts);
    x.rows = parts.rows;
    x.groups = parts.groups + pending_order_ + pending_limit_;
    pending_order_.clear();
    pending_limit_.clear();
    ExpectWord("pivot");
    value_context_ = true;
    // The expression ends before an IN outside parentheses, which lists the columns' values:
    // the parse sees the end of the statement there.
    const size_t in = TopLevelEnd({"in"});
    const Token in_token = t_[in];
    t_[in].kind = Tok::kEnd;
    x.pivot = Expr();
    t_[in] = in_token;
    for (size_t from = 0;;) {
      const size_t mark = cell.find(kRowTest, from);
      x.cell.push_back(cell.substr(from, mark - from));
      if (mark == std::string::npos) break;
      from = mark + 1;
    }
    if (Word("in")) {
      ExpectSymbol("(");
      x.headings = "VALUES (" + Expr() + ")";
      while (Symbol(",")) x.headings += ", (" + Expr() + ")";
      ExpectSymbol(")");
    } else {
      // ORDER BY 1 sorts with the pivot's own collation, as an ORDER BY on it would.
      x.headings = "SELECT DISTINCT " + x.pivot + x.rows + " ORDER BY 1";
    }
    value_context_ = false;
  }

  // The first token from the current one, outside any parentheses opened after it, that ends
  // what is read here: one of the words `stops`, a ';', a ')' closing a parenthesis opened
  // before, or the end of the statement.
  size_t TopLevelEnd(std::initializer_list<std::string_view> stops) const {
    int depth = 0;
    for (size_t k = pos_; k < t_.size(); ++k) {
      const Token& t = t_[k];
      if (t.kind == Tok::kEnd) return k;
      if (t.kind == Tok::kSymbol && t.text == "(") ++depth;
      if (t.kind == Tok::kSymbol && t.text == ")" && --depth < 0) return k;
      if (depth == 0 && t.kind == Tok::kSymbol && t.text == ";") return k;
      if (depth == 0 && t.kind == Tok::kName &&
          std::find(stops.begin(), stops.end(), AsciiLower(t.text)) != stops.end()) {
        return k;
      }
    }
    return t_.size() - 1;
  }

  // Where a condition ends: the next clause at its own depth, or the end of the statement.
  size_t ConditionEnd() const {
    return TopLevelEnd({"group", "having", "order", "pivot", "union", "with"});
  }

  // The terms joined by AND at the top of the condition that ends at token `end` (inside any
  // parentheses around all of it), each with whether it uses an aggregate.
  std::vector<std::pair<std::string, bool>> Conjuncts(size_t end) {
    if (PeekSymbol("(")) {
      int depth = 0;
      size_t k = pos_;
      for (; k < end; ++k) {
        if (t_[k].kind != Tok::kSymbol) continue;
        if (t_[k].text == "(") ++depth;
        if (t_[k].text == ")" && --depth == 0) break;
      }
      if (k + 1 == end) {
        ++pos_;
        auto terms = Conjuncts(end - 1);
        ExpectSymbol(")");
        return terms;
      }
    }
    const size_t start = pos_;
    std::vector<std::pair<std::string, bool>> terms;
    do {
      const int before = aggregates_;
      std::string term = Not();
      terms.emplace_back(std::move(term), aggregates_ > before);
    } while (Word("and"));
    if (pos_ != end) {  // an OR, XOR, EQV or IMP above the ANDs: the whole is one term
      pos_ = start;
      const int before = aggregates_;
      std::string whole = Expr();
      return {{std::move(whole), aggregates_ > before}};
    }
    return terms;
  }

  std::string OrderBy(std::vector<std::string>* keys) {
    ExpectWord("order");
    ExpectWord("by");
    std::string out = " ORDER BY ";
    for (int n = 0;; ++n) {
      std::string e = Expr();
      if (keys) keys->push_back(e);
      if (n > 0) out += ", ";
      out += e + Nocase();
      if (Word("desc"))
        out += " DESC";
      else
        Word("asc");
      if (!Symbol(",")) break;
    }
    return out;
  }

  // One SELECT without UNION; its ORDER BY and LIMIT are left in pending_order_/pending_limit_.
  // With `parts` (a crosstab's SELECT) the result is the SELECT and its list only: the clauses
  // go to `parts`.
  std::string Core(bool defer_top, SelectParts* parts = nullptr) {
    ExpectWord("select");
    std::string head = "SELECT ";
    if (Word("distinct"))
      head += "DISTINCT ";
    else if (!Word("distinctrow"))
      Word("all");
    long long top = -1;
    bool percent = false;
    if (Word("top")) {
      if (Peek().kind != Tok::kNumber) Error("a number after TOP");
      top = std::atoll(Peek().text.c_str());
      ++pos_;
      percent = Word("percent");
    }
    std::vector<std::string> items;
    int expr_no = 1000;
    for (;;) {
      if (Symbol("*")) {
        items.push_back("*");
      } else if (PeekName() && PeekSymbol(".", 1) && PeekSymbol("*", 2)) {
        items.push_back(QuoteIdent(Name()) + ".*");
        pos_ += 2;
      } else {
        const size_t start = pos_;
        value_context_ = true;
        std::string e = Expr();
        value_context_ = false;
        const bool plain_column = IsColumnRef(start, pos_);
        if (Word("as")) {
          e += " AS " + QuoteIdent(Name());
        } else if (PeekName() && !PeekSymbol(",", 0)) {
          e += " AS " + QuoteIdent(Name());
        } else if (!plain_column) {
          e += " AS " + QuoteIdent("Expr" + std::to_string(expr_no++));
        }
        items.push_back(e);
      }
      if (!Symbol(",")) break;
    }
    if (Word("into")) {
      into_ = Name();
      if (Word("in")) Name();
    }
    std::string body;
    if (Word("from")) body += " FROM " + FromList();
    std::vector<std::string> totals;  // conditions on the groups
    if (Word("where")) {
      if (parts) {
        // A crosstab's stored criteria can hold a condition on a total among its WHERE terms;
        // such a term can only mean a condition on the groups.
        std::vector<std::string> terms;
        for (auto& [term, aggregate] : Conjuncts(ConditionEnd())) {
          (aggregate ? totals : terms).push_back("(" + term + ")");
        }
        for (size_t k = 0; k < terms.size(); ++k) body += (k ? " AND " : " WHERE ") + terms[k];
      } else {
        body += " WHERE " + Expr();
      }
    }
    const size_t rows_end = body.size();
    if (Word("group")) {
      ExpectWord("by");
      body += " GROUP BY " + ExprList(Nocase());
    }
    if (Word("having")) totals.insert(totals.begin(), "(" + Expr() + ")");
    for (size_t k = 0; k < totals.size(); ++k) body += (k ? " AND " : " HAVING ") + totals[k];
    std::vector<std::string> keys;
    pending_order_ = PeekWord("order") ? OrderBy(&keys) : "";
    if (Word("with")) {
      ExpectWord("owneraccess");
      ExpectWord("option");
    }
    pending_limit_.clear();
    if (defer_top && top_level_ && !options_.rowid_table.empty()) {
      items.push_back(QuoteIdent(options_.rowid_table) + ".rowid AS \"__rowid\"");
      top_level_->has_rowid = true;
      top_level_->hidden_columns = 1;
    }
    if (top >= 0) {
      Portable(!percent, "TOP n PERCENT");
      Portable(keys.empty(), "TOP n with ORDER BY (Access keeps the ties, LIMIT does not)");
      if (defer_top && top_level_) {
        top_level_->top = top;
        top_level_->top_percent = percent;
        for (size_t k = 0; k < keys.size(); ++k) {
          items.push_back(keys[k] + " AS " + QuoteIdent("__top" + std::to_string(k)));
        }
        top_level_->hidden_columns += static_cast<int>(keys.size());
      } else if (!percent) {
        pending_limit_ = " LIMIT " + std::to_string(top);
      }
    }
    std::string list;
    for (size_t k = 0; k < items.size(); ++k) list += (k ? ", " : "") + items[k];
    if (parts) {
      parts->rows = body.substr(0, rows_end);
      parts->groups = body.substr(rows_end);
      return head + list;
    }
    return head + list + body;
  }

  bool IsColumnRef(size_t start, size_t end) const {
    for (size_t k = start; k < end; ++k) {
      const Token& t = t_[k];
      const bool name = t.kind == Tok::kBracket || t.kind == Tok::kName;
      const bool dot = t.kind == Tok::kSymbol && (t.text == "." || t.text == "!");
      if ((k - start) % 2 == 0 ? !name : !dot) return false;
    }
    return end > start;
  }

  // Expressions separated by commas, each followed by `suffix` (a collation).
  std::string ExprList(const std::string& suffix = "") {
    std::string out = Expr() + suffix;
    while (Symbol(",")) out += ", " + Expr() + suffix;
    return out;
  }

  std::string FromList() {
    std::string out = JoinedTable();
    while (Symbol(",")) out += ", " + JoinedTable();
    return out;
  }

  std::string JoinedTable() {
    std::string out = TablePrimary();
    for (;;) {
      std::string kind;
      if (Word("inner"))
        kind = " INNER JOIN ";
      else if (Word("left"))
        kind = " LEFT JOIN ";
      else if (Word("right"))
        kind = " RIGHT JOIN ";
      else if (PeekWord("join"))
        kind = " INNER JOIN ";
      else
        break;
      Word("outer");
      ExpectWord("join");
      out += kind + TablePrimary();
      ExpectWord("on");
      out += " ON " + Expr();
    }
    return out;
  }

  std::string TablePrimary() {
    std::string out;
    if (Symbol("(")) {
      if (PeekWord("select")) {
        out = "(" + Compound(false) + ")";
      } else {
        out = "(" + JoinedTable() + ")";
      }
      ExpectSymbol(")");
    } else {
      const std::string name = Name();
      out = QuoteIdent(name);
      if (tables_seen_.empty()) first_table_ = name;
      tables_seen_.push_back(name);
      if (Word("in")) {
        throw jet::Error(jet::Error::Kind::kNotSupported,
                         "tables of another database (IN clause) cannot be read");
      }
    }
    if (Word("as") || PeekName()) {
      const std::string alias = Name();
      out += " AS " + QuoteIdent(alias);
      aliases_[AsciiLower(alias)] = tables_seen_.empty() ? alias : tables_seen_.back();
    }
    return out;
  }

  std::string Insert(Translation& tr) {
    ExpectWord("into");
    tr.target = Name();
    if (Word("in")) {
      throw jet::Error(jet::Error::Kind::kNotSupported,
                       "tables of another database (IN clause) cannot be written");
    }
    std::string out = "INSERT INTO " + QuoteIdent(tr.target);
    if (Symbol("(")) {
      out += " (";
      for (int n = 0;; ++n) {
        std::string col = Name();
        while (Symbol(".")) col = Name();  // Table.Column: the column
        out += (n ? ", " : "") + QuoteIdent(col);
        if (!Symbol(",")) break;
      }
      ExpectSymbol(")");
      out += ")";
    }
    if (Word("values")) {
      ExpectSymbol("(");
      out += " VALUES (" + ExprList() + ")";
      ExpectSymbol(")");
    } else {
      out += " " + Compound(false);
    }
    return out;
  }

  std::string Update(Translation& tr) {
    const std::string from = JoinedTable();
    const bool single = tables_seen_.size() == 1;
    ExpectWord("set");
    std::vector<std::pair<std::string, std::string>> sets;
    std::string target_alias;
    for (;;) {
      std::string col = Name(), qualifier;
      while (Symbol(".")) {
        qualifier = col;
        col = Name();
      }
      if (target_alias.empty()) target_alias = qualifier.empty() ? first_table_ : qualifier;
      ExpectSymbol("=");
      sets.emplace_back(col, Expr());
      if (!Symbol(",")) break;
    }
    std::string where;
    if (Word("where")) where = Expr();
    const auto alias = aliases_.find(AsciiLower(target_alias));
    tr.target = alias != aliases_.end() ? alias->second : target_alias;
    std::string set_list;
    for (size_t k = 0; k < sets.size(); ++k) {
      set_list += (k ? ", " : "") + QuoteIdent(sets[k].first) + " = ";
      set_list += single ? sets[k].second
                         : "(SELECT " + sets[k].second + " FROM " + from + " WHERE " +
                               QuoteIdent(target_alias) + ".rowid = \"__u\".rowid" +
                               (where.empty() ? "" : " AND (" + where + ")") + " LIMIT 1)";
    }
    if (single) {
      std::string out = "UPDATE " + from + " SET " + set_list;
      if (!where.empty()) out += " WHERE " + where;
      return out;
    }
    return "UPDATE " + QuoteIdent(tr.target) + " AS \"__u\" SET " + set_list +
           " WHERE \"__u\".rowid IN (SELECT " + QuoteIdent(target_alias) + ".rowid FROM " + from +
           (where.empty() ? "" : " WHERE " + where) + ")";
  }

  std::string Delete(Translation& tr) {
    Word("distinctrow");
    std::string target_alias;
    if (!PeekWord("from")) {
      for (;;) {
        if (Symbol("*")) {
        } else {
          std::string n = Name();
          if (target_alias.empty()) target_alias = n;
          while (Symbol(".")) {
            if (Symbol("*")) break;
            Name();
          }
        }
        if (!Symbol(",")) break;
      }
    }
    ExpectWord("from");
    const std::string from = FromList();
    if (target_alias.empty()) target_alias = first_table_;
    const auto alias = aliases_.find(AsciiLower(target_alias));
    tr.target = alias != aliases_.end() ? alias->second : target_alias;
    std::string where;
    if (Word("where")) where = Expr();
    return "DELETE FROM " + QuoteIdent(tr.target) + " WHERE rowid IN (SELECT " +
           QuoteIdent(target_alias) + ".rowid FROM " + from +
           (where.empty() ? "" : " WHERE " + where) + ")";
  }

  // Expressions, lowest precedence first.
  std::string Expr() { return Imp(); }

  // A truth value where a value is wanted: Access's True is -1; an export stores Yes as 1.
  std::string Boolean(const std::string& e) const {
    if (!value_context_) return e;
    return options_.portable ? "(" + e + ")" : "-(" + e + ")";
  }

  std::string Imp() {
    std::string l = Or();
    for (;;) {
      if (Word("eqv"))
        l = Boolean("(" + l + " <> 0) = (" + Or() + " <> 0)");
      else if (Word("imp"))
        l = Boolean("(NOT (" + l + ") OR (" + Or() + "))");
      else
        return l;
    }
  }
  std::string Or() {
    std::string l = And();
    for (;;) {
      if (Word("or"))
        l = Boolean("(" + l + ") OR (" + And() + ")");
      else if (Word("xor"))
        l = Boolean("((" + l + ") <> 0) <> ((" + And() + ") <> 0)");
      else
        return l;
    }
  }
  std::string And() {
    std::string l = Not();
    while (Word("and")) l = Boolean("(" + l + ") AND (" + Not() + ")");
    return l;
  }
  std::string Not() {
    if (Word("not")) return Boolean("NOT (" + Not() + ")");
    return Comparison();
  }
  bool IsTextLiteral(size_t start, size_t end) const {
    return end == start + 1 && t_[start].kind == Tok::kString;
  }
  // A text literal compared with a side that is neither a column (whose type SQLite applies) nor
  // text: the literal is compared as a number when that side is one, as Access does.
  void TextAgainst(std::string* l, size_t l_start, size_t l_end, std::string* r, size_t r_start,
                   size_t r_end) const {
    if (options_.portable) return;
    const bool l_text = IsTextLiteral(l_start, l_end), r_text = IsTextLiteral(r_start, r_end);
    if (r_text && !l_text && !IsColumnRef(l_start, l_end)) {
      *r = "acc_text_against(" + *l + ", " + *r + ")";
    } else if (l_text && !r_text && !IsColumnRef(r_start, r_end)) {
      *l = "acc_text_against(" + *r + ", " + *l + ")";
    }
  }

  std::string Comparison() {
    size_t l_start = pos_;
    std::string l = Concat();
    size_t l_end = pos_;
    for (;;) {
      const Token& t = Peek();
      if (t.kind == Tok::kSymbol && (t.text == "=" || t.text == "<>" || t.text == "<" ||
                                     t.text == ">" || t.text == "<=" || t.text == ">=")) {
        const std::string op = t.text;
        ++pos_;
        const size_t r_start = pos_;
        std::string r = Concat();
        TextAgainst(&l, l_start, l_end, &r, r_start, pos_);
        l = Boolean(l + " " + op + " " + r + Nocase());
        l_start = l_end = pos_;  // a truth value now
        continue;
      }
      const bool negated =
          PeekWord("not") && (PeekWord("like", 1) || PeekWord("in", 1) || PeekWord("between", 1));
      if (negated) ++pos_;
      const std::string neg = negated ? "NOT " : "";
      if (Word("like")) {
        const std::string pattern = Concat();
        if (options_.portable) {
          l = Boolean(l + " " + neg + "LIKE " + PortableLike(pattern) + " ESCAPE '\\'");
          continue;
        }
        l = Boolean(neg + "acc_like(" + l + ", " + pattern + ")");
      } else if (Word("in")) {
        ExpectSymbol("(");
        std::string list = PeekWord("select") ? Compound(false) : ExprList();
        ExpectSymbol(")");
        l = Boolean(l + Nocase() + " " + neg + "IN (" + list + ")");
      } else if (Word("between")) {
        std::string lo = Concat();
        ExpectWord("and");
        l = Boolean(l + Nocase() + " " + neg + "BETWEEN " + lo + " AND " + Concat());
      } else if (Word("is")) {
        const bool is_not = Word("not");
        ExpectWord("null");
        l = Boolean(l + (is_not ? " IS NOT NULL" : " IS NULL"));
      } else {
        return l;
      }
    }
  }
  std::string Concat() {
    std::string l = Additive();
    while (Symbol("&")) {
      const std::string r = Additive();
      // Access: Null & Null is Null, otherwise a Null side counts as "".
      l = options_.portable ? "(CASE WHEN " + l + " IS NULL AND " + r +
                                  " IS NULL THEN NULL ELSE coalesce(" + l + ", '') || coalesce(" +
                                  r + ", '') END)"
                            : "acc_concat(" + l + ", " + r + ")";
    }
    return l;
  }
  std::string Additive() {
    std::string l = Mod();
    for (;;) {
      if (Symbol("+")) {
        const bool text = Peek().kind == Tok::kString || last_was_string_;
        std::string r = Mod();
        l = (text || last_was_string_) ? "(" + l + " || " + r + ")" : "(" + l + " + " + r + ")";
      } else if (Symbol("-")) {
        l = "(" + l + " - " + Mod() + ")";
      } else {
        return l;
      }
    }
  }
  std::string Mod() {
    std::string l = IntDiv();
    while (Word("mod")) {
      Portable(false, "Mod");
      l = "acc_mod(" + l + ", " + IntDiv() + ")";
    }
    return l;
  }
  std::string IntDiv() {
    std::string l = Mul();
    while (Symbol("\\")) {
      Portable(false, "the \\ operator");
      l = "acc_intdiv(" + l + ", " + Mul() + ")";
    }
    return l;
  }
  std::string Mul() {
    std::string l = Unary();
    for (;;) {
      if (Symbol("*"))
        l = "(" + l + " * " + Unary() + ")";
      else if (Symbol("/"))
        l = options_.portable ? "(CAST(" + l + " AS REAL) / " + Unary() + ")"
                              : "acc_div(" + l + ", " + Unary() + ")";
      else
        return l;
    }
  }
  std::string Unary() {
    if (Symbol("-")) return "(-" + Unary() + ")";
    if (Symbol("+")) return Unary();
    return Power();
  }
  std::string Power() {
    std::string l = Primary();
    while (Symbol("^")) {
      Portable(false, "the ^ operator");
      l = "acc_pow(" + l + ", " + Primary() + ")";
    }
    return l;
  }

  std::string Primary() {
    last_was_string_ = false;
    const Token t = Peek();
    switch (t.kind) {
      case Tok::kEnd:
        Error("an expression");
      case Tok::kNumber:
        ++pos_;
        return t.text;
      case Tok::kString:
        ++pos_;
        last_was_string_ = true;
        return SqlQuote(t.text);
      case Tok::kDate: {
        ++pos_;
        double days = 0;
        if (!ParseAccessDate(t.text, &days))
          Fail("Syntax error in date in query expression '#" + t.text + "#'.");
        if (options_.portable) return SqlQuote(jet::FormatDateTime(days, ' '));
        char buf[64];
        std::snprintf(buf, sizeof buf, "acc_cdate(%.17g)", days);
        return buf;
      }
      case Tok::kSymbol:
        if (t.text == "(") {
          ++pos_;
          std::string inner;
          if (PeekWord("select")) {
            const bool saved = value_context_;
            value_context_ = false;
            inner = Compound(false);
            value_context_ = saved;
          } else {
            inner = Expr();
          }
          ExpectSymbol(")");
          return "(" + inner + ")";
        }
        Error("an expression");
      case Tok::kName:
      case Tok::kBracket:
        break;
    }
    const std::string lower = AsciiLower(t.text);
    if (t.kind == Tok::kName) {
      if (lower == "true" || lower == "yes" || lower == "on") {
        ++pos_;
        return options_.portable ? "1" : "-1";
      }
      if (lower == "false" || lower == "no" || lower == "off") {
        ++pos_;
        return "0";
      }
      if (lower == "null") {
        ++pos_;
        return "NULL";
      }
      if (lower == "exists") {
        ++pos_;
        ExpectSymbol("(");
        const bool saved = value_context_;
        value_context_ = false;
        std::string sub = Compound(false);
        value_context_ = saved;
        ExpectSymbol(")");
        return Boolean("EXISTS (" + sub + ")");
      }
      if (PeekSymbol("(", 1)) return Function();
      if (IsClauseWord(lower)) Error("an expression");
    }
    // A name, possibly qualified with '.' or '!'.
    std::vector<std::string> parts{Name()};
    bool bang = false;
    while (PeekSymbol(".") || PeekSymbol("!")) {
      bang = bang || PeekSymbol("!");
      ++pos_;
      parts.push_back(Name());
    }
    std::string full;
    for (size_t k = 0; k < parts.size(); ++k) full += (k ? (bang ? "!" : ".") : "") + parts[k];
    const std::string key = AsciiLower(full);
    const auto given = options_.params.find(key);
    const bool declared =
        declared_ && std::find(declared_->begin(), declared_->end(), key) != declared_->end();
    if (bang || declared) {
      if (given == options_.params.end()) Fail(kNoValueMessage);
      return given->second;
    }
    if (parts.size() == 1 && given != options_.params.end() && !options_.columns.count(key)) {
      return given->second;
    }
    std::string out;
    for (size_t k = 0; k < parts.size(); ++k) out += (k ? "." : "") + QuoteIdent(parts[k]);
    return out;
  }

  std::vector<std::string> Args() {
    std::vector<std::string> args;
    ExpectSymbol("(");
    if (Symbol(")")) return args;
    for (;;) {
      if (PeekSymbol("*")) {
        ++pos_;
        args.push_back("*");
      } else {
        args.push_back(Expr());
      }
      if (Symbol(")")) return args;
      ExpectSymbol(",");
    }
  }

  // A Like pattern given as a literal, as SQLite's LIKE pattern (with '\\' as its escape).
  // SQLite's LIKE ignores ASCII case only, so only ASCII patterns carry over.
  std::string PortableLike(const std::string& quoted) const {
    const bool literal = quoted.size() >= 2 && quoted.front() == '\'' && quoted.back() == '\'';
    Portable(literal, "Like with a pattern that is not a literal");
    std::string out;
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
      const char c = quoted[i];
      Portable(static_cast<unsigned char>(c) < 0x80, "Like with a pattern beyond ASCII");
      Portable(c != '#' && c != '[', "Like with a # or [...] pattern");
      if (c == '*') {
        out += '%';
      } else if (c == '?') {
        out += '_';
      } else if (c == '%' || c == '_' || c == '\\') {
        out += '\\';
        out += c;
      } else {
        out += c;
        if (c == '\'') out += quoted[++i];  // a doubled quote stays doubled
      }
    }
    return "'" + out + "'";
  }

  // Access functions with an exact SQLite counterpart over the export's value forms.
  std::string PortableFunction(const std::string& name, const std::vector<std::string>& args,
                               const std::string& joined) const {
    static const std::map<std::string, std::string> kSame = {
        {"len", "length"}, {"ucase", "upper"}, {"lcase", "lower"}, {"abs", "abs"},
        {"replace", "replace"}, {"chr", "char"}, {"chrw", "char"}, {"count", "count"},
        {"min", "min"}, {"max", "max"}, {"sum", "sum"}, {"avg", "avg"}};
    // Parts of an ISO 8601 date text.
    static const std::map<std::string, std::string> kDatePart = {
        {"year", "%Y"}, {"month", "%m"}, {"day", "%d"},
        {"hour", "%H"}, {"minute", "%M"}, {"second", "%S"}};
    if (name == "count" && args.size() == 1 && args[0] == "*") return "count(*)";
    if (const auto f = kSame.find(name); f != kSame.end()) return f->second + "(" + joined + ")";
    if (const auto f = kDatePart.find(name); f != kDatePart.end() && args.size() == 1) {
      return "CAST(strftime('" + f->second + "', " + args[0] + ") AS INTEGER)";
    }
    Portable(false, "the function " + name);
    return {};
  }

  std::string Function() {
    const std::string name = AsciiLower(Name());
    const bool saved = value_context_;
    const bool condition_arg = name == "iif";
    if (condition_arg) value_context_ = false;
    // The condition of IIf only needs its truth; the other arguments are values.
    std::vector<std::string> args;
    if (condition_arg) {
      ExpectSymbol("(");
      args.push_back(Expr());
      value_context_ = true;
      while (Symbol(",")) args.push_back(Expr());
      ExpectSymbol(")");
    } else {
      args = Args();
    }
    value_context_ = saved;
    auto join = [&](size_t from) {
      std::string s;
      for (size_t k = from; k < args.size(); ++k) s += (k > from ? ", " : "") + args[k];
      return s;
    };
    auto need = [&](size_t lo, size_t hi) {
      if (args.size() < lo || args.size() > hi) {
        Fail("Wrong number of arguments used with function in query expression '" + name + "'.");
      }
    };
    if (name == "iif") {
      need(3, 3);
      return "(CASE WHEN " + args[0] + " THEN " + args[1] + " ELSE " + args[2] + " END)";
    }
    if (name == "nz") {
      need(1, 2);
      return "coalesce(" + args[0] + ", " + (args.size() > 1 ? args[1] : "''") + ")";
    }
    if (name == "isnull") {
      need(1, 1);
      return options_.portable ? "(" + args[0] + " IS NULL)" : "(-(" + args[0] + " IS NULL))";
    }
    if (name == "left") {
      need(2, 2);
      return "substr(" + args[0] + ", 1, " + args[1] + ")";
    }
    if (name == "mid") {
      need(2, 3);
      return "substr(" + join(0) + ")";
    }
    if (name == "trim" || name == "ltrim" || name == "rtrim") {
      need(1, 1);
      return name + "(" + args[0] + ", ' ')";
    }
    if (options_.portable) return PortableFunction(name, args, join(0));
    if (IsAggregate(name)) {
      ++aggregates_;
      if (pivot_cell_) {
        need(1, 1);
        return CellAggregate(name, args[0]);
      }
    }
    if (name == "count" && args.size() == 1 && args[0] == "*") return "count(*)";
    for (const FunctionMap& f : kFunctions) {
      if (name == f.access) return std::string(f.sqlite) + "(" + join(0) + ")";
    }
    return QuoteIdent(name) + "(" + join(0) + ")";
  }

  static bool IsAggregate(const std::string& name) {
    static const std::set<std::string> kAggregates = {
        "count", "sum", "avg", "min", "max", "first", "last", "stdev", "stdevp", "var", "varp"};
    return kAggregates.count(name) > 0;
  }

  // An aggregate of a crosstab cell: over the group's rows that pass the column's row test
  // (kRowTest, filled in per column), and Null when no row does, even for Count.
  std::string CellAggregate(const std::string& name, const std::string& arg) const {
    const std::string test(1, kRowTest);
    const std::string any = "count(CASE WHEN " + test + " THEN 1 END)";
    std::string value;
    if (arg == "*") {
      value = any;
    } else if (name == "first" || name == "last") {
      // Their pick keeps Nulls, so the test goes beside the value rather than around it.
      value = "acc_" + name + "(" + arg + ", " + test + ")";
    } else {
      std::string fn = name;
      for (const FunctionMap& f : kFunctions) {
        if (name == f.access) fn = f.sqlite;
      }
      // The CASE has no collation of its own; Min and Max compare text as the sort order does.
      const bool ordered = name == "min" || name == "max";
      value = fn + "(CASE WHEN " + test + " THEN " + arg + " END" +
              (ordered ? " COLLATE ACCESS" : "") + ")";
    }
    return "(CASE WHEN " + any + " > 0 THEN " + value + " END)";
  }

  std::vector<Token> t_;
  size_t pos_ = 0;
  const TranslateOptions& options_;
  const std::vector<std::string>* declared_ = nullptr;
  Translation* top_level_ = nullptr;
  bool value_context_ = false;
  bool last_was_string_ = false;
  bool pivot_cell_ = false;  // in a TRANSFORM expression: aggregates become cell aggregates
  int aggregates_ = 0;       // aggregates met outside sub-queries
  std::string into_;
  std::string pending_order_, pending_limit_;
  std::string first_table_;
  std::vector<std::string> tables_seen_;
  std::map<std::string, std::string> aliases_;  // lower-case alias -> table name
};

int MonthFromName(std::string_view word) {
  static const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                  "jul", "aug", "sep", "oct", "nov", "dec"};
  const std::string w = AsciiLower(word);
  if (w.size() < 3) return 0;
  for (int m = 0; m < 12; ++m) {
    if (w.compare(0, 3, kMonths[m]) == 0) return m + 1;
  }
  return 0;
}

}  // namespace

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string QuoteIdent(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string SqlQuote(std::string_view s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

bool ParseAccessDate(std::string_view text, double* days) {
  // Split into words: numbers, names and separators.
  std::vector<std::string> nums;
  int month_name = 0;
  size_t i = 0;
  std::string s(text);
  int h = 0, mi = 0, se = 0;
  bool has_time = false, pm = false, am = false;
  std::vector<std::string> date_parts;
  while (i < s.size()) {
    if (std::isspace(static_cast<unsigned char>(s[i])) || s[i] == ',') {
      ++i;
      continue;
    }
    size_t j = i;
    if (std::isdigit(static_cast<unsigned char>(s[i]))) {
      while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      if (j < s.size() && s[j] == ':') {
        // A time: h:mm[:ss]
        has_time = true;
        h = std::atoi(s.substr(i, j - i).c_str());
        size_t k = j + 1;
        size_t e = k;
        while (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e]))) ++e;
        mi = std::atoi(s.substr(k, e - k).c_str());
        if (e < s.size() && s[e] == ':') {
          k = e + 1;
          e = k;
          while (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e]))) ++e;
          se = std::atoi(s.substr(k, e - k).c_str());
        }
        i = e;
        continue;
      }
      date_parts.push_back(s.substr(i, j - i));
      i = j;
      if (i < s.size() && (s[i] == '/' || s[i] == '-' || s[i] == '.')) ++i;
    } else if (std::isalpha(static_cast<unsigned char>(s[i]))) {
      while (j < s.size() && std::isalpha(static_cast<unsigned char>(s[j]))) ++j;
      const std::string w = AsciiLower(s.substr(i, j - i));
      if (w == "am")
        am = true;
      else if (w == "pm")
        pm = true;
      else if (int m = MonthFromName(w))
        month_name = m;
      else
        return false;
      i = j;
      if (i < s.size() && (s[i] == '/' || s[i] == '-' || s[i] == '.')) ++i;
    } else {
      return false;
    }
  }
  if (pm && h < 12) h += 12;
  if (am && h == 12) h = 0;
  if (h > 23 || mi > 59 || se > 59) return false;
  int y = 1899, m = 12, d = 30;
  auto year_of = [](const std::string& digits) {
    int v = std::atoi(digits.c_str());
    if (digits.size() <= 2) v += v < 30 ? 2000 : 1900;
    return v;
  };
  if (month_name) {
    if (date_parts.size() == 2) {
      d = std::atoi(date_parts[0].c_str());
      y = year_of(date_parts[1]);
      if (d > 31) std::swap(d, y), d = std::atoi(date_parts[1].c_str()), y = year_of(date_parts[0]);
    } else if (date_parts.size() == 1) {
      d = std::atoi(date_parts[0].c_str());
      std::time_t now = std::time(nullptr);
      y = std::localtime(&now)->tm_year + 1900;
    } else {
      return false;
    }
    m = month_name;
  } else if (date_parts.size() == 3) {
    if (date_parts[0].size() >= 3) {  // yyyy-mm-dd
      y = year_of(date_parts[0]);
      m = std::atoi(date_parts[1].c_str());
      d = std::atoi(date_parts[2].c_str());
    } else {  // m/d/y
      m = std::atoi(date_parts[0].c_str());
      d = std::atoi(date_parts[1].c_str());
      y = year_of(date_parts[2]);
    }
  } else if (date_parts.size() == 2) {  // m/d of this year
    m = std::atoi(date_parts[0].c_str());
    d = std::atoi(date_parts[1].c_str());
    std::time_t now = std::time(nullptr);
    y = std::localtime(&now)->tm_year + 1900;
  } else if (!date_parts.empty() || !has_time) {
    return false;
  }
  if (m < 1 || m > 12 || y < 100 || y > 9999 || d < 1 || d > jet::DaysInMonth(y, m)) return false;
  const double day = static_cast<double>(jet::DaysFromCivil(y, m, d) - jet::kJetEpochDays);
  const double frac = (h * 3600 + mi * 60 + se) / 86400.0;
  // Before 1899-12-30 the time still counts forward from the day's start.
  *days = day >= 0 ? day + frac : day - frac;
  return true;
}

std::string CrosstabSql(const Crosstab& crosstab, const std::vector<std::string>& values,
                        const std::vector<std::string>& names) {
  std::string sql = crosstab.select;
  for (size_t k = 0; k < values.size(); ++k) {
    const std::string test = "(" + crosstab.pivot + ") IS " + values[k];
    sql += ", ";
    for (size_t i = 0; i < crosstab.cell.size(); ++i) sql += (i ? test : "") + crosstab.cell[i];
    sql += " AS " + QuoteIdent(names[k]);
  }
  return sql + crosstab.rows + crosstab.groups;
}

Translation Translate(std::string_view access_sql, const TranslateOptions& options) {
  Parser parser(Tokenize(access_sql), options);
  return parser.Statement();
}

}  // namespace query
