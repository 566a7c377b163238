#include "sql/convert.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace jet::sql {
namespace {

constexpr int kMaxDecimalDigits = 28;  // Access's largest NUMERIC precision

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<double> ToDouble(std::string_view text, bool negative) {
  double d = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(d)) {
    return std::nullopt;
  }
  return negative ? -d : d;
}

Value IntegerValue(UInt128 magnitude, bool negative) {
  constexpr UInt128 kInt32Limit = UInt128{1} << 31;  // |INT32_MIN|
  constexpr UInt128 kInt64Limit = UInt128{1} << 63;  // |INT64_MIN|
  if (magnitude < kInt32Limit || (negative && magnitude == kInt32Limit)) {
    const auto v = static_cast<int64_t>(magnitude);
    return static_cast<int32_t>(negative ? -v : v);
  }
  if (magnitude < kInt64Limit) {
    const auto v = static_cast<int64_t>(magnitude);
    return negative ? -v : v;
  }
  if (negative && magnitude == kInt64Limit) return INT64_MIN;
  return Decimal{negative, magnitude, 0};
}

// Splits ASCII `text` into numeric fields at any of `separators`; false on any other character.
bool SplitFields(std::string_view text, std::string_view separators, std::vector<int64_t>& out,
                 std::vector<size_t>& widths) {
  size_t i = 0;
  while (i <= text.size()) {
    size_t start = i;
    int64_t v = 0;
    while (i < text.size() && IsDigit(text[i]) && i - start < 5) v = v * 10 + (text[i++] - '0');
    if (i == start) return false;
    out.push_back(v);
    widths.push_back(i - start);
    if (i == text.size()) return true;
    if (separators.find(text[i]) == std::string_view::npos) return false;
    ++i;
  }
  return false;
}

std::optional<int64_t> ParseDatePart(std::string_view text) {
  std::vector<int64_t> f;
  std::vector<size_t> w;
  if (!SplitFields(text, "-/.", f, w) || f.size() != 3) return std::nullopt;
  int64_t y = 0, m = 0, d = 0;
  if (w[0] >= 3) {
    y = f[0], m = f[1], d = f[2];
  } else {
    m = f[0], d = f[1], y = f[2];
    if (w[2] <= 2) y += y < 30 ? 2000 : 1900;
  }
  if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 ||
      d > DaysInMonth(y, static_cast<int>(m))) {
    return std::nullopt;
  }
  return DaysFromCivil(y, static_cast<int>(m), static_cast<int>(d)) - kJetEpochDays;
}

// Seconds since midnight of "H:MM[:SS][ AM|PM]".
std::optional<int64_t> ParseTimePart(std::string_view text) {
  int meridiem = 0;  // 0 none, 1 AM, 2 PM
  if (text.size() > 2) {
    std::string tail(text.substr(text.size() - 2));
    for (char& c : tail) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (tail == "AM" || tail == "PM") {
      meridiem = tail == "AM" ? 1 : 2;
      text = text.substr(0, text.size() - 2);
      while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    }
  }
  std::vector<int64_t> f;
  std::vector<size_t> w;
  if (!SplitFields(text, ":", f, w) || f.size() < 2 || f.size() > 3) return std::nullopt;
  int64_t h = f[0];
  const int64_t m = f[1], s = f.size() == 3 ? f[2] : 0;
  if (meridiem != 0) {
    if (h < 1 || h > 12) return std::nullopt;
    h = h % 12 + (meridiem == 2 ? 12 : 0);
  }
  if (h > 23 || m > 59 || s > 59) return std::nullopt;
  return h * 3600 + m * 60 + s;
}

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::string DoubleText(double d) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
  return std::string(buffer, result.ptr);
}

std::u16string DateText(double stored) {
  const double linear = LinearDays(stored);
  const auto days = static_cast<int64_t>(std::floor(linear));
  auto seconds = static_cast<int64_t>(std::llround((linear - static_cast<double>(days)) * 86400));
  const CivilDate date = CivilFromDays(days + kJetEpochDays);
  char buffer[40];
  int n = std::snprintf(buffer, sizeof buffer, "%04lld-%02d-%02d",
                        static_cast<long long>(date.year), date.month, date.day);
  if (seconds != 0) {
    n += std::snprintf(buffer + n, sizeof buffer - static_cast<size_t>(n), " %02lld:%02lld:%02lld",
                       static_cast<long long>(seconds / 3600),
                       static_cast<long long>(seconds / 60 % 60),
                       static_cast<long long>(seconds % 60));
  }
  return Ascii(std::string_view(buffer, static_cast<size_t>(n)));
}

}  // namespace

std::optional<Value> ParseNumber(std::string_view text, bool negative) {
  size_t i = 0;
  UInt128 magnitude = 0;
  int significant = 0, scale = 0;
  bool any_digit = false, point = false;
  for (; i < text.size() && (IsDigit(text[i]) || (text[i] == '.' && !point)); ++i) {
    if (text[i] == '.') {
      point = true;
      continue;
    }
    any_digit = true;
    if (point) ++scale;
    if (significant > 0 || text[i] != '0') ++significant;
    if (significant <= kMaxDecimalDigits) magnitude = magnitude * 10 + (text[i] - '0');
  }
  if (!any_digit) return std::nullopt;
  if (i < text.size()) {  // only an exponent may follow
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if ((text[i] != 'e' && text[i] != 'E') || j == text.size()) return std::nullopt;
    for (; j < text.size(); ++j) {
      if (!IsDigit(text[j])) return std::nullopt;
    }
    auto d = ToDouble(text, negative);
    if (!d) return std::nullopt;
    return Value(*d);
  }
  if (significant > kMaxDecimalDigits || scale > kMaxDecimalDigits) {
    auto d = ToDouble(text, negative);
    if (!d) return std::nullopt;
    return Value(*d);
  }
  if (!point) return IntegerValue(magnitude, negative);
  return Value(Decimal{negative && magnitude != 0, magnitude, static_cast<uint8_t>(scale)});
}

std::optional<Value> ParseNumberText(std::u16string_view text) {
  while (!text.empty() && text.front() <= u' ') text.remove_prefix(1);
  while (!text.empty() && text.back() <= u' ') text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  std::string ascii;
  for (char16_t c : text) {
    if (c >= 0x80) return std::nullopt;
    ascii += static_cast<char>(c);
  }
  return ParseNumber(ascii, negative);
}

std::optional<double> ParseDateText(std::u16string_view text) {
  std::string ascii;
  for (char16_t c : text) {
    if (c >= 0x80) return std::nullopt;
    ascii += static_cast<char>(c);
  }
  const size_t first = ascii.find_first_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  ascii = ascii.substr(first, ascii.find_last_not_of(' ') - first + 1);
  std::optional<int64_t> days = 0;
  std::optional<int64_t> seconds = 0;
  const size_t space = ascii.find(' ');
  if (space == std::string::npos) {
    if (ascii.find(':') != std::string::npos) {
      seconds = ParseTimePart(ascii);
    } else {
      days = ParseDatePart(ascii);
    }
  } else {
    days = ParseDatePart(std::string_view(ascii).substr(0, space));
    seconds = ParseTimePart(std::string_view(ascii).substr(space + 1));
  }
  if (!days || !seconds) return std::nullopt;
  const double fraction = static_cast<double>(*seconds) / 86400.0;
  const auto whole = static_cast<double>(*days);
  return *days < 0 ? whole - fraction : whole + fraction;
}

double LinearDays(double stored) {
  if (stored >= 0) return stored;
  const double whole = std::trunc(stored);
  return whole + std::fabs(stored - whole);
}

std::u16string ValueToText(const Value& value) {
  const auto& v = value.storage();
  if (value.is<std::u16string>()) return value.as<std::u16string>();
  if (value.is<bool>()) return value.as<bool>() ? u"True" : u"False";
  if (value.is<uint8_t>()) return Ascii(std::to_string(value.as<uint8_t>()));
  if (value.is<int16_t>()) return Ascii(std::to_string(value.as<int16_t>()));
  if (value.is<int32_t>()) return Ascii(std::to_string(value.as<int32_t>()));
  if (value.is<int64_t>()) return Ascii(std::to_string(value.as<int64_t>()));
  if (value.is<float>()) return Ascii(DoubleText(static_cast<double>(value.as<float>())));
  if (value.is<double>()) return Ascii(DoubleText(value.as<double>()));
  if (value.is<DateTime>()) return DateText(value.as<DateTime>().days);
  if (const auto* c = std::get_if<Currency>(&v)) {
    const bool negative = c->units < 0;
    const UInt128 magnitude =
        negative ? UInt128(0) - static_cast<UInt128>(c->units) : static_cast<UInt128>(c->units);
    std::string text = Decimal{negative, magnitude, 4}.ToString();
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return Ascii(text);
  }
  if (const auto* d = std::get_if<Decimal>(&v)) {
    return Ascii(d->ToString());
  }
  return u"";
}

std::u16string FoldCase(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = FoldCase(c);
  return out;
}

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

}  // namespace jet::sql
