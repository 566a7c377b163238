#include "value/value_convert.h"

#include <array>
#include <charconv>
#include <cstring>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <variant>

#include "jet/error.h"
#include "value/text_encode.h"
#include "util/write_bytes.h"

namespace jet {
namespace {

// A decimal number held exactly: (negative ? -1 : 1) * mantissa * 10^exponent.
struct Exact {
  bool negative = false;
  UInt128 mantissa = 0;
  int exponent = 0;
};

constexpr UInt128 kMantissaLimit = (~UInt128{0}) / 10 - 9;  // room for one more digit
constexpr int kMaxExponent = 60;

// Short text of a value for messages.
std::string Describe(const Value& v) {
  struct Visitor {
    std::string operator()(std::monostate) const { return "Null"; }
    std::string operator()(bool b) const { return b ? "True" : "False"; }
    std::string operator()(const std::u16string& s) const {
      std::string u = ToUtf8(s.size() > 40 ? s.substr(0, 40) : s);
      return "'" + u + (s.size() > 40 ? "...'" : "'") +
             (s.size() > 40 ? " (" + std::to_string(s.size()) + " characters)" : "");
    }
    std::string operator()(const Bytes& b) const {
      return std::to_string(b.size()) + " bytes";
    }
    std::string operator()(const Decimal& d) const {
      return (d.negative ? "-" : "") + DigitsOf(d.magnitude) + "e-" + std::to_string(d.scale);
    }
    std::string operator()(Currency c) const { return std::to_string(c.units) + "e-4"; }
    std::string operator()(DateTime d) const { return "date " + std::to_string(d.days); }
    std::string operator()(const Guid&) const { return "GUID"; }
    std::string operator()(double d) const { return std::to_string(d); }
    std::string operator()(float d) const { return std::to_string(d); }
    std::string operator()(uint8_t d) const { return std::to_string(d); }
    std::string operator()(int16_t d) const { return std::to_string(d); }
    std::string operator()(int32_t d) const { return std::to_string(d); }
    std::string operator()(int64_t d) const { return std::to_string(d); }
  };
  return std::visit(Visitor{}, v.storage());
}

std::string Where(const Column& column, std::u16string_view table) {
  return "column '" + ToUtf8(column.name) + "' of table '" + ToUtf8(table) + "'";
}

[[noreturn]] void Mismatch(const Value& v, const Column& column, std::u16string_view table) {
  throw Error(Error::Kind::kInvalidArgument, "Cannot store " + Describe(v) + " in " +
                                                 TypeName(column.type) + " " +
                                                 Where(column, table) + " (data type mismatch)");
}

[[noreturn]] void OutOfRange(const Value& v, const Column& column, std::u16string_view table) {
  throw Error(Error::Kind::kConstraint, "Value " + Describe(v) + " is out of range for " +
                                            TypeName(column.type) + " " + Where(column, table));
}

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
  return s;
}

bool AppendDigit(Exact& n, int digit) {
  if (n.mantissa >= kMantissaLimit) return false;
  n.mantissa = n.mantissa * 10 + static_cast<unsigned>(digit);
  return true;
}

// Parses [sign] digits [. digits] [e [sign] digits]. Leading and trailing blanks are allowed.
std::optional<Exact> ParseExact(std::u16string_view text) {
  std::u16string_view s = Trim(text);
  Exact n;
  size_t i = 0;
  if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) n.negative = s[i++] == u'-';
  bool any_digit = false;
  bool in_fraction = false;
  for (; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c == u'.' && !in_fraction) {
      in_fraction = true;
    } else if (c >= u'0' && c <= u'9') {
      any_digit = true;
      if (!AppendDigit(n, c - u'0')) {
        if (!in_fraction) ++n.exponent;  // drop a digit past exact precision
        continue;
      }
      if (in_fraction) --n.exponent;
    } else {
      break;
    }
  }
  if (!any_digit) return std::nullopt;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
    ++i;
    bool exp_negative = false;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) exp_negative = s[i++] == u'-';
    int exp = 0;
    bool exp_digit = false;
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
      exp_digit = true;
      exp = std::min(exp * 10 + (s[i] - u'0'), 100000);
    }
    if (!exp_digit) return std::nullopt;
    n.exponent += exp_negative ? -exp : exp;
  }
  if (i != s.size()) return std::nullopt;
  return n;
}

std::optional<Exact> ExactFromDouble(double d) {
  if (!std::isfinite(d)) return std::nullopt;
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, d);
  std::u16string text(buf, res.ptr);
  return ParseExact(text);
}

Exact ExactFromInt(int64_t v) {
  Exact n;
  n.negative = v < 0;
  n.mantissa = v < 0 ? static_cast<UInt128>(-(v + 1)) + 1 : static_cast<UInt128>(v);
  return n;
}

// The number a value stands for, if it is numeric (or numeric text). Booleans are -1/0.
std::optional<Exact> NumberOf(const Value& v) {
  const Value::Storage& s = v.storage();
  if (auto* b = std::get_if<bool>(&s)) return ExactFromInt(*b ? -1 : 0);
  if (auto* x = std::get_if<uint8_t>(&s)) return ExactFromInt(*x);
  if (auto* x = std::get_if<int16_t>(&s)) return ExactFromInt(*x);
  if (auto* x = std::get_if<int32_t>(&s)) return ExactFromInt(*x);
  if (auto* x = std::get_if<int64_t>(&s)) return ExactFromInt(*x);
  if (auto* x = std::get_if<float>(&s)) return ExactFromDouble(*x);
  if (auto* x = std::get_if<double>(&s)) return ExactFromDouble(*x);
  if (auto* x = std::get_if<Currency>(&s)) {
    Exact n = ExactFromInt(x->units);
    n.exponent = -4;
    return n;
  }
  if (auto* x = std::get_if<Decimal>(&s)) {
    return Exact{x->negative, x->magnitude, -static_cast<int>(x->scale)};
  }
  if (auto* x = std::get_if<std::u16string>(&s)) return ParseExact(*x);
  return std::nullopt;
}

// n rounded half-to-even to `scale` decimals, as an integer count of 10^-scale units.
std::optional<UInt128> Scaled(const Exact& n, int scale) {
  UInt128 m = n.mantissa;
  int shift = n.exponent + scale;  // > 0: multiply, < 0: divide
  if (m == 0) return UInt128{0};
  if (shift > kMaxExponent) return std::nullopt;
  for (; shift > 0; --shift) {
    if (m > (~UInt128{0}) / 10) return std::nullopt;
    m *= 10;
  }
  if (shift < -kMaxExponent) return UInt128{0};
  UInt128 remainder_seen = 0;  // whether any digit below the half digit was non-zero
  int half_digit = 0;
  for (; shift < 0; ++shift) {
    remainder_seen |= static_cast<UInt128>(half_digit != 0);
    half_digit = static_cast<int>(m % 10);
    m /= 10;
  }
  if (half_digit > 5 || (half_digit == 5 && (remainder_seen != 0 || (m & 1) != 0))) ++m;
  return m;
}

// n as an integer in [lo, hi], or nullopt.
std::optional<int64_t> ScaledSigned(const Exact& n, int scale, int64_t lo, int64_t hi) {
  std::optional<UInt128> m = Scaled(n, scale);
  if (!m) return std::nullopt;
  const UInt128 limit = n.negative ? static_cast<UInt128>(-(lo + 1)) + 1 : static_cast<UInt128>(hi);
  if (*m > limit) return std::nullopt;
  if (!n.negative) return static_cast<int64_t>(*m);
  return *m == 0 ? 0 : -static_cast<int64_t>(*m - 1) - 1;
}

double DoubleOf(const Exact& n) {
  std::string text = (n.negative ? "-" : "") + DigitsOf(n.mantissa) + "e" +
                     std::to_string(n.exponent);
  return std::strtod(text.c_str(), nullptr);
}

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Decimal text of an exact number with no exponent: 1.5, -12, 0.001.
std::u16string TextOf(const Exact& n) {
  std::string digits = DigitsOf(n.mantissa);
  if (n.exponent >= 0) {
    if (n.mantissa != 0) digits.append(static_cast<size_t>(n.exponent), '0');
  } else {
    const size_t frac = static_cast<size_t>(-n.exponent);
    if (digits.size() <= frac) digits.insert(0, frac - digits.size() + 1, '0');
    digits.insert(digits.size() - frac, ".");
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
  }
  return Ascii((n.negative && digits != "0" ? "-" : "") + digits);
}

}  // namespace

// ---- dates ----

namespace {

// Reads exactly `width` digits (or 1..width when `width` is negative) at `pos`.
std::optional<int> Digits(std::u16string_view s, size_t& pos, int min_width, int max_width) {
  int v = 0;
  int n = 0;
  while (pos < s.size() && n < max_width && s[pos] >= u'0' && s[pos] <= u'9') {
    v = v * 10 + (s[pos++] - u'0');
    ++n;
  }
  if (n < min_width) return std::nullopt;
  return v;
}

bool Expect(std::u16string_view s, size_t& pos, char16_t c) {
  if (pos < s.size() && s[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

// HH:MM[:SS[.fff]] at `pos`, as seconds of the day.
std::optional<double> ParseTime(std::u16string_view s, size_t& pos) {
  auto h = Digits(s, pos, 1, 2);
  if (!h || !Expect(s, pos, u':')) return std::nullopt;
  auto mi = Digits(s, pos, 2, 2);
  if (!mi) return std::nullopt;
  double sec = 0;
  if (Expect(s, pos, u':')) {
    auto se = Digits(s, pos, 2, 2);
    if (!se) return std::nullopt;
    sec = *se;
    if (Expect(s, pos, u'.')) {
      double scale = 0.1;
      size_t start = pos;
      while (pos < s.size() && s[pos] >= u'0' && s[pos] <= u'9') {
        sec += (s[pos++] - u'0') * scale;
        scale /= 10;
      }
      if (pos == start) return std::nullopt;
    }
  }
  if (*h > 23 || *mi > 59 || sec >= 60) return std::nullopt;
  return *h * 3600.0 + *mi * 60.0 + sec;
}

}  // namespace

std::optional<double> JetDateFromCivil(int year, int month, int day, int hour, int minute,
                                       double second) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return std::nullopt;
  }
  const int64_t days = DaysFromCivil(year, month, day) - kJetEpochDays;
  const double frac = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  return days < 0 ? static_cast<double>(days) - frac : static_cast<double>(days) + frac;
}

std::optional<double> ParseJetDate(std::u16string_view text) {
  std::u16string_view s = Trim(text);
  size_t pos = 0;
  if (s.size() >= 3 && (s[1] == u':' || s[2] == u':')) {  // a time alone is on 1899-12-30
    auto t = ParseTime(s, pos);
    if (!t || pos != s.size()) return std::nullopt;
    return *t / 86400.0;
  }
  auto y = Digits(s, pos, 4, 4);
  if (!y || !Expect(s, pos, u'-')) return std::nullopt;
  auto m = Digits(s, pos, 1, 2);
  if (!m || !Expect(s, pos, u'-')) return std::nullopt;
  auto d = Digits(s, pos, 1, 2);
  if (!d) return std::nullopt;
  double seconds = 0;
  if (pos < s.size() && (s[pos] == u' ' || s[pos] == u'T')) {
    ++pos;
    auto t = ParseTime(s, pos);
    if (!t) return std::nullopt;
    seconds = *t;
  }
  if (pos != s.size()) return std::nullopt;
  return JetDateFromCivil(*y, *m, *d, 0, 0, seconds);
}

// ---- per type ----

namespace {

bool BooleanOf(const Value& v, const Column& column, std::u16string_view table) {
  if (v.is_null()) return false;
  if (v.is<bool>()) return v.as<bool>();
  if (v.is<std::u16string>()) {
    std::u16string lower;
    for (char16_t c : Trim(v.as<std::u16string>())) {
      lower.push_back(c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c);
    }
    if (lower == u"true" || lower == u"yes" || lower == u"on") return true;
    if (lower == u"false" || lower == u"no" || lower == u"off") return false;
  }
  std::optional<Exact> n = NumberOf(v);
  if (!n) Mismatch(v, column, table);
  return n->mantissa != 0;
}

int64_t IntegerOf(const Value& v, const Column& column, std::u16string_view table, int64_t lo,
                  int64_t hi) {
  std::optional<Exact> n = NumberOf(v);
  if (!n) Mismatch(v, column, table);
  std::optional<int64_t> r = ScaledSigned(*n, 0, lo, hi);
  if (!r) OutOfRange(v, column, table);
  return *r;
}

double DoubleFor(const Value& v, const Column& column, std::u16string_view table) {
  if (v.is<double>()) return v.as<double>();
  if (v.is<float>()) return v.as<float>();
  std::optional<Exact> n = NumberOf(v);
  if (!n) Mismatch(v, column, table);
  const double d = DoubleOf(*n);
  if (!std::isfinite(d)) OutOfRange(v, column, table);
  return d;
}

Value FloatFor(const Value& v, const Column& column, std::u16string_view table) {
  if (v.is<float>()) return v;
  const double d = DoubleFor(v, column, table);
  if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) {
    OutOfRange(v, column, table);
  }
  return static_cast<float>(d);
}

Value DecimalFor(const Value& v, const Column& column, std::u16string_view table) {
  std::optional<Exact> n = NumberOf(v);
  if (!n) Mismatch(v, column, table);
  std::optional<UInt128> m = Scaled(*n, column.scale);
  if (!m || *m >= Pow10(column.precision)) OutOfRange(v, column, table);
  return Decimal{n->negative && *m != 0, *m, column.scale};
}

Value DateFor(const Value& v, const Column& column, std::u16string_view table) {
  if (v.is<DateTime>()) return v;
  if (v.is<std::u16string>()) {
    std::optional<double> d = ParseJetDate(v.as<std::u16string>());
    if (!d) Mismatch(v, column, table);
    return DateTime{*d};
  }
  std::optional<Exact> n = NumberOf(v);
  if (!n || v.is<bool>()) Mismatch(v, column, table);
  const double d = DoubleOf(*n);
  // Years 100..9999: -657434 (100-01-01) to 2958465 (9999-12-31) plus the day fraction.
  if (!(d > -657435.0 && d < 2958466.0)) OutOfRange(v, column, table);
  return DateTime{d};
}

std::u16string TextFor(const Value& v, const Column& column, std::u16string_view table) {
  if (v.is<std::u16string>()) return v.as<std::u16string>();
  if (v.is<double>() || v.is<float>()) {
    const double d = v.is<double>() ? v.as<double>() : v.as<float>();
    if (!std::isfinite(d)) Mismatch(v, column, table);
    char buf[64];
    auto res = v.is<double>() ? std::to_chars(buf, buf + sizeof buf, d)
                              : std::to_chars(buf, buf + sizeof buf, v.as<float>());
    return Ascii(std::string(buf, res.ptr));
  }
  std::optional<Exact> n = NumberOf(v);
  if (!n) Mismatch(v, column, table);
  return TextOf(*n);
}

Value TextColumnValue(const Value& v, const Column& column, std::u16string_view table) {
  std::u16string text = TextFor(v, column, table);
  if (column.type == ColumnType::kText) {
    const size_t max_chars = column.length / 2u;
    if (text.size() > max_chars) {
      throw Error(Error::Kind::kConstraint,
                  "Text of " + std::to_string(text.size()) + " characters is too long for " +
                      Where(column, table) + " (at most " + std::to_string(max_chars) + ")");
    }
  } else if (text.size() > 0x1FFFFFFFu) {
    OutOfRange(v, column, table);
  }
  return text;
}

Value BytesColumnValue(const Value& v, const Column& column, std::u16string_view table) {
  if (!v.is<Bytes>()) Mismatch(v, column, table);
  const Bytes& b = v.as<Bytes>();
  const size_t limit = column.type == ColumnType::kOle ? 0x3FFFFFFFu : column.length;
  if (b.size() > limit) {
    throw Error(Error::Kind::kConstraint, std::to_string(b.size()) + " bytes are too long for " +
                                              Where(column, table) + " (at most " +
                                              std::to_string(limit) + ")");
  }
  return v;
}

}  // namespace

Value ConvertValue(const Value& v, const Column& column, std::u16string_view table) {
  if (column.type == ColumnType::kBoolean) return BooleanOf(v, column, table);
  if (v.is_null()) return v;
  switch (column.type) {
    case ColumnType::kByte:
      return static_cast<uint8_t>(IntegerOf(v, column, table, 0, 255));
    case ColumnType::kInt:
      return static_cast<int16_t>(IntegerOf(v, column, table, -32768, 32767));
    case ColumnType::kLong:
      return static_cast<int32_t>(IntegerOf(v, column, table, INT32_MIN, INT32_MAX));
    case ColumnType::kMoney: {
      std::optional<Exact> n = NumberOf(v);
      if (!n) Mismatch(v, column, table);
      std::optional<int64_t> units = ScaledSigned(*n, 4, INT64_MIN, INT64_MAX);
      if (!units) OutOfRange(v, column, table);
      return Currency{*units};
    }
    case ColumnType::kFloat: return FloatFor(v, column, table);
    case ColumnType::kDouble: return DoubleFor(v, column, table);
    case ColumnType::kDateTime: return DateFor(v, column, table);
    case ColumnType::kNumeric: return DecimalFor(v, column, table);
    case ColumnType::kText:
    case ColumnType::kMemo: return TextColumnValue(v, column, table);
    case ColumnType::kBinary:
    case ColumnType::kOle:
    case ColumnType::kUnknown0D: return BytesColumnValue(v, column, table);
    case ColumnType::kGuid: {
      if (v.is<Guid>()) return v;
      std::optional<Guid> g;
      if (v.is<std::u16string>()) g = Guid::Parse(Trim(v.as<std::u16string>()));
      if (!g) Mismatch(v, column, table);
      return *g;
    }
    default:
      throw Error(Error::Kind::kNotSupported,
                  "Cannot write " + Where(column, table) + ": its column type is not supported");
  }
}

namespace {

template <typename T>
std::vector<uint8_t> LittleEndian(T value) {
  std::vector<uint8_t> out(sizeof(T));
  std::memcpy(out.data(), &value, sizeof(T));  // the engine runs on little-endian hosts only
  return out;
}

std::vector<uint8_t> DecimalBytes(const Decimal& d) {
  std::vector<uint8_t> out(17, 0);
  out[0] = d.negative ? 0x80 : 0x00;
  for (int word = 0; word < 4; ++word) {  // most significant 32 bits first
    const auto w = static_cast<uint32_t>(d.magnitude >> (32 * (3 - word)));
    wr::StoreU32(out, 1 + 4 * static_cast<size_t>(word), w);
  }
  return out;
}

std::vector<uint8_t> TextBytes(const std::u16string& text, const Column& column) {
  if (!column.fixed()) {
    return EncodeJet4Text(text, column.compressed_unicode(), column.type == ColumnType::kMemo);
  }
  std::vector<uint8_t> out(column.length, 0);
  for (size_t i = 0; i + 1 < out.size(); i += 2) {
    const char16_t c = i / 2 < text.size() ? text[i / 2] : u' ';
    out[i] = static_cast<uint8_t>(c & 0xFF);
    out[i + 1] = static_cast<uint8_t>(c >> 8);
  }
  return out;
}

}  // namespace

std::vector<uint8_t> EncodeValueBytes(const Value& native, const Column& column) {
  const Value::Storage& s = native.storage();
  if (auto* x = std::get_if<uint8_t>(&s)) return {*x};
  if (auto* x = std::get_if<int16_t>(&s)) return LittleEndian(*x);
  if (auto* x = std::get_if<int32_t>(&s)) return LittleEndian(*x);
  if (auto* x = std::get_if<int64_t>(&s)) return LittleEndian(*x);
  if (auto* x = std::get_if<Currency>(&s)) return LittleEndian(x->units);
  if (auto* x = std::get_if<float>(&s)) return LittleEndian(*x);
  if (auto* x = std::get_if<double>(&s)) return LittleEndian(*x);
  if (auto* x = std::get_if<DateTime>(&s)) return LittleEndian(x->days);
  if (auto* x = std::get_if<Guid>(&s)) return {x->bytes.begin(), x->bytes.end()};
  if (auto* x = std::get_if<Decimal>(&s)) return DecimalBytes(*x);
  if (auto* x = std::get_if<std::u16string>(&s)) return TextBytes(*x, column);
  if (auto* x = std::get_if<Bytes>(&s)) return *x;
  throw Error(Error::Kind::kInvalidArgument,
              "Cannot encode a value for column '" + ToUtf8(column.name) + "'");
}

}  // namespace jet
