#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/error.h"
#include "jet/schema.h"
#include "jet/sync_mode.h"
#include "jet/value.h"

namespace jet {

class DatabaseImpl;
class FileSystem;

enum class OpenMode { kReadOnly, kReadWrite };

struct OpenOptions {
  OpenMode mode = OpenMode::kReadOnly;
  SyncMode sync = SyncMode::kFull;
  FileSystem* file_system = nullptr;  // the operating system's files when null (tests replace it)
};

// The rows of a SELECT, fully buffered. Values follow `columns`.
struct ResultSet {
  std::u16string table;
  std::vector<Column> columns;
  std::vector<RowId> row_ids;
  std::vector<std::vector<Value>> rows;
};

struct ExecResult {
  std::optional<ResultSet> rows;  // set for SELECT
  int64_t affected = 0;           // rows written by other statements
};

// The statements of a script, cut at every ';' outside quoted texts and bracketed names but for
// the one ending a PARAMETERS declaration (blank ones left out). Throws kInvalidArgument for an unterminated text or bracket.
std::vector<std::string_view> SplitStatements(std::string_view script);

// One open .mdb file. Not thread-safe; one object per thread.
//
// Every write outside a transaction is one commit, on disk when the call returns (synced in
// SyncMode::kFull). A commit happens completely or not at all, whatever stops the program: it
// goes through a rollback journal beside the file. A rejected or failed write leaves the file
// unchanged. Readers in other programs never see half a commit.
class Database {
 public:
  // Opens the file at `path`. Throws Error (kNotFound, kNotSupported, kCorrupt, kIo, kLocked).
  // A file asked for writing opens read-only, with read_only_reason() saying why, when its
  // journal cannot be created or Access holds its lock file (NAME.ldb) elsewhere.
  static std::unique_ptr<Database> Open(const std::string& path,
                                        OpenMode mode = OpenMode::kReadOnly);
  static std::unique_ptr<Database> Open(const std::string& path, const OpenOptions& options);
  // Creates a new empty Jet4 database at `path` (which must not exist) and opens it for writing.
  static std::unique_ptr<Database> Create(const std::string& path);

  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& path() const;
  Format format() const;
  uint16_t code_page() const;
  uint16_t sort_order() const;
  bool read_only() const;
  // Why a database asked for writing was opened read-only; empty otherwise.
  const std::string& read_only_reason() const;
  SyncMode sync_mode() const;
  void set_sync_mode(SyncMode sync);

  // A transaction: the writes after Begin() stay in memory (every read of this handle sees them)
  // until Commit() writes them all as one commit; Rollback() drops them and leaves the file as it
  // was. A write refused inside a transaction changes nothing and leaves the transaction open.
  // A failed Commit() rolls the transaction back. Closing the handle rolls back an open one.
  void Begin();
  void Commit();
  void Rollback();
  bool in_transaction() const;

  // Every live object of the system catalog.
  std::vector<CatalogObject> Objects() const;
  // The TABLES listing: user tables ("TABLE") then saved select queries ("VIEW"), each by name
  // compared case-insensitively. System tables, linked tables and action queries are left out.
  std::vector<TableListEntry> ListTables() const;
  // The definition of a local table (user or system), found case-insensitively. Throws kNotFound.
  TableDef GetTable(std::u16string_view name) const;

  // Every relationship of MSysRelationships, by name; columns in their stored order. A file
  // without that table has none. Throws kCorrupt when its rows are inconsistent.
  std::vector<Relationship> Relationships() const;

  // Calls `fn` for every live row in table-scan order (owned data pages in page order, rows in
  // slot order), values in the order of `table.columns`. `fn` returns false to stop early.
  void Scan(const TableDef& table,
            const std::function<bool(RowId, std::vector<Value>&)>& fn) const;
  // Reads one row by id. Throws kNotFound when the slot holds no live row.
  std::vector<Value> ReadRow(const TableDef& table, RowId id) const;
  // The rows whose key in `index` (one of `table.indexes`) equals the key of `key` (values of the
  // index's columns, in index order, each of its column's type), found by walking the index, in
  // index order. Nullopt when the index cannot answer exactly: a key this engine can only
  // approximate (text in a sort order or with characters whose codes are not established), or a
  // NULL in an index that leaves NULLs out. Throws kInvalidArgument for a value of another type.
  std::optional<std::vector<RowId>> SeekIndex(const TableDef& table, const Index& index,
                                              const std::vector<Value>& key) const;

  // Runs one statement of the engine's SQL dialect. BEGIN, COMMIT and ROLLBACK (each optionally
  // followed by TRANSACTION) call Begin(), Commit() and Rollback().
  ExecResult Execute(std::string_view sql);
  // Runs a SELECT statement. Throws kInvalidArgument for anything else.
  ResultSet Query(std::string_view sql) const;

  // Row writes. `values` follow `GetTable(table).columns`; a null autonumber is assigned.
  // Relationships with referential integrity are enforced: a referencing row needs its
  // referenced row, and deleting or re-keying a referenced row is refused or cascades as the
  // relationship says. A write and all its cascades are one commit.
  RowId InsertRow(std::u16string_view table, const std::vector<Value>& values);
  void UpdateRow(std::u16string_view table, RowId id, const std::vector<Value>& values);
  void DeleteRow(std::u16string_view table, RowId id);
  // Several rows of one table in one commit; return the rows written, cascades included.
  int64_t UpdateRows(std::u16string_view table,
                     const std::vector<std::pair<RowId, std::vector<Value>>>& rows);
  int64_t DeleteRows(std::u16string_view table, const std::vector<RowId>& ids);

  // Schema writes. A table that holds rows gets its new index built from them; a primary key
  // over duplicate or NULL values is refused and nothing changes.
  void CreateIndex(std::u16string_view table, const IndexSpec& spec);
  void CreateTable(const TableSpec& spec);
  // Removes a user table (its catalog row, definition, rows, indexes and long values; their
  // pages become free) or one index of a table. Refused with kConstraint while a relationship
  // uses the table or the index, and with kNotFound for an unknown name; a refused drop
  // changes nothing.
  void DropTable(std::u16string_view name);
  void DropIndex(std::u16string_view table, std::u16string_view index);
  // ALTER TABLE ... ADD [COLUMN] / DROP [COLUMN], as Access stores them: only the table's
  // definition changes (rows written before an ADD read NULL, or No, in the new column; rows keep
  // a dropped column's bytes). Refused, with nothing changed, for an unknown table or column, a
  // name already used, NOT NULL or AutoNumber on a table that holds rows, a row that would pass
  // the format's size, more than 255 column numbers, dropping the last column, or one that an
  // index (kConstraint) or a relationship (kConstraint) uses.
  void AddColumn(std::u16string_view table, const ColumnSpec& column);
  void DropColumn(std::u16string_view table, std::u16string_view column);
  // Adds the relationship `r` (name, tables, columns, enforced and cascade flags; `flags` is
  // derived from them) as Access stores it. With referential integrity the referenced columns
  // need a unique index and every existing referencing row its referenced row.
  void AddRelationship(const Relationship& r);
  // Removes relationship `name`: its MSysRelationships rows and, with referential integrity, the
  // indexes it added to both tables. One commit.
  void DropRelationship(std::u16string_view name);


 private:
  // The engine's internals are reached only through DatabaseInternals (db/database_impl.h): the
  // checker reads pages beside the API, and white-box tests look at pages and indexes directly.
  friend struct DatabaseInternals;
  explicit Database(std::unique_ptr<DatabaseImpl> impl);
  std::unique_ptr<DatabaseImpl> impl_;
};

}  // namespace jet
