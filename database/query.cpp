#include "database/query.h"

#include <algorithm>
#include <utility>

#include <QLocale>
#include <QRegularExpression>

#include "database/connection.h"
#include "database/field.h"
#include "database/field_values.h"
#include "database/query_data.h"
#include "jet/keyset.h"
#include "query/engine.h"
#include "query/saved_query.h"

namespace database {
namespace {

using Kind = jet::Error::Kind;

bool Pending(TDataSetState state) { return state == dsEdit || state == dsInsert; }

// A statement the engine's own dialect does not run (a saved query's page, joins, expressions)
// runs on the Access SQL engine. A page's "SELECT * FROM [name]" of a saved query opens it
// for editing when Access could update it.
jet::ResultSet RunOnQueryEngine(jet::Database& db, const std::string& sql, std::string* reason) {
  static const QRegularExpression kPage(
      QStringLiteral(R"(^\s*SELECT\s+\*\s+FROM\s+(?:\[([^\]]+)\]|(\w+))\s*;?\s*$)"),
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
  query::Engine engine(db);
  const QRegularExpressionMatch m = kPage.match(QString::fromStdString(sql));
  if (m.hasMatch()) {
    const QString captured = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
    const std::u16string name = captured.toStdU16String();
    if (query::FindSavedQuery(db, name)) return engine.OpenSavedQuery(name, reason);
  }
  jet::ExecResult r = engine.Execute(sql);
  if (!r.rows) {
    throw jet::Error(jet::Error::Kind::kInvalidArgument, "the statement returns no rows");
  }
  return std::move(*r.rows);
}

// Rows read around a missed one: the grid asks for its visible rows one cell at a time.
constexpr int kReadBehind = 16;
constexpr int kReadAhead = 48;

}  // namespace

// ---- SqlLines ----

void SqlLines::Clear() {
  owner_->Close();
  lines_.clear();
}

void SqlLines::Add(const QString& line) {
  owner_->Close();
  lines_.append(line);
}

QString SqlLines::Text() const {
  QString text;
  for (const QString& line : lines_) text += line + QLatin1String("\r\n");
  return text;
}

// ---- life cycle ----

Query::Query(QObject* parent) : QObject(parent) {}

Query::~Query() {
  // No notifications from a dying query: listeners may be half destroyed themselves.
  blockSignals(true);
  data_.reset();
  fields_.clear();
  if (connection_ != nullptr) connection_->Detach(this);
}

void Query::SetConnection(Connection* connection) {
  if (connection == connection_) return;
  Close();
  if (connection_ != nullptr) connection_->Detach(this);
  connection_ = connection;
  if (connection_ != nullptr) connection_->Attach(this);
}

void Query::SetSQL(const QString& statement) {
  sql_.Clear();
  sql_.Add(statement);
}

void Query::Open() {
  if (Active()) return;
  if (connection_ == nullptr) {
    Fail(Kind::kInvalidArgument, QStringLiteral("Missing Connection or ConnectionString"));
  }
  if (!connection_->Connected()) connection_->Open();
  auto data = std::make_unique<QueryData>(cache_rows_);
  const std::string sql = sql_.Text().toStdString();
  try {
    if (cache_rows_ == 0) {
      data->result = connection_->Engine().Query(sql);
    } else {
      jet::KeySet keys = jet::QueryKeys(connection_->Engine(), sql);
      data->keyed = true;
      data->result.table = keys.table.name;
      data->result.columns = std::move(keys.columns);
      data->result.row_ids = std::move(keys.row_ids);
      data->source = std::move(keys.table);
      data->picks = std::move(keys.picks);
    }
  } catch (const jet::Error& e) {
    if (e.kind() != Kind::kNotSupported) throw;
    data->result = RunOnQueryEngine(connection_->Engine(), sql, &data->read_only_reason);
  }
  data->blank.resize(data->result.columns.size());
  data_ = std::move(data);
  BuildFields();
  const bool empty = RecordCount() == 0;
  current_ = empty ? -1 : 0;
  bof_ = true;
  eof_ = empty;
  modified_ = false;
  state_ = dsBrowse;
  emit DataSetChanged();
  emit StateChanged(state_);
  emit CurrentChanged(current_);
}

void Query::BuildFields() {
  fields_.clear();
  const jet::Format format = connection_->Engine().format();
  const auto& columns = data_->result.columns;
  for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
    const jet::Column& column = columns[static_cast<size_t>(c)];
    const TFieldType type = FieldTypeOf(column);
    if (type == ftUnknown) continue;  // a type the data layer does not know: no field
    int size = 0;
    if (column.type == jet::ColumnType::kText) size = column.max_chars(format);
    if (column.type == jet::ColumnType::kBinary) size = column.length;
    fields_.push_back(std::unique_ptr<Field>(new Field(this, FieldCount(), c,
                                                       ToQString(column.name), type,
                                                       type == ftAutoInc, size)));
  }
}

void Query::Close() {
  if (!Active()) return;
  data_.reset();  // a pending edit or insert goes with the buffer: nothing is written
  fields_.clear();
  current_ = -1;
  bof_ = eof_ = true;
  modified_ = false;
  state_ = dsInactive;
  emit DataSetChanged();
  emit StateChanged(state_);
  emit CurrentChanged(current_);
}

void Query::ConnectionClosing() { Close(); }

int64_t Query::ExecSQL() {
  if (connection_ == nullptr) {
    Fail(Kind::kInvalidArgument, QStringLiteral("Missing Connection or ConnectionString"));
  }
  if (!connection_->Connected()) connection_->Open();
  return connection_->Engine().Execute(sql_.Text().toStdString()).affected;
}

// ---- cursor ----

void Query::RequireActive(const char* /*operation*/) const {
  if (!Active()) {
    Fail(Kind::kInvalidArgument,
         QStringLiteral("Cannot perform this operation on a closed dataset"));
  }
}

void Query::RequireRecord() const {
  if (RecordCount() == 0) {
    Fail(Kind::kInvalidArgument,
         QStringLiteral("Cannot perform this operation on an empty dataset"));
  }
}

int Query::RecordCount() const {
  if (!data_) return 0;
  return static_cast<int>(data_->keyed ? data_->result.row_ids.size() : data_->result.rows.size());
}

void Query::SetRowCacheSize(size_t rows) {
  cache_rows_ = rows;
  if (data_ && rows != 0) data_->cache.SetCapacity(rows);
}

const std::vector<jet::Value>& Query::Row(int index) const {
  if (data_->holds_pending && index == current_) return data_->pending;
  if (!data_->keyed) return data_->result.rows[static_cast<size_t>(index)];
  const auto& ids = data_->result.row_ids;
  const jet::RowId id = ids[static_cast<size_t>(index)];
  if (id.page == 0) return data_->blank;  // a new record not written yet
  if (const std::vector<jet::Value>* row = data_->cache.Find(id)) return *row;
  // Read the missed row with its neighbours in one pass, as many as the cache keeps beside it.
  const int room = static_cast<int>(std::min<size_t>(data_->cache.capacity(), kReadAhead));
  const int first = std::max(0, index - std::min(kReadBehind, (room - 1) / 4));
  const int last = std::min(RecordCount(), first + room);
  std::vector<jet::RowId> wanted;
  for (int i = first; i < last; ++i) {
    const jet::RowId other = ids[static_cast<size_t>(i)];
    if (other.page != 0 && (i == index || !data_->cache.Contains(other))) wanted.push_back(other);
  }
  auto rows = jet::ReadRows(connection_->Engine(), data_->source, wanted);
  std::vector<jet::Value> mine;
  for (size_t i = 0; i < wanted.size(); ++i) {
    // A row gone from the file (deleted through another query) shows as empty.
    std::vector<jet::Value> row(data_->picks.size());
    if (rows[i]) {
      for (size_t r = 0; r < row.size(); ++r) row[r] = (*rows[i])[data_->picks[r]];
    }
    if (wanted[i] == id) {
      mine = std::move(row);
    } else {
      data_->cache.Put(wanted[i], std::move(row));
    }
  }
  // The row asked for goes in last, so that no other Put evicts it before the caller reads it.
  return data_->cache.Put(id, std::move(mine));
}

void Query::KeepCurrent(std::vector<jet::Value>&& row) {
  const size_t at = static_cast<size_t>(current_);
  if (data_->keyed) {
    data_->cache.Put(data_->result.row_ids[at], std::move(row));
  } else {
    data_->result.rows[at] = std::move(row);
  }
}

void Query::SetState(TDataSetState state) {
  if (state == state_) return;
  state_ = state;
  emit StateChanged(state_);
}

void Query::SetCurrent(int index) {
  if (index == current_) return;
  current_ = index;
  emit CurrentChanged(current_);
}

void Query::SettlePending() {
  if (!Pending(state_)) return;
  if (modified_) {
    Post();
  } else {
    Cancel();
  }
}

void Query::First() {
  RequireActive("First");
  SettlePending();
  bof_ = true;
  eof_ = RecordCount() == 0;
  SetCurrent(eof_ ? -1 : 0);
}

bool Query::FindFirst() {
  First();
  return RecordCount() > 0;
}

void Query::Last() {
  RequireActive("Last");
  SettlePending();
  eof_ = true;
  bof_ = RecordCount() == 0;
  SetCurrent(RecordCount() - 1);
}

void Query::Prior() { MoveBy(-1); }

void Query::Next() { MoveBy(1); }

int Query::MoveBy(int distance) {
  RequireActive("MoveBy");
  SettlePending();
  const int count = RecordCount();
  if (count == 0) {
    bof_ = eof_ = true;
    return 0;
  }
  if (distance == 0) return 0;
  bof_ = eof_ = false;
  int target = current_ + distance;
  if (target >= count) {
    target = count - 1;
    eof_ = true;
  } else if (target < 0) {
    target = 0;
    bof_ = true;
  }
  const int moved = target - current_;
  SetCurrent(target);
  return moved;
}

void Query::MoveTo(int index) {
  RequireActive("MoveTo");
  SettlePending();
  if (index < 0 || index >= RecordCount()) return;
  bof_ = eof_ = false;
  SetCurrent(index);
}

// ---- editing ----

void Query::LoadTable() {
  if (data_->table_loaded) return;
  const std::u16string& name = data_->result.table;
  if (name.empty()) {
    Fail(Kind::kNotSupported, data_->read_only_reason.empty()
                                  ? QStringLiteral("Cannot modify a read-only dataset")
                                  : QString::fromStdString(data_->read_only_reason));
  }
  jet::TableDef table = connection_->Engine().GetTable(name);
  std::vector<int> result_column(table.columns.size(), -1);
  const auto& columns = data_->result.columns;
  for (size_t t = 0; t < table.columns.size(); ++t) {
    const QString table_name = ToQString(table.columns[t].name);
    for (size_t r = 0; r < columns.size(); ++r) {
      if (table_name.compare(ToQString(columns[r].name), Qt::CaseInsensitive) == 0) {
        result_column[t] = static_cast<int>(r);
        break;
      }
    }
  }
  data_->table = std::move(table);
  data_->result_column = std::move(result_column);
  data_->table_loaded = true;
}

void Query::RequireModifiable() {
  if (connection_ == nullptr || !connection_->Connected() || connection_->ReadOnly()) {
    Fail(Kind::kNotSupported, QStringLiteral("Cannot modify a read-only dataset"));
  }
  LoadTable();
}

void Query::Edit() {
  RequireActive("Edit");
  if (Pending(state_)) return;
  if (RecordCount() == 0) {
    Insert();
    return;
  }
  RequireModifiable();
  data_->pending = Row(current_);
  data_->holds_pending = true;
  modified_ = false;
  SetState(dsEdit);
}

void Query::InsertRecord(int index) {
  emit BeforeRecordInsert(index);
  auto& result = data_->result;
  if (!data_->keyed) {
    result.rows.insert(result.rows.begin() + index, std::vector<jet::Value>(result.columns.size()));
  }
  result.row_ids.insert(result.row_ids.begin() + index, jet::RowId{});
  emit RecordInserted(index);
}

void Query::RemoveRecord(int index) {
  emit BeforeRecordRemove(index);
  auto& result = data_->result;
  if (data_->keyed) {
    if (result.row_ids[static_cast<size_t>(index)].page != 0) {
      data_->cache.Erase(result.row_ids[static_cast<size_t>(index)]);
    }
  } else {
    result.rows.erase(result.rows.begin() + index);
  }
  result.row_ids.erase(result.row_ids.begin() + index);
  emit RecordRemoved(index);
}

void Query::Insert() {
  RequireActive("Insert");
  SettlePending();
  RequireModifiable();
  const int at = std::max(current_, 0);
  InsertRecord(at);
  data_->pending = data_->blank;
  data_->holds_pending = true;
  modified_ = false;
  bof_ = eof_ = false;
  state_ = dsInsert;
  current_ = at;  // the new record, even when the index is the same as before
  emit CurrentChanged(current_);
  emit StateChanged(state_);
}

void Query::Append() {
  RequireActive("Append");
  SettlePending();
  RequireModifiable();
  const int at = RecordCount();
  InsertRecord(at);
  data_->pending = data_->blank;
  data_->holds_pending = true;
  modified_ = false;
  bof_ = eof_ = false;
  state_ = dsInsert;
  current_ = at;
  emit CurrentChanged(current_);
  emit StateChanged(state_);
}

void Query::WriteBack() {
  jet::Database& db = connection_->Engine();
  LoadTable();
  const size_t at = static_cast<size_t>(current_);
  const auto& row = data_->pending;
  auto& id = data_->result.row_ids[at];
  const jet::TableDef& table = data_->table;
  std::vector<jet::Value> full(table.columns.size());
  const bool complete = std::find(data_->result_column.begin(), data_->result_column.end(), -1) ==
                        data_->result_column.end();
  if (state_ == dsEdit && !complete) full = db.ReadRow(table, id);  // columns not selected
  for (size_t t = 0; t < full.size(); ++t) {
    const int r = data_->result_column[t];
    if (r >= 0) full[t] = row[static_cast<size_t>(r)];
  }
  if (state_ == dsInsert) {
    id = db.InsertRow(table.name, full);
  } else {
    db.UpdateRow(table.name, id, full);
  }
}

void Query::RereadCurrent() {
  // The engine fills autonumbers and normalises values: show the row as stored.
  const size_t at = static_cast<size_t>(current_);
  const std::vector<jet::Value> stored =
      connection_->Engine().ReadRow(data_->table, data_->result.row_ids[at]);
  std::vector<jet::Value> row = Row(current_);
  for (size_t t = 0; t < stored.size() && t < data_->result_column.size(); ++t) {
    const int r = data_->result_column[t];
    if (r >= 0) row[static_cast<size_t>(r)] = stored[t];
  }
  KeepCurrent(std::move(row));
}

void Query::Post() {
  if (!Pending(state_)) return;
  WriteBack();  // throws: the record stays pending with its values
  data_->holds_pending = false;
  KeepCurrent(std::move(data_->pending));
  data_->pending.clear();
  modified_ = false;
  SetState(dsBrowse);
  emit AfterWrite();
  RereadCurrent();  // the write is done: a failure here no longer makes the record pending
  emit RecordChanged(current_);
}

void Query::Cancel() {
  if (state_ == dsEdit) {
    data_->holds_pending = false;
    data_->pending.clear();
    modified_ = false;
    SetState(dsBrowse);
    emit RecordChanged(current_);
  } else if (state_ == dsInsert) {
    const int at = current_;
    // Listeners of the removal read the records around it: the new one is gone by then.
    data_->holds_pending = false;
    data_->pending.clear();
    RemoveRecord(at);
    modified_ = false;
    if (RecordCount() == 0) bof_ = eof_ = true;
    state_ = dsBrowse;
    current_ = -2;  // force the notification: the record at `at` is a different one now
    SetCurrent(std::min(at, RecordCount() - 1));
    emit StateChanged(state_);
  }
}

void Query::Delete() {
  RequireActive("Delete");
  if (state_ == dsInsert) {
    Cancel();
    return;
  }
  RequireRecord();
  RequireModifiable();
  Cancel();  // pending changes of an edited record are dropped, not posted
  const int at = current_;
  const jet::RowId id = data_->result.row_ids[static_cast<size_t>(at)];
  connection_->Engine().DeleteRow(data_->table.name, id);
  emit AfterWrite();
  RemoveRecord(at);
  const int count = RecordCount();
  bof_ = eof_ = count == 0;
  current_ = -2;
  SetCurrent(std::min(at, count - 1));
}

// ---- fields ----

Field* Query::Fields(int index) const {
  if (index < 0 || index >= FieldCount()) {
    Fail(Kind::kInvalidArgument, QStringLiteral("List index out of bounds (%1)").arg(index));
  }
  return fields_[static_cast<size_t>(index)].get();
}

Field* Query::FindField(const QString& name) const {
  for (const auto& field : fields_) {
    if (field->FieldName().compare(name, Qt::CaseInsensitive) == 0) return field.get();
  }
  return nullptr;
}

Field* Query::FieldByName(const QString& name) const {
  Field* field = FindField(name);
  if (field == nullptr) Fail(Kind::kNotFound, QStringLiteral("Field '%1' not found").arg(name));
  return field;
}

const jet::Value& Query::CurrentCell(int column) const {
  if (!data_ || current_ < 0) {
    static const jet::Value kNull;
    return kNull;
  }
  return Row(current_)[static_cast<size_t>(column)];
}

void Query::CheckAssignable(const Field& field) const {
  RequireActive("Assign");
  if (!Pending(state_)) {
    Fail(Kind::kInvalidArgument, QStringLiteral("Dataset not in edit or insert mode"));
  }
  if (field.ReadOnly()) {
    Fail(Kind::kInvalidArgument,
         QStringLiteral("Field '%1' cannot be modified").arg(field.FieldName()));
  }
}

void Query::AssignCell(int column, const jet::Value& value) {
  data_->pending[static_cast<size_t>(column)] = value;
  modified_ = true;
  emit RecordChanged(current_);
}

QVariant Query::ValueAt(int record, int field) const {
  if (record < 0 || record >= RecordCount() || field < 0 || field >= FieldCount()) {
    return QVariant();
  }
  const Field& f = *fields_[static_cast<size_t>(field)];
  return ToVariant(Row(record)[static_cast<size_t>(f.column_)], f.DataType());
}

QString Query::DisplayTextAt(int record, int field) const {
  if (field < 0 || field >= FieldCount()) return QString();
  const Field& f = *fields_[static_cast<size_t>(field)];
  if (record < 0 || record >= RecordCount()) {
    return DisplayText(jet::Value(), f.DataType(), QLocale());
  }
  return DisplayText(Row(record)[static_cast<size_t>(f.column_)], f.DataType(), QLocale());
}

bool Query::IsNullAt(int record, int field) const {
  if (record < 0 || record >= RecordCount() || field < 0 || field >= FieldCount()) return true;
  const Field& f = *fields_[static_cast<size_t>(field)];
  return Row(record)[static_cast<size_t>(f.column_)].is_null();
}

QString Query::TableName() const { return data_ ? ToQString(data_->result.table) : QString(); }

}  // namespace database
