#pragma once

// Query: one statement on a Connection with a client-side cursor over its whole result.
//
// Open runs the statement through the engine and keeps the engine row id of every row of the
// result, so an edited record is written back to exactly that row. The values of a result of one
// table are read by id when asked for, through a cache of a bounded number of rows; a result the
// engine cannot read back by id (a saved query run on the query engine) is kept whole. The
// cursor has a current record, a state (dsInactive, dsBrowse, dsEdit, dsInsert), and Bof/Eof
// flags set when a move hits either end.
//
// Pending edits: a record in dsEdit or dsInsert. Every move and every insert first settles it:
// posted when a field was assigned since the edit began (even to the same value), cancelled
// otherwise. A failed post keeps the record pending and the move does not happen.
//
// Errors: every failure throws jet::Error. The engine's errors pass through unchanged; this
// layer's own use kInvalidArgument ("Cannot perform this operation on an empty dataset", a
// closed query) and kNotFound ("Field '%s' not found").

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "database/field_types.h"

namespace jet {
class Value;
}

namespace database {

class Connection;
class Field;
class Query;
struct QueryData;

// The statement text as a list of lines, replaced whole: Clear, then Add. Any change closes the
// owning query. The engine receives every line followed by CR LF.
class SqlLines {
 public:
  void Clear();
  void Add(const QString& line);
  const QStringList& Lines() const { return lines_; }
  QString Text() const;
  int Count() const { return static_cast<int>(lines_.size()); }

 private:
  friend class Query;
  explicit SqlLines(Query* owner) : owner_(owner) {}
  Query* owner_;
  QStringList lines_;
};

class Query : public QObject {
  Q_OBJECT

 public:
  explicit Query(QObject* parent = nullptr);
  // Cancels a pending edit and detaches from the connection.
  ~Query() override;
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Connection* GetConnection() const { return connection_; }
  // Closes the query, then attaches it to `connection` (may be null).
  void SetConnection(Connection* connection);

  SqlLines& SQL() { return sql_; }
  const SqlLines& SQL() const { return sql_; }
  // Convenience: close, clear the text and add `statement` as its one line.
  void SetSQL(const QString& statement);

  // Runs the statement and keeps its row ids (or its rows, see the file comment); the first
  // record becomes current, Eof is set when there is none. Nothing when already open. Throws jet::Error (engine message) and stays
  // closed on failure.
  void Open();
  // Discards a pending edit or insert, drops the rows and the fields. Nothing when closed.
  void Close();
  bool Active() const { return state_ != dsInactive; }
  // Runs the text as a statement without rows; the query stays closed. Returns the number of
  // rows the statement wrote.
  int64_t ExecSQL();

  // Cursor moves; each settles a pending edit first (see the file comment).
  void First();
  bool FindFirst();  // First; true when there is a record
  void Prior();
  void Next();
  void Last();
  // Moves `distance` records (negative: back), stopping at either end and setting Bof/Eof.
  // Returns the distance actually moved.
  int MoveBy(int distance);
  // Makes the record at 0-based `index` current (a grid click). Settles first.
  void MoveTo(int index);

  // Records held, including a new record being inserted.
  int RecordCount() const;
  bool IsEmpty() const { return RecordCount() == 0; }
  // 1-based number of the current record; 0 when there is none.
  int RecNo() const { return current_ + 1; }
  // 0-based index of the current record; -1 when there is none.
  int CurrentIndex() const { return current_; }
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  TDataSetState State() const { return state_; }
  // Whether a field was assigned since the current edit or insert began.
  bool Modified() const { return modified_; }

  // dsBrowse -> dsEdit; nothing in dsEdit/dsInsert; on a query without records, Insert.
  void Edit();
  // Settles, then places a new empty record before the current one (dsInsert).
  void Insert();
  // Settles, then places a new empty record after the last one (dsInsert).
  void Append();
  // Writes a pending record to the file (update or insert) and returns to dsBrowse. Nothing
  // in other states. On failure throws and the record stays pending with its values.
  void Post();
  // Discards a pending edit (or removes the new record); dsBrowse. Nothing otherwise.
  void Cancel();
  // Deletes the current record from the file; in dsInsert cancels instead. On a query without
  // records throws "Cannot perform this operation on an empty dataset".
  void Delete();

  // Fields in result column order; empty while closed. Owned by the query, valid until Close.
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  Field* Fields(int index) const;  // throws jet::Error on a bad index
  // Case-insensitive lookup; FindField returns null, FieldByName throws "Field '%s' not found".
  Field* FindField(const QString& name) const;
  Field* FieldByName(const QString& name) const;

  // Rows of a keyset result kept in memory at most; applies at once. 0 (from the next Open on)
  // reads the whole result at Open and keeps it, as before keysets: the reference the keyset's
  // tests compare against.
  void SetRowCacheSize(size_t rows);
  size_t RowCacheSize() const { return cache_rows_; }

  // Read access to any record without moving the cursor (for grids): only the records asked
  // for are read.
  QVariant ValueAt(int record, int field) const;
  QString DisplayTextAt(int record, int field) const;
  bool IsNullAt(int record, int field) const;

  // The table the result came from (empty for results not tied to one table).
  QString TableName() const;

 signals:
  // Everything may differ: opened, closed or reloaded.
  void DataSetChanged();
  // A record is about to appear at / has appeared at 0-based `index` (insert); the Before
  // signal comes while RecordCount still gives the old count (for a model's beginInsertRows).
  void BeforeRecordInsert(int index);
  void RecordInserted(int index);
  // The same for a record leaving (cancel of an insert, delete).
  void BeforeRecordRemove(int index);
  void RecordRemoved(int index);
  // Values of the record at `index` changed (assignment, post, cancel of an edit).
  void RecordChanged(int index);
  // The current record is now `index` (-1: none).
  void CurrentChanged(int index);
  void StateChanged(database::TDataSetState state);
  // A record was written to the file (post of an edit or an insert, or a delete).
  void AfterWrite();

 private:
  friend class Connection;
  friend class Field;
  friend class SqlLines;

  void RequireActive(const char* operation) const;
  void RequireRecord() const;
  void RequireModifiable();
  void SettlePending();  // post when modified, else cancel; throws on a failed post
  void SetState(TDataSetState state);
  void SetCurrent(int index);
  void InsertRecord(int index);
  void RemoveRecord(int index);
  void BuildFields();
  void LoadTable();
  void WriteBack();
  void RereadCurrent();
  // For Field: the value of result column `column` in the current record (null when none),
  // the check before an assignment and the assignment itself.
  const jet::Value& CurrentCell(int column) const;
  // The values of record `index` (result columns), read through the cache when not held.
  const std::vector<jet::Value>& Row(int index) const;
  // Stores the written current record as the result's own (the buffer or the cache).
  void KeepCurrent(std::vector<jet::Value>&& row);
  void CheckAssignable(const Field& field) const;
  void AssignCell(int column, const jet::Value& value);
  void ConnectionClosing();  // from Connection::Close

  Connection* connection_ = nullptr;
  SqlLines sql_{this};
  std::unique_ptr<QueryData> data_;            // rows, columns, edit buffer; null while closed
  std::vector<std::unique_ptr<Field>> fields_;
  TDataSetState state_ = dsInactive;
  int current_ = -1;
  bool bof_ = true;
  bool eof_ = true;
  bool modified_ = false;
  size_t cache_rows_ = 2048;
};

}  // namespace database
