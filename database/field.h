#pragma once

// Field: one column of an open query's result, read and written through the current record.
//
// Value is a QVariant (invalid for NULL, and for every field when the query holds no record).
// DisplayText is the text a grid shows: digits without grouping for integers, the locale's
// decimal separator for floats and decimals, "True"/"False", the locale's short date plus long
// time for date-times (time left out at midnight), and a tag such as "(MEMO)" for long values
// ("(Memo)" when null). The locale is QLocale(), which is the system locale unless the program
// set another default.

#include <cstdint>

#include <QString>
#include <QVariant>

#include "database/field_types.h"

namespace database {

class Query;

class Field {
 public:
  Field(const Field&) = delete;
  Field& operator=(const Field&) = delete;

  const QString& FieldName() const { return name_; }
  // No display label is ever set: always the field name.
  const QString& DisplayName() const { return name_; }
  TFieldType DataType() const { return type_; }
  // 0-based position among the query's fields.
  int Index() const { return index_; }
  // Autonumber columns are read-only; assigning to them throws.
  bool ReadOnly() const { return read_only_; }
  // Characters for text, bytes for binary, 0 otherwise.
  int Size() const { return size_; }
  Query* DataSet() const { return query_; }

  QVariant Value() const;
  bool IsNull() const;
  QString DisplayText() const;
  // The value as text: the content for memo fields, otherwise the display text.
  QString AsString() const;
  int64_t AsInteger() const;  // 0 for NULL; throws when the value is not a number

  // Assignments need dsEdit or dsInsert (throws otherwise), mark the record modified and
  // convert to the column's type, throwing jet::Error when the value does not fit (text too
  // long, number out of range, not a number or date). An invalid QVariant stores NULL, and so
  // does an empty text for every type but text and memo, which keep the empty text.
  void SetValue(const QVariant& value);
  void SetAsString(const QString& text);
  void SetAsInteger(int64_t value);
  void Clear();  // stores NULL

 private:
  friend class Query;
  Field(Query* query, int index, int column, QString name, TFieldType type, bool read_only,
        int size);

  Query* query_;
  int index_;   // position among the fields
  int column_;  // position among the result's columns (unmapped columns have no field)
  QString name_;
  TFieldType type_;
  bool read_only_;
  int size_;
};

}  // namespace database
