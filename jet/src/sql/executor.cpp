#include "sql/executor.h"

#include <string>
#include <vector>

#include "jet/error.h"
#include "sql/convert.h"
#include "sql/lexer.h"

namespace jet::sql {
namespace {

ExecResult RunCreateIndex(Database& db, const CreateIndexStatement& statement) {
  const TableDef table = ResolveTable(db, statement.table, Use::kWrite);
  IndexSpec spec;
  spec.name = statement.index_name;
  spec.primary = statement.primary;
  spec.unique = statement.unique;
  spec.ignore_nulls = statement.ignore_nulls;
  spec.required = statement.required;
  std::vector<bool> used(table.columns.size(), false);
  for (const OrderTerm& term : statement.columns) {
    const size_t index = ColumnIndex(table, term.column, "index definition");
    if (used[index]) {
      throw Error(Error::Kind::kInvalidArgument, "Column '" + term.column.source +
                                                     "' appears twice in index '" +
                                                     Utf8(statement.index_name) + "'.");
    }
    used[index] = true;
    spec.columns.emplace_back(table.columns[index].name, term.ascending);
  }
  db.CreateIndex(table.name, spec);
  return ExecResult();
}

ExecResult RunCreateTable(Database& db, const CreateTableStatement& statement) {
  bool exists = true;
  try {
    db.GetTable(statement.spec.name);
  } catch (const Error& e) {
    if (e.kind() != Error::Kind::kNotFound) throw;
    exists = false;
  }
  for (const TableListEntry& entry : db.ListTables()) {
    exists = exists || NamesEqual(entry.name, statement.spec.name);
  }
  if (exists) {
    throw Error(Error::Kind::kInvalidArgument,
                "Table '" + statement.table.source + "' already exists.");
  }
  db.CreateTable(statement.spec);
  return ExecResult();
}
}  // namespace

ExecResult Execute(Database& db, const Statement& statement) {
  if (const auto* select = std::get_if<SelectStatement>(&statement)) {
    ExecResult result;
    result.rows = RunSelect(db, *select);
    return result;
  }
  if (const auto* insert = std::get_if<InsertStatement>(&statement)) return RunInsert(db, *insert);
  if (const auto* index = std::get_if<CreateIndexStatement>(&statement)) {
    return RunCreateIndex(db, *index);
  }
  if (const auto* update = std::get_if<UpdateStatement>(&statement)) return RunUpdate(db, *update);
  if (const auto* del = std::get_if<DeleteStatement>(&statement)) return RunDelete(db, *del);
  if (std::holds_alternative<ForeignKeyStatement>(statement) ||
      std::holds_alternative<DropConstraintStatement>(statement)) {
    throw Error(Error::Kind::kNotSupported,
                "FOREIGN KEY constraints are not supported by this engine yet.");
  }
  const auto& create = std::get<CreateTableStatement>(statement);
  if (!create.foreign_keys.empty()) {
    throw Error(Error::Kind::kNotSupported,
                "FOREIGN KEY constraints are not supported by this engine yet.");
  }
  return RunCreateTable(db, create);
}
}  // namespace jet::sql
