// Export to a new SQLite database through the SQLite library.
//
// Order of work, all inside one transaction: CREATE TABLE with primary and foreign keys, the
// rows of each table through one prepared INSERT, then the other indexes (building an index once
// over all rows is faster than keeping it up to date row by row), then the AutoNumber counters.
// The file has no journal: a failed export is removed, not rolled back.

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <type_traits>
#include <variant>

#include "query/export/ddl.h"
#include "query/export/field_text.h"
#include "query/export/progress.h"
#include "query/export/read_ahead.h"
#include "query/export/writers.h"
#include "jet/value_text.h"

namespace query {
namespace {

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

class SqliteOut {
 public:
  explicit SqliteOut(const std::string& path) : path_(path) {
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    db_.reset(db);
    if (rc != SQLITE_OK) Fail("cannot open");
  }

  void Exec(const std::string& sql) {
    if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      Fail("cannot run \"" + sql.substr(0, 60) + "\" on");
    }
  }

  Statement Prepare(const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(db_.get(), sql.c_str(), static_cast<int>(sql.size()),
                           SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) {
      Fail("cannot prepare \"" + sql.substr(0, 60) + "\" on");
    }
    return Statement(s);
  }

  void Step(sqlite3_stmt* s) {
    if (sqlite3_step(s) != SQLITE_DONE) Fail("cannot write");
    sqlite3_reset(s);
  }

  void Close() {
    if (sqlite3_close(db_.get()) != SQLITE_OK) Fail("cannot close");
    db_.release();
  }

  [[noreturn]] void Fail(const std::string& what) {
    const int code = db_ ? sqlite3_extended_errcode(db_.get()) : SQLITE_CANTOPEN;
    const std::string message = db_ ? sqlite3_errmsg(db_.get()) : "out of memory";
    const bool io = (code & 0xFF) == SQLITE_IOERR || (code & 0xFF) == SQLITE_FULL ||
                    (code & 0xFF) == SQLITE_CANTOPEN;
    throw jet::Error(io ? jet::Error::Kind::kIo : jet::Error::Kind::kInvalidArgument,
                     what + " " + path_ + ": " + message);
  }

 private:
  std::string path_;
  DbHandle db_;
};

std::string InsertSql(const ExportTable& t) {
  std::string sql = "INSERT INTO " + QuoteIdentifier(t.name) + " VALUES (";
  for (size_t i = 0; i < t.columns.size(); ++i) sql += i == 0 ? "?" : ", ?";
  return sql + ")";
}

// Binds one value; `text` keeps converted text alive until the row is stepped.
int Bind(sqlite3_stmt* s, int pos, const jet::Value& v, std::string& text, bool& negative_zero) {
  return std::visit(
      [&](const auto& x) -> int {
        using T = std::decay_t<decltype(x)>;
        auto bind_text = [&](std::string str) {
          text = std::move(str);
          return sqlite3_bind_text(s, pos, text.data(), static_cast<int>(text.size()),
                                   SQLITE_STATIC);
        };
        if constexpr (std::is_same_v<T, std::monostate>) {
          return sqlite3_bind_null(s, pos);
        } else if constexpr (std::is_same_v<T, bool>) {
          return sqlite3_bind_int(s, pos, x ? 1 : 0);
        } else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                             std::is_same_v<T, int32_t>) {
          return sqlite3_bind_int(s, pos, x);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          return sqlite3_bind_int64(s, pos, x);
        } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
          // SQLite turns NaN into NULL; as text it stays "NaN". A REAL column drops the sign
          // of a zero, which is reported.
          if (std::isnan(x)) return bind_text("NaN");
          if (x == 0 && std::signbit(x)) negative_zero = true;
          return sqlite3_bind_double(s, pos, static_cast<double>(x));
        } else if constexpr (std::is_same_v<T, jet::Currency>) {
          return bind_text(jet::FormatMoney(x.units));
        } else if constexpr (std::is_same_v<T, jet::Decimal> || std::is_same_v<T, jet::Guid>) {
          return bind_text(x.ToString());
        } else if constexpr (std::is_same_v<T, jet::DateTime>) {
          return bind_text(jet::FormatDateTime(x.days, ' '));
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          text.clear();
          AppendUtf8(x, text);
          return sqlite3_bind_text(s, pos, text.data(), static_cast<int>(text.size()),
                                   SQLITE_STATIC);
        } else {
          static_assert(std::is_same_v<T, jet::Bytes>);
          // A zero-length blob pointer would bind NULL; an empty value stays an empty blob.
          if (x.empty()) return sqlite3_bind_zeroblob(s, pos, 0);
          return sqlite3_bind_blob(s, pos, x.data(), static_cast<int>(x.size()), SQLITE_STATIC);
        }
      },
      v.storage());
}

uint64_t CopyRows(const jet::Database& db, const ExportTable& t, SqliteOut& out,
                  const ExportOptions& options, std::vector<std::string>& notes) {
  Statement insert = out.Prepare(InsertSql(t));
  std::vector<std::string> texts(t.columns.size());
  std::vector<uint64_t> negative_zeros(t.columns.size());
  Progress progress(options.progress, t.name, t.def.row_count);
  uint64_t rows = 0;
  ForEachRowReadAhead(db, t.def, [&](std::vector<jet::Value>& row) {
    for (size_t i = 0; i < row.size() && i < t.columns.size(); ++i) {
      bool negative_zero = false;
      if (Bind(insert.get(), static_cast<int>(i + 1), row[i], texts[i], negative_zero) !=
          SQLITE_OK) {
        out.Fail("cannot bind a value of " + ValueContext(t, i) + "for");
      }
      negative_zeros[i] += negative_zero ? 1 : 0;
    }
    out.Step(insert.get());
    ++rows;
    progress.Row();
  });
  for (size_t i = 0; i < negative_zeros.size(); ++i) {
    if (negative_zeros[i] == 0) continue;
    notes.push_back(ValueContext(t, i) + std::to_string(negative_zeros[i]) +
                    " negative zero(s) stored as 0 (SQLite keeps no sign on a zero)");
  }
  return rows;
}

// AutoNumber counters: the next number SQLite hands out continues where Access stopped.
void SetSequences(const ExportSchema& schema, SqliteOut& out) {
  for (const ExportTable& t : schema.tables) {
    if (!t.NeedsAutoincrement()) continue;
    Statement del = out.Prepare("DELETE FROM sqlite_sequence WHERE name = ?");
    sqlite3_bind_text(del.get(), 1, t.name.data(), static_cast<int>(t.name.size()), SQLITE_STATIC);
    out.Step(del.get());
    Statement ins = out.Prepare("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)");
    sqlite3_bind_text(ins.get(), 1, t.name.data(), static_cast<int>(t.name.size()), SQLITE_STATIC);
    sqlite3_bind_int64(ins.get(), 2, t.last_autonumber);
    out.Step(ins.get());
  }
}

}  // namespace

ExportStats WriteSqlite(const jet::Database& db, const ExportSchema& schema,
                        const std::string& path, const ExportOptions& options) {
  SqliteOut out(path);
  out.Exec("PRAGMA journal_mode = OFF");
  out.Exec("PRAGMA synchronous = OFF");
  out.Exec("PRAGMA locking_mode = EXCLUSIVE");
  out.Exec("PRAGMA cache_size = -65536");
  out.Exec("BEGIN");
  for (const ExportTable& t : schema.tables) {
    out.Exec(CreateTableSql(t, db.format(), Dialect::kSqlite));
  }
  ExportStats stats;
  std::vector<std::string> notes;
  for (const ExportTable& t : schema.tables) {
    stats.rows += CopyRows(db, t, out, options, notes);
    ++stats.tables;
  }
  for (const ExportTable& t : schema.tables) {
    for (const std::string& sql : CreateIndexesSql(t)) out.Exec(sql);
  }
  SetSequences(schema, out);
  for (const std::string& sql : schema.views) out.Exec(sql);
  out.Exec("COMMIT");
  out.Close();
  if (options.notes != nullptr) {
    for (const std::string& n : notes) *options.notes << n << '\n';
  }
  return stats;
}

std::string ValueContext(const ExportTable& t, size_t column) {
  return "table \"" + t.name + "\", column \"" + t.columns[column] + "\": ";
}

}  // namespace query
