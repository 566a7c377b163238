#include "dump_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <type_traits>
#include <variant>

namespace cli {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;
// Beyond this many days from the epoch (about a million years) a date is not printed as one.
constexpr double kMaxCalendarDays = 365.0e6;

// Lays out the shortest digits of a number as ECMAScript Number::toString does. `sci` is the
// scientific text from std::to_chars without a precision ("1.2345e+02", "5e-324", "-0e+00").
std::string JsFromScientific(std::string_view sci) {
  std::string out;
  if (!sci.empty() && sci.front() == '-') {
    out += '-';
    sci.remove_prefix(1);
  }
  size_t e_pos = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e_pos)) {
    if (c != '.') digits += c;
  }
  int exp10 = 0;
  std::string_view exp_text = sci.substr(e_pos + 1);
  if (!exp_text.empty() && exp_text.front() == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exp10);

  const int k = static_cast<int>(digits.size());
  const int n = exp10 + 1;  // the decimal point sits after the n-th digit
  if (k <= n && n <= 21) {
    out += digits;
    out.append(static_cast<size_t>(n - k), '0');
  } else if (0 < n && n <= 21) {
    out += digits.substr(0, static_cast<size_t>(n));
    out += '.';
    out += digits.substr(static_cast<size_t>(n));
  } else if (-6 < n && n <= 0) {
    out += "0.";
    out.append(static_cast<size_t>(-n), '0');
    out += digits;
  } else {
    out += digits[0];
    if (k > 1) {
      out += '.';
      out += digits.substr(1);
    }
    out += 'e';
    out += (n - 1 < 0) ? '-' : '+';
    out += std::to_string(std::abs(n - 1));
  }
  return out;
}

template <typename T>
std::string FormatBinaryFloat(T v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  return JsFromScientific(std::string_view(buf, static_cast<size_t>(res.ptr - buf)));
}

std::string Pad(int64_t v, int width) {
  std::string s = std::to_string(v < 0 ? -v : v);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<size_t>(width) - s.size(), '0');
  return v < 0 ? "-" + s : s;
}

void AppendHexDigit(unsigned v, bool upper, std::string& out) {
  out += (upper ? "0123456789ABCDEF" : "0123456789abcdef")[v & 0xF];
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendEscapedControl(char16_t c, std::string& out) {
  switch (c) {
    case u'\b': out += "\\b"; return;
    case u'\f': out += "\\f"; return;
    case u'\n': out += "\\n"; return;
    case u'\r': out += "\\r"; return;
    case u'\t': out += "\\t"; return;
    default: break;
  }
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) AppendHexDigit(c >> shift, false, out);
}

void AppendQuoted(const std::string& text, std::string& out) {
  out += '"';
  out += text;
  out += '"';
}

}  // namespace

std::string FormatDouble(double v) { return FormatBinaryFloat(v); }

std::string FormatFloat(float v) { return FormatBinaryFloat(v); }

std::string FormatMoney(int64_t units) {
  const uint64_t mag = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  std::string frac = std::to_string(mag % 10'000);
  frac.insert(0, 4 - frac.size(), '0');
  return (units < 0 ? "-" : "") + std::to_string(mag / 10'000) + "." + frac;
}

std::string FormatDateTime(double days) {
  if (!std::isfinite(days) || std::fabs(days) > kMaxCalendarDays) return FormatDouble(days);
  const double whole = std::trunc(days);
  int64_t day = static_cast<int64_t>(whole);
  int64_t ms = std::llround(std::fabs(days - whole) * static_cast<double>(kMsPerDay));
  if (ms >= kMsPerDay) {  // rounded up to the next midnight
    ms -= kMsPerDay;
    day += 1;
  }
  const jet::CivilDate date = jet::CivilFromDays(day + jet::kJetEpochDays);
  std::string out = Pad(date.year, 4) + "-" + Pad(date.month, 2) + "-" + Pad(date.day, 2) + "T" +
                    Pad(ms / 3'600'000, 2) + ":" + Pad(ms / 60'000 % 60, 2) + ":" +
                    Pad(ms / 1000 % 60, 2);
  if (ms % 1000 != 0) out += "." + Pad(ms % 1000, 3);
  return out;
}

std::string FormatHex(const jet::Bytes& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    AppendHexDigit(b >> 4, false, out);
    AppendHexDigit(b, false, out);
  }
  return out;
}

void AppendJsonString(std::u16string_view s, std::string& out) {
  out += '"';
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      AppendEscapedControl(c, out);
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
               s[i + 1] <= 0xDFFF) {
      AppendUtf8(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00),
                 out);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      AppendEscapedControl(c, out);  // unpaired surrogate: \udxxx
    } else {
      AppendUtf8(c, out);
    }
  }
  out += '"';
}

void AppendJsonValue(const jet::Value& v, std::string& out) {
  std::visit(
      [&out](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          out += "null";
        } else if constexpr (std::is_same_v<T, bool>) {
          out += x ? "true" : "false";
        } else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                             std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) {
          out += std::to_string(x);
        } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
          const std::string s = FormatBinaryFloat(x);
          if (std::isfinite(x)) {
            out += s;
          } else {
            AppendQuoted(s, out);
          }
        } else if constexpr (std::is_same_v<T, jet::Currency>) {
          AppendQuoted(FormatMoney(x.units), out);
        } else if constexpr (std::is_same_v<T, jet::Decimal>) {
          AppendQuoted(x.ToString(), out);
        } else if constexpr (std::is_same_v<T, jet::DateTime>) {
          AppendQuoted(FormatDateTime(x.days), out);
        } else if constexpr (std::is_same_v<T, jet::Guid>) {
          AppendQuoted(x.ToString(), out);
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          AppendJsonString(x, out);
        } else {
          static_assert(std::is_same_v<T, jet::Bytes>);
          AppendQuoted(FormatHex(x), out);
        }
      },
      v.storage());
}

}  // namespace cli
