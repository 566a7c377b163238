#pragma once

// Conversions between the engine's values and the data layer's: the TFieldType of a column, the
// QVariant and display text of a value, and the engine value for a text or number assigned to a
// field. Internal to database/.

#include <cstdint>
#include <string_view>

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>
#include <QVariant>

#include "database/field_types.h"
#include "jet/error.h"
#include "jet/schema.h"
#include "jet/value.h"

namespace database {

// Engine text (names, text values) as a QString.
inline QString ToQString(std::u16string_view s) {
  return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

// The field type a column arrives as; ftUnknown for a column that gets no field.
TFieldType FieldTypeOf(const jet::Column& column);

// The value as a QVariant: invalid for NULL; int / qlonglong for integers, double for floats and
// ftBCD, QString for ftFMTBcd (exact digits), text and GUIDs, bool, QDateTime (UTC, no zone
// shift) for dates, QByteArray for bytes.
QVariant ToVariant(const jet::Value& value, TFieldType type);

// The display text of `value` for a field of `type` (see field.h).
QString DisplayText(const jet::Value& value, TFieldType type, const QLocale& locale);

// The general number format: at most `digits` significant digits, no grouping, exponent form
// ("1E20", "1.5E-7") outside the fixed range, `point` as the decimal separator.
QString FormatGeneral(double value, int digits, QChar point);

// Jet date-time (days since 1899-12-30; for negative days the fraction is the time of day)
// to a date and a time rounded to milliseconds, and back. FromDateParts returns false when the
// date lies outside the years 100 to 9999.
void ToDateParts(double days, QDate* date, QTime* time);
bool FromDateParts(const QDate& date, const QTime& time, double* days);

// The engine value for `text` assigned to a field of `column`. Text columns keep an empty text;
// other types take the empty text as NULL. Throws jet::Error (kInvalidArgument) naming the field
// when the text is not a value of the type or does not fit it.
jet::Value ValueFromText(const QString& text, const jet::Column& column, TFieldType type,
                         const QLocale& locale);
jet::Value ValueFromInteger(int64_t number, const jet::Column& column, TFieldType type);
jet::Value ValueFromVariant(const QVariant& value, const jet::Column& column, TFieldType type,
                            const QLocale& locale);

// Throws jet::Error of kind `kind` with a UTF-8 message.
[[noreturn]] void Fail(jet::Error::Kind kind, const QString& message);

}  // namespace database
