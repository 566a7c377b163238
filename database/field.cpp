#include "database/field.h"

#include <utility>

#include <QLocale>

#include "database/field_values.h"
#include "database/query.h"
#include "database/query_data.h"

namespace database {

Field::Field(Query* query, int index, int column, QString name, TFieldType type, bool read_only,
             int size)
    : query_(query),
      index_(index),
      column_(column),
      name_(std::move(name)),
      type_(type),
      read_only_(read_only),
      size_(size) {}

QVariant Field::Value() const { return ToVariant(query_->CurrentCell(column_), type_); }

bool Field::IsNull() const { return query_->CurrentCell(column_).is_null(); }

QString Field::DisplayText() const {
  return database::DisplayText(query_->CurrentCell(column_), type_, QLocale());
}

QString Field::AsString() const {
  const jet::Value& cell = query_->CurrentCell(column_);
  if (const auto* text = std::get_if<std::u16string>(&cell.storage())) {
    return ToQString(*text);
  }
  if (cell.is_null() && IsTaggedType(type_)) return QString();
  return database::DisplayText(cell, type_, QLocale());
}

int64_t Field::AsInteger() const {
  const QVariant value = Value();
  if (!value.isValid()) return 0;
  bool ok = false;
  const qlonglong n = value.toLongLong(&ok);
  if (!ok) {
    Fail(jet::Error::Kind::kInvalidArgument,
         QStringLiteral("'%1' is not a valid integer value").arg(AsString()));
  }
  return n;
}

void Field::SetValue(const QVariant& value) {
  query_->CheckAssignable(*this);
  const jet::Column& column = query_->data_->result.columns[static_cast<size_t>(column_)];
  query_->AssignCell(column_, ValueFromVariant(value, column, type_, QLocale()));
}

void Field::SetAsString(const QString& text) {
  query_->CheckAssignable(*this);
  const jet::Column& column = query_->data_->result.columns[static_cast<size_t>(column_)];
  query_->AssignCell(column_, ValueFromText(text, column, type_, QLocale()));
}

void Field::SetAsInteger(int64_t value) {
  query_->CheckAssignable(*this);
  const jet::Column& column = query_->data_->result.columns[static_cast<size_t>(column_)];
  query_->AssignCell(column_, ValueFromInteger(value, column, type_));
}

void Field::Clear() {
  query_->CheckAssignable(*this);
  query_->AssignCell(column_, jet::Value());
}

}  // namespace database
