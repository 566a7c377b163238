#include "sql/executor.h"

#include <optional>
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
// The relationship a FOREIGN KEY clause asks for; `creating` is the table being created when the
// clause is part of CREATE TABLE.
Relationship ResolveForeignKey(const Database& db, const ForeignKeyStatement& fk,
                               const std::optional<TableSpec>& creating) {
  Relationship r;
  r.name = fk.name;
  r.referencing_table = fk.table.text;
  r.enforced = true;
  r.cascade_update = fk.cascade_update;
  r.cascade_delete = fk.cascade_delete;
  r.cascade_null = fk.cascade_null;
  const TableDef parent = ResolveTable(db, fk.referenced, Use::kWrite);
  r.referenced_table = parent.name;
  for (const Name& column : fk.columns) {
    if (creating) {
      bool found = false;
      for (const ColumnSpec& c : creating->columns)
        found = found || NamesEqual(c.name, column.text);
      if (!found) {
        throw Error(Error::Kind::kNotFound, "Unknown column '" + column.source +
                                                "' in FOREIGN KEY clause (table '" +
                                                fk.table.source + "').");
      }
      r.referencing_columns.push_back(column.text);
    } else {
      const TableDef child = ResolveTable(db, fk.table, Use::kWrite);
      r.referencing_columns.push_back(
          child.columns[ColumnIndex(child, column, "FOREIGN KEY clause")].name);
    }
  }
  if (fk.referenced_columns.empty()) {
    for (const Index& index : parent.indexes) {
      if (!index.primary) continue;
      for (const IndexColumn& ic : index.columns) {
        for (const Column& c : parent.columns) {
          if (c.number == ic.column_number) r.referenced_columns.push_back(c.name);
        }
      }
    }
    if (r.referenced_columns.size() != r.referencing_columns.size()) {
      throw Error(Error::Kind::kInvalidArgument,
                  "The FOREIGN KEY clause of '" + Utf8(fk.name) + "' names no columns of table '" +
                      fk.referenced.source + "', and its primary key does not match.");
    }
  }
  for (const Name& column : fk.referenced_columns) {
    r.referenced_columns.push_back(
        parent.columns[ColumnIndex(parent, column, "REFERENCES clause")].name);
  }
  return r;
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
  if (const auto* fk = std::get_if<ForeignKeyStatement>(&statement)) {
    db.AddRelationship(ResolveForeignKey(db, *fk, std::nullopt));
    return ExecResult();
  }
  if (const auto* drop = std::get_if<DropConstraintStatement>(&statement)) {
    // The constraint must be one of this table's: the referencing side names it.
    const TableDef table = db.GetTable(drop->table.text);
    const std::vector<Relationship> all = db.Relationships();
    const auto r = std::find_if(all.begin(), all.end(), [&](const Relationship& x) {
      return NamesEqual(x.name, drop->name.text) && NamesEqual(x.referencing_table, table.name);
    });
    if (r == all.end()) {
      throw Error(Error::Kind::kNotFound, "CHECK constraint '" + drop->name.source +
                                              "' does not exist on table '" +
                                              drop->table.source + "'.");
    }
    db.DropRelationship(r->name);
    return ExecResult();
  }
  if (const auto* drop = std::get_if<DropTableStatement>(&statement)) {
    db.DropTable(ResolveTable(db, drop->table, Use::kWrite).name);
    return ExecResult();
  }
  if (const auto* drop = std::get_if<DropIndexStatement>(&statement)) {
    db.DropIndex(ResolveTable(db, drop->table, Use::kWrite).name, drop->index.text);
    return ExecResult();
  }
  if (const auto* add = std::get_if<AddColumnStatement>(&statement)) {
    db.AddColumn(ResolveTable(db, add->table, Use::kWrite).name, add->column);
    return ExecResult();
  }
  if (const auto* drop = std::get_if<DropColumnStatement>(&statement)) {
    const TableDef table = ResolveTable(db, drop->table, Use::kWrite);
    db.DropColumn(table.name, table.columns[ColumnIndex(table, drop->column, "ALTER TABLE")].name);
    return ExecResult();
  }
  const auto& create = std::get<CreateTableStatement>(statement);
  // The referenced tables and columns are checked before the table is made.
  std::vector<Relationship> relationships;
  for (const ForeignKeyStatement& fk : create.foreign_keys) {
    relationships.push_back(ResolveForeignKey(db, fk, create.spec));
  }
  ExecResult result = RunCreateTable(db, create);
  for (const Relationship& r : relationships) db.AddRelationship(r);
  return result;
}
}  // namespace jet::sql
