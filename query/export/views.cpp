#include "query/export/views.h"

#include <sqlite3.h>


#include "jet/error.h"
#include "query/engine.h"
#include "query/export/ddl.h"
#include "query/saved_query.h"
#include "query/translate.h"

namespace query {
namespace {

// An empty in-memory database holding the exported tables, to try the views against.
class Scratch {
 public:
  Scratch() {
    if (sqlite3_open(":memory:", &db_) != SQLITE_OK) {
      sqlite3_close(db_);
      throw jet::Error(jet::Error::Kind::kIo, "cannot open an in-memory SQLite database");
    }
  }
  ~Scratch() { sqlite3_close(db_); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  // Runs `sql`; returns SQLite's message on failure, "" on success.
  std::string Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return {};
    std::string out = message != nullptr ? message : "failed";
    sqlite3_free(message);
    return out;
  }
  // Compiles `sql` without running it (every table, view, column and function must exist) and
  // gives its result column names; returns SQLite's message on failure, "" on success.
  std::string Check(const std::string& sql, std::vector<std::string>* names) {
    sqlite3_stmt* st = nullptr;
    const int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
    std::string out = rc == SQLITE_OK ? "" : sqlite3_errmsg(db_);
    if (rc == SQLITE_OK) *names = ResultColumnNames(st);
    sqlite3_finalize(st);
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace

ViewPlan PlanSqliteViews(const jet::Database& db, const ExportSchema& s) {
  ViewPlan plan;
  Scratch scratch;
  TranslateOptions options;
  options.portable = true;
  for (const ExportTable& t : s.tables) {
    const std::string error = scratch.Exec(CreateTableSql(t, db.format(), Dialect::kSqlite));
    if (!error.empty()) throw jet::Error(jet::Error::Kind::kIo, "cannot plan the views: " + error);
    for (const jet::Column& c : t.def.columns) options.columns.insert(AsciiLower(jet::ToUtf8(c.name)));
  }

  struct Pending {
    std::string name, select, error;
  };
  std::vector<Pending> pending;
  for (const SavedQuery& q : ReadSavedQueries(db)) {
    const std::string name = jet::ToUtf8(q.name);
    const std::string label = "query \"" + name + "\": ";
    if (q.type != QueryType::kSelect && q.type != QueryType::kUnion) {
      plan.notes.push_back(label + "not exported (only select queries can become views)");
      continue;
    }
    if (!q.parameters.empty()) {
      plan.notes.push_back(label + "not exported as a view (it asks for parameters)");
      continue;
    }
    try {
      const Translation t = Translate(jet::ToUtf8(q.Sql()), options);
      pending.push_back({name, t.sql, {}});
    } catch (const jet::Error& e) {
      plan.notes.push_back(label + "not exported as a view (" + e.what() + ")");
    }
  }
  // Views on views: create whatever compiles now, until a round creates nothing. What is left
  // reads a query that is not exported, reads itself through a cycle, or names something the
  // export lacks; its last error says which.
  for (bool progress = true; progress;) {
    progress = false;
    for (auto it = pending.begin(); it != pending.end();) {
      std::vector<std::string> names;
      it->error = scratch.Check(it->select, &names);
      if (!it->error.empty()) {
        ++it;
        continue;
      }
      // Columns named as the query's page names them (Table.Column for repeated names).
      std::string list;
      for (const std::string& n : names) list += (list.empty() ? "" : ", ") + QuoteIdent(n);
      const std::string sql =
          "CREATE VIEW " + QuoteIdent(it->name) + "(" + list + ") AS " + it->select;
      it->error = scratch.Exec(sql);
      if (!it->error.empty()) {
        ++it;
        continue;
      }
      plan.statements.push_back(sql);
      it = pending.erase(it);
      progress = true;
    }
  }
  for (const Pending& p : pending) {
    plan.notes.push_back("query \"" + p.name + "\": not exported as a view (" + p.error + ")");
  }
  return plan;
}

}  // namespace query
