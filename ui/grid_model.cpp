#include "ui/grid_model.h"

#include "database/data_source.h"
#include "database/field.h"
#include "database/query.h"

namespace ui {

using database::Query;

const QString GridModel::kBrowseMark = QStringLiteral("\u25B6");  // ▶
const QString GridModel::kEditMark = QStringLiteral("\u270E");    // ✎
const QString GridModel::kInsertMark = QStringLiteral("I");

GridModel::GridModel(const HandlerContext& context, QObject* parent)
    : QAbstractTableModel(parent), context_(context) {}

void GridModel::SetDataSource(database::DataSource* source) {
  if (source_ == source) return;
  if (source_) disconnect(source_, nullptr, this, nullptr);
  source_ = source;
  if (source_) {
    using database::DataSource;
    connect(source_, &DataSource::DataSetReplaced, this, &GridModel::Reset);
    connect(source_, &DataSource::DataSetChanged, this, &GridModel::Reset);
    connect(source_, &DataSource::BeforeRecordInsert, this, &GridModel::OnBeforeRecordInsert);
    connect(source_, &DataSource::RecordInserted, this, &GridModel::OnRecordInserted);
    connect(source_, &DataSource::BeforeRecordRemove, this, &GridModel::OnBeforeRecordRemove);
    connect(source_, &DataSource::RecordRemoved, this, &GridModel::OnRecordRemoved);
    connect(source_, &DataSource::RecordChanged, this, &GridModel::OnRecordChanged);
    connect(source_, &DataSource::CurrentChanged, this, &GridModel::OnCurrentChanged);
    connect(source_, &DataSource::StateChanged, this, &GridModel::RefreshIndicator);
    connect(source_, &QObject::destroyed, this, &GridModel::Reset);
  }
  Reset();
}

Query* GridModel::Query() const { return source_ ? source_->DataSet() : nullptr; }

void GridModel::Reset() {
  // A reset never arrives inside an insertion or removal; should it, that one is closed first.
  if (pending_ == Pending::kInsert) endInsertRows();
  if (pending_ == Pending::kRemove) endRemoveRows();
  if (pending_ != Pending::kNone) --changing_;
  pending_ = Pending::kNone;
  ++changing_;
  beginResetModel();
  const database::Query* query = Query();
  const bool active = query != nullptr && query->Active();
  rows_ = active ? query->RecordCount() : 0;
  columns_ = active ? query->FieldCount() : 0;
  indicator_row_ = active ? query->CurrentIndex() : -1;
  endResetModel();
  --changing_;
  emit CurrentRecordChanged(indicator_row_);
}

// Insertions and removals come in pairs: the Before signal while the query still holds the old
// rows, the other once it holds the new ones, which is exactly the begin/end protocol of Qt.
void GridModel::OnBeforeRecordInsert(int index) {
  if (pending_ != Pending::kNone || index < 0 || index > rows_) return;
  pending_ = Pending::kInsert;
  ++changing_;
  beginInsertRows(QModelIndex(), index, index);
}

void GridModel::OnRecordInserted(int index) {
  if (pending_ != Pending::kInsert) return Reset();
  pending_ = Pending::kNone;
  ++rows_;
  if (indicator_row_ >= index) ++indicator_row_;
  endInsertRows();
  --changing_;
}

void GridModel::OnBeforeRecordRemove(int index) {
  if (pending_ != Pending::kNone || index < 0 || index >= rows_) return;
  pending_ = Pending::kRemove;
  ++changing_;
  beginRemoveRows(QModelIndex(), index, index);
}

void GridModel::OnRecordRemoved(int index) {
  if (pending_ != Pending::kRemove) return Reset();
  pending_ = Pending::kNone;
  --rows_;
  if (indicator_row_ > index) {
    --indicator_row_;
  } else if (indicator_row_ == index) {
    indicator_row_ = -1;
  }
  endRemoveRows();
  --changing_;
}

void GridModel::OnRecordChanged(int index) {
  if (index < 0 || index >= rows_ || columns_ == 0) return;
  emit dataChanged(this->index(index, 0), this->index(index, columns_ - 1));
  emit headerDataChanged(Qt::Vertical, index, index);
}

void GridModel::OnCurrentChanged(int index) {
  const int previous = indicator_row_;
  indicator_row_ = (index >= 0 && index < rows_) ? index : -1;
  if (previous >= 0 && previous < rows_) emit headerDataChanged(Qt::Vertical, previous, previous);
  if (indicator_row_ >= 0) emit headerDataChanged(Qt::Vertical, indicator_row_, indicator_row_);
  emit CurrentRecordChanged(indicator_row_);
}

void GridModel::RefreshIndicator() {
  if (indicator_row_ >= 0 && indicator_row_ < rows_)
    emit headerDataChanged(Qt::Vertical, indicator_row_, indicator_row_);
}

int GridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int GridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns_;
}

bool GridModel::ValidCell(const QModelIndex& index) const {
  const database::Query* query = Query();
  return index.isValid() && query != nullptr && query->Active() && index.row() < rows_ &&
         index.column() < columns_ && index.row() < query->RecordCount() &&
         index.column() < query->FieldCount();
}

namespace {

bool IsNumeric(database::TFieldType type) {
  switch (type) {
    case database::ftSmallint:
    case database::ftInteger:
    case database::ftWord:
    case database::ftAutoInc:
    case database::ftLargeint:
    case database::ftFloat:
    case database::ftCurrency:
    case database::ftBCD:
    case database::ftFMTBcd:
      return true;
    default:
      return false;
  }
}

}  // namespace

QVariant GridModel::data(const QModelIndex& index, int role) const {
  if (!ValidCell(index)) return {};
  if (role == Qt::TextAlignmentRole) {
    // Numbers line up on the right, everything else on the left.
    const bool numeric = IsNumeric(Query()->Fields(index.column())->DataType());
    return QVariant::fromValue(Qt::AlignVCenter | (numeric ? Qt::AlignRight : Qt::AlignLeft));
  }
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  try {
    return Query()->DisplayTextAt(index.row(), index.column());
  } catch (const std::exception&) {
    return {};  // a cell that cannot be read shows empty; painting must never throw
  }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  const database::Query* query = Query();
  if (query == nullptr || !query->Active()) return {};
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= columns_ || section >= query->FieldCount()) return {};
    return query->Fields(section)->DisplayName();
  }
  if (section < 0 || section >= rows_ || section != indicator_row_) return QString();
  switch (query->State()) {
    case database::dsEdit:
      return kEditMark;
    case database::dsInsert:
      return kInsertMark;
    default:
      return kBrowseMark;
  }
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
  if (!ValidCell(index)) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
  const database::Field* field = Query()->Fields(index.column());
  if (!field->ReadOnly() && !database::IsTaggedType(field->DataType())) {
    flags |= Qt::ItemIsEditable;
  }
  return flags;
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
  database::Query* query = Query();
  const QString text = value.toString();
  // Confirming an editor without a change assigns nothing, so the record stays unmodified.
  if (text == query->DisplayTextAt(index.row(), index.column())) return false;
  return context_.Run([&] {
    if (query->CurrentIndex() != index.row()) query->MoveTo(index.row());
    query->Edit();
    query->Fields(index.column())->SetAsString(text);
  });
}

}  // namespace ui
