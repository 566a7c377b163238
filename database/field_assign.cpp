// Writing side of the field conversions: a text, integer or QVariant assigned to a field becomes
// an engine value of the column's type, or a jet::Error that names the field.

#include <cfloat>
#include <cmath>
#include <limits>

#include <QByteArray>
#include <QDateTime>

#include "database/field_values.h"

namespace database {
namespace {

QString NameOf(const jet::Column& column) { return ToQString(column.name); }

[[noreturn]] void NotValid(const QString& text, const char* what) {
  Fail(jet::Error::Kind::kInvalidArgument,
       QStringLiteral("'%1' is not a valid %2").arg(text, QLatin1String(what)));
}

[[noreturn]] void OutOfRange(const QString& text, const jet::Column& column, const QString& low,
                             const QString& high) {
  Fail(jet::Error::Kind::kInvalidArgument,
       QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is %3 to %4")
           .arg(text, NameOf(column), low, high));
}

jet::Value IntegerOfColumn(int64_t n, const jet::Column& column) {
  const QString text = QString::number(n);
  switch (column.type) {
    case jet::ColumnType::kByte:
      if (n < 0 || n > 255) OutOfRange(text, column, QStringLiteral("0"), QStringLiteral("255"));
      return static_cast<uint8_t>(n);
    case jet::ColumnType::kInt:
      if (n < INT16_MIN || n > INT16_MAX) {
        OutOfRange(text, column, QString::number(INT16_MIN), QString::number(INT16_MAX));
      }
      return static_cast<int16_t>(n);
    default:
      if (n < INT32_MIN || n > INT32_MAX) {
        OutOfRange(text, column, QString::number(INT32_MIN), QString::number(INT32_MAX));
      }
      return static_cast<int32_t>(n);
  }
}

// Exact decimal parse: optional sign, digits, optional point (the locale's or '.') and fraction,
// rounded half away from zero to `scale` decimals. False when the text is not such a number or
// has more than 38 digits.
bool ParseDecimal(const QString& raw, QChar point, int scale, jet::Decimal* out) {
  const QString text = raw.trimmed();
  int i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  jet::UInt128 magnitude = 0;
  int digits = 0, fraction_digits = 0;
  bool seen_point = false, round_up = false;
  for (; i < text.size(); ++i) {
    const QChar c = text[i];
    if ((c == point || c == u'.') && !seen_point) {
      seen_point = true;
      continue;
    }
    if (!c.isDigit() || c.unicode() > u'9') return false;
    const int d = c.unicode() - u'0';
    ++digits;
    if (seen_point && fraction_digits >= scale) {
      if (fraction_digits++ == scale) round_up = d >= 5;
      continue;
    }
    if (seen_point) ++fraction_digits;
    if (magnitude > (~jet::UInt128{0}) / 100) return false;
    magnitude = magnitude * 10 + static_cast<unsigned>(d);
  }
  if (digits == 0) return false;
  for (int k = std::min(fraction_digits, scale); k < scale; ++k) magnitude *= 10;
  if (round_up) magnitude += 1;
  *out = jet::Decimal{negative && magnitude != 0, magnitude, static_cast<uint8_t>(scale)};
  return true;
}

int DigitCount(jet::UInt128 m) {
  int n = 0;
  for (; m != 0; m /= 10) ++n;
  return n;
}

jet::Value ExactOfColumn(const QString& text, const jet::Column& column, QChar point) {
  const bool money = column.type == jet::ColumnType::kMoney;
  const int scale = money ? 4 : column.scale;
  jet::Decimal d;
  if (!ParseDecimal(text, point, scale, &d)) {
    bool ok = false;  // exponent forms such as "1E5"
    const double v = QLocale::c().toDouble(QString(text).replace(point, u'.'), &ok);
    if (!ok || !std::isfinite(v) ||
        !ParseDecimal(QString::number(v, 'f', scale), u'.', scale, &d)) {
      NotValid(text, "BCD value");
    }
  }
  if (money) {
    constexpr jet::UInt128 kMax = static_cast<jet::UInt128>(INT64_MAX);
    if (d.magnitude > kMax + (d.negative ? 1 : 0)) NotValid(text, "currency value");
    const auto m = d.magnitude;
    const int64_t units = d.negative ? static_cast<int64_t>(-(m - 1)) - 1 : static_cast<int64_t>(m);
    return jet::Currency{units};
  }
  if (DigitCount(d.magnitude) > column.precision) {
    Fail(jet::Error::Kind::kInvalidArgument,
         QStringLiteral("'%1' does not fit field '%2' (precision %3, scale %4)")
             .arg(text, NameOf(column))
             .arg(column.precision)
             .arg(column.scale));
  }
  return d;
}

jet::Value FloatOfColumn(double v, const QString& text, const jet::Column& column) {
  if (column.type == jet::ColumnType::kFloat) {
    if (std::isfinite(v) && std::fabs(v) > FLT_MAX) NotValid(text, "single precision value");
    return static_cast<float>(v);
  }
  return v;
}

double ParseFloat(const QString& text, const QLocale& locale) {
  bool ok = false;
  const QString t = text.trimmed();
  double v = locale.toDouble(t, &ok);
  if (!ok) v = QLocale::c().toDouble(t, &ok);
  if (!ok) NotValid(text, "floating point value");
  return v;
}

jet::Value BooleanOfText(const QString& text) {
  const QString t = text.trimmed().toLower();
  if (t == u"true" || t == u"yes" || t == u"-1" || t == u"1") return true;
  if (t == u"false" || t == u"no" || t == u"0") return false;
  NotValid(text, "boolean value");
}

jet::Value DateOfText(const QString& text, const QLocale& locale) {
  const QString t = text.trimmed();
  const QString date_formats[] = {locale.dateFormat(QLocale::ShortFormat),
                                  QString(locale.dateFormat(QLocale::ShortFormat))
                                      .replace(QLatin1String("yy"), QLatin1String("yyyy")),
                                  QStringLiteral("yyyy-MM-dd")};
  const QString time_formats[] = {locale.timeFormat(QLocale::LongFormat).remove(u't').trimmed(),
                                  locale.timeFormat(QLocale::ShortFormat),
                                  QStringLiteral("HH:mm:ss"), QStringLiteral("HH:mm:ss.zzz")};
  double days = 0;
  for (const QString& df : date_formats) {
    const QDate date = locale.toDate(t, df);
    if (date.isValid() && FromDateParts(date, QTime(0, 0), &days)) return jet::DateTime{days};
    for (const QString& tf : time_formats) {
      for (const QChar sep : {u' ', u'T'}) {
        const QDateTime dt = locale.toDateTime(t, df + sep + tf);
        if (dt.isValid() && FromDateParts(dt.date(), dt.time(), &days)) return jet::DateTime{days};
      }
    }
  }
  NotValid(text, "date and time");
}

jet::Value GuidOfText(const QString& text) {
  const std::optional<jet::Guid> guid = jet::Guid::Parse(text.trimmed().toStdU16String());
  if (!guid) NotValid(text, "GUID value");
  return *guid;
}

jet::Bytes BytesOf(const QByteArray& data) { return jet::Bytes(data.begin(), data.end()); }

}  // namespace

void Fail(jet::Error::Kind kind, const QString& message) {
  throw jet::Error(kind, message.toStdString());
}

jet::Value ValueFromText(const QString& text, const jet::Column& column, TFieldType type,
                         const QLocale& locale) {
  using jet::ColumnType;
  if (column.type == ColumnType::kText || column.type == ColumnType::kMemo) {
    return text.toStdU16String();
  }
  if (text.trimmed().isEmpty()) return jet::Value();
  const QChar point = locale.decimalPoint().at(0);
  switch (column.type) {
    case ColumnType::kBoolean: return BooleanOfText(text);
    case ColumnType::kByte:
    case ColumnType::kInt:
    case ColumnType::kLong: {
      bool ok = false;
      const qlonglong n = text.trimmed().toLongLong(&ok);
      if (!ok) NotValid(text, "integer value");
      return IntegerOfColumn(n, column);
    }
    case ColumnType::kMoney:
    case ColumnType::kNumeric:
      if (type == ftInteger) {
        bool ok = false;
        text.trimmed().toLongLong(&ok);
        if (!ok) NotValid(text, "integer value");
      }
      return ExactOfColumn(text, column, point);
    case ColumnType::kFloat:
    case ColumnType::kDouble: return FloatOfColumn(ParseFloat(text, locale), text, column);
    case ColumnType::kDateTime: return DateOfText(text, locale);
    case ColumnType::kGuid: return GuidOfText(text);
    case ColumnType::kBinary:
    case ColumnType::kOle: return BytesOf(text.toUtf8());
    default:
      Fail(jet::Error::Kind::kNotSupported,
           QStringLiteral("Field '%1' cannot be assigned").arg(NameOf(column)));
  }
}

jet::Value ValueFromInteger(int64_t n, const jet::Column& column, TFieldType type) {
  using jet::ColumnType;
  switch (column.type) {
    case ColumnType::kBoolean: return n != 0;
    case ColumnType::kByte:
    case ColumnType::kInt:
    case ColumnType::kLong: return IntegerOfColumn(n, column);
    case ColumnType::kMoney:
    case ColumnType::kNumeric: return ExactOfColumn(QString::number(n), column, u'.');
    case ColumnType::kFloat:
    case ColumnType::kDouble:
      return FloatOfColumn(static_cast<double>(n), QString::number(n), column);
    case ColumnType::kDateTime: return jet::DateTime{static_cast<double>(n)};
    case ColumnType::kText:
    case ColumnType::kMemo: return QString::number(n).toStdU16String();
    default:
      (void)type;
      Fail(jet::Error::Kind::kInvalidArgument,
           QStringLiteral("Field '%1' cannot be assigned an integer").arg(NameOf(column)));
  }
}

jet::Value ValueFromVariant(const QVariant& value, const jet::Column& column, TFieldType type,
                            const QLocale& locale) {
  using jet::ColumnType;
  if (!value.isValid() || value.isNull()) return jet::Value();
  switch (value.typeId()) {
    case QMetaType::Bool:
      if (column.type == ColumnType::kBoolean) return value.toBool();
      return ValueFromInteger(value.toBool() ? 1 : 0, column, type);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
      return ValueFromInteger(value.toLongLong(), column, type);
    case QMetaType::Double:
    case QMetaType::Float: {
      const double v = value.toDouble();
      if (column.type == ColumnType::kFloat || column.type == ColumnType::kDouble) {
        return FloatOfColumn(v, QString::number(v), column);
      }
      if (column.type == ColumnType::kDateTime) return jet::DateTime{v};
      return ValueFromText(QLocale::c().toString(v, 'g', 17), column, type, QLocale::c());
    }
    case QMetaType::QDateTime:
    case QMetaType::QDate: {
      const QDateTime dt = value.toDateTime();
      double days = 0;
      if (column.type == ColumnType::kDateTime && FromDateParts(dt.date(), dt.time(), &days)) {
        return jet::DateTime{days};
      }
      return ValueFromText(value.toString(), column, type, locale);
    }
    case QMetaType::QByteArray:
      if (column.type == ColumnType::kBinary || column.type == ColumnType::kOle) {
        return BytesOf(value.toByteArray());
      }
      return ValueFromText(QString::fromUtf8(value.toByteArray()), column, type, locale);
    default:
      return ValueFromText(value.toString(), column, type, locale);
  }
}

}  // namespace database
