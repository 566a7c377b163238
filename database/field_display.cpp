// Reading side of the field conversions: column type to field type, engine value to QVariant and
// to the display text a grid shows.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include <QByteArray>
#include <QDateTime>

#include "database/field_values.h"

namespace database {
namespace {

constexpr qint64 kMsPerDay = 86400000;

// Exact decimal text without trailing fraction zeros: "-12.5", "0", "3".
QString ExactDecimal(bool negative, jet::UInt128 magnitude, int scale, QChar point) {
  std::string digits = jet::DigitsOf(magnitude);
  if (static_cast<int>(digits.size()) <= scale) {
    digits.insert(0, static_cast<size_t>(scale + 1) - digits.size(), '0');
  }
  std::string whole = digits.substr(0, digits.size() - static_cast<size_t>(scale));
  std::string fraction = digits.substr(whole.size());
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  QString text = QString::fromLatin1(whole.data(), static_cast<qsizetype>(whole.size()));
  if (!fraction.empty()) {
    text += point;
    text += QString::fromLatin1(fraction.data(), static_cast<qsizetype>(fraction.size()));
  }
  if (negative && magnitude != 0) text.prepend(QLatin1Char('-'));
  return text;
}

jet::UInt128 CurrencyMagnitude(int64_t units) {
  return units < 0 ? static_cast<jet::UInt128>(-(units + 1)) + 1 : static_cast<jet::UInt128>(units);
}

// The locale's short date format, with a two-digit year widened to four so that dates of
// every century stay distinct.
QString ShortDateFormat(const QLocale& locale) {
  QString format = locale.dateFormat(QLocale::ShortFormat);
  if (!format.contains(QLatin1String("yyyy"))) {
    format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
  }
  return format;
}

// The locale's long time format without the time zone, which a stored date-time does not have.
QString LongTimeFormat(const QLocale& locale) {
  const QString format = locale.timeFormat(QLocale::LongFormat);
  QString out;
  bool quoted = false;
  for (QChar c : format) {
    if (c == QLatin1Char('\'')) quoted = !quoted;
    if (!quoted && c == QLatin1Char('t')) continue;
    out += c;
  }
  out.replace(QLatin1String("()"), QString());
  return out.trimmed();
}

QString DateTimeText(double days, TFieldType type, const QLocale& locale) {
  QDate date;
  QTime time;
  ToDateParts(days, &date, &time);
  const QString date_text = locale.toString(date, ShortDateFormat(locale));
  const QString time_text = locale.toString(time, LongTimeFormat(locale));
  if (type == ftDate) return date_text;
  if (type == ftTime) return time_text;
  if (time.msecsSinceStartOfDay() == 0) return date_text;
  return date_text + QLatin1Char(' ') + time_text;
}

QString TagText(TFieldType type, bool null) {
  const QString tag = QLatin1Char('(') + FieldTypeName(type) + QLatin1Char(')');
  return null ? tag : tag.toUpper();
}

int64_t DecimalToInt64(const jet::Decimal& d) {
  jet::UInt128 m = d.magnitude;
  for (int i = 0; i < d.scale; ++i) m /= 10;
  const auto v = static_cast<int64_t>(m);
  return d.negative ? -v : v;
}

}  // namespace

TFieldType FieldTypeOf(const jet::Column& column) {
  using jet::ColumnType;
  switch (column.type) {
    case ColumnType::kBoolean: return ftBoolean;
    case ColumnType::kByte: return ftWord;  // unsigned 8-bit integer
    case ColumnType::kInt: return ftSmallint;
    case ColumnType::kLong: return column.autonumber() ? ftAutoInc : ftInteger;
    case ColumnType::kMoney: return ftBCD;  // currency
    case ColumnType::kFloat:
    case ColumnType::kDouble: return ftFloat;
    case ColumnType::kDateTime: return ftDateTime;
    case ColumnType::kBinary: return column.fixed() ? ftBytes : ftVarBytes;
    case ColumnType::kText: return ftWideString;
    case ColumnType::kOle: return ftBlob;
    case ColumnType::kMemo: return ftWideMemo;
    case ColumnType::kGuid: return ftGuid;
    case ColumnType::kNumeric:
      if (column.scale == 0 && column.precision < 10) return ftInteger;
      return (column.precision <= 19 && column.scale <= 4) ? ftBCD : ftFMTBcd;
    default: return ftUnknown;
  }
}

void ToDateParts(double days, QDate* date, QTime* time) {
  static const QDate kEpoch(1899, 12, 30);
  double whole = 0;
  const double fraction = std::modf(days, &whole);
  qint64 ms = std::llround(std::fabs(fraction) * static_cast<double>(kMsPerDay));
  qint64 day = static_cast<qint64>(whole);
  if (ms >= kMsPerDay) {  // rounded up to midnight: the next day, chronologically
    ms -= kMsPerDay;
    day += 1;
  }
  *date = kEpoch.addDays(day);
  *time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

bool FromDateParts(const QDate& date, const QTime& time, double* days) {
  static const QDate kEpoch(1899, 12, 30);
  if (!date.isValid() || date.year() < 100 || date.year() > 9999) return false;
  const double whole = static_cast<double>(kEpoch.daysTo(date));
  const double fraction =
      time.isValid() ? time.msecsSinceStartOfDay() / static_cast<double>(kMsPerDay) : 0.0;
  *days = whole >= 0 ? whole + fraction : whole - fraction;
  return true;
}

QString FormatGeneral(double value, int digits, QChar point) {
  if (std::isnan(value)) return QStringLiteral("NAN");
  if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
  if (value == 0) return QStringLiteral("0");
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, std::fabs(value));
  std::string text(buffer);
  const size_t e_pos = text.find('e');
  std::string mantissa = text.substr(0, e_pos);
  mantissa.erase(std::remove(mantissa.begin(), mantissa.end(), '.'), mantissa.end());
  while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
  const int exponent = std::stoi(text.substr(e_pos + 1)) + 1;  // value = 0.mantissa * 10^exponent
  QString out = value < 0 ? QStringLiteral("-") : QString();
  const QString m = QString::fromLatin1(mantissa.data(), static_cast<qsizetype>(mantissa.size()));
  if (exponent > digits || exponent < -4) {
    out += m.left(1);
    if (m.size() > 1) out += point + m.mid(1);
    return out + QLatin1Char('E') + QString::number(exponent - 1);
  }
  if (exponent <= 0) return out + QLatin1Char('0') + point + QString(-exponent, u'0') + m;
  if (m.size() <= exponent) return out + m + QString(exponent - m.size(), u'0');
  return out + m.left(exponent) + point + m.mid(exponent);
}

QVariant ToVariant(const jet::Value& value, TFieldType type) {
  const auto& s = value.storage();
  if (value.is_null()) return QVariant();
  if (auto* b = std::get_if<bool>(&s)) return *b;
  if (auto* u8 = std::get_if<uint8_t>(&s)) return static_cast<int>(*u8);
  if (auto* i16 = std::get_if<int16_t>(&s)) return static_cast<int>(*i16);
  if (auto* i32 = std::get_if<int32_t>(&s)) return static_cast<int>(*i32);
  if (auto* i64 = std::get_if<int64_t>(&s)) return static_cast<qlonglong>(*i64);
  if (auto* f = std::get_if<float>(&s)) return static_cast<double>(*f);
  if (auto* d = std::get_if<double>(&s)) return *d;
  if (auto* c = std::get_if<jet::Currency>(&s)) return static_cast<double>(c->units) / 10000.0;
  if (auto* dec = std::get_if<jet::Decimal>(&s)) {
    if (type == ftInteger) return static_cast<qlonglong>(DecimalToInt64(*dec));
    const QString text = ExactDecimal(dec->negative, dec->magnitude, dec->scale, u'.');
    return type == ftFMTBcd ? QVariant(text) : QVariant(text.toDouble());
  }
  if (auto* dt = std::get_if<jet::DateTime>(&s)) {
    QDate date;
    QTime time;
    ToDateParts(dt->days, &date, &time);
    return QDateTime(date, time, Qt::UTC);
  }
  if (auto* g = std::get_if<jet::Guid>(&s)) return QString::fromStdString(g->ToString());
  if (auto* t = std::get_if<std::u16string>(&s)) {
    return ToQString(*t);
  }
  if (auto* bytes = std::get_if<jet::Bytes>(&s)) {
    return QByteArray(reinterpret_cast<const char*>(bytes->data()),
                      static_cast<qsizetype>(bytes->size()));
  }
  return QVariant();
}

QString DisplayText(const jet::Value& value, TFieldType type, const QLocale& locale) {
  if (IsTaggedType(type)) return TagText(type, value.is_null());
  if (value.is_null()) return QString();
  const auto& s = value.storage();
  const QChar point = locale.decimalPoint().at(0);
  if (auto* b = std::get_if<bool>(&s)) return *b ? QStringLiteral("True") : QStringLiteral("False");
  if (auto* f = std::get_if<float>(&s)) return FormatGeneral(static_cast<double>(*f), 15, point);
  if (auto* d = std::get_if<double>(&s)) return FormatGeneral(*d, 15, point);
  if (auto* c = std::get_if<jet::Currency>(&s)) {
    return ExactDecimal(c->units < 0, CurrencyMagnitude(c->units), 4, point);
  }
  if (auto* dec = std::get_if<jet::Decimal>(&s)) {
    return ExactDecimal(dec->negative, dec->magnitude, dec->scale, point);
  }
  if (auto* dt = std::get_if<jet::DateTime>(&s)) return DateTimeText(dt->days, type, locale);
  if (auto* t = std::get_if<std::u16string>(&s)) {
    return ToQString(*t);
  }
  const QVariant v = ToVariant(value, type);
  if (v.typeId() == QMetaType::QByteArray) return QString::fromLatin1(v.toByteArray().toHex());
  return v.toString();  // integers and GUIDs
}

}  // namespace database
