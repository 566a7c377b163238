#include "export/field_text.h"

#include <charconv>
#include <type_traits>
#include <variant>

#include "jet/error.h"
#include "jet/value_text.h"

namespace query {
namespace {

// 0001-01-01 and about the year 270,000 as Jet day numbers.
constexpr double kFirstDayOfYear1 = -693593;
constexpr double kLastPostgresDay = 1.0e8;

void AppendCodePoint(char32_t cp, std::string& out) {
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

// UTF-16 to UTF-8; an unpaired surrogate keeps its 3-byte form (CSV) or is refused (COPY).
void AppendText(std::u16string_view s, TextTarget target, std::string& out) {
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
        ++i;
      } else if (target == TextTarget::kPostgresCopy) {
        throw jet::Error(jet::Error::Kind::kNotSupported,
                         "text with an unpaired surrogate cannot be stored in PostgreSQL");
      }
    }
    if (target == TextTarget::kPostgresCopy) {
      switch (c) {
        case 0:
          throw jet::Error(jet::Error::Kind::kNotSupported,
                           "text with the character U+0000 cannot be stored in PostgreSQL");
        case '\\':
          out += "\\\\";
          continue;
        case '\t':
          out += "\\t";
          continue;
        case '\n':
          out += "\\n";
          continue;
        case '\r':
          out += "\\r";
          continue;
        default:
          break;
      }
    }
    AppendCodePoint(c, out);
  }
}

void AppendCsvText(std::u16string_view s, std::string& out) {
  const size_t start = out.size();
  AppendText(s, TextTarget::kCsv, out);
  bool quote = s.empty();
  for (size_t i = start; i < out.size() && !quote; ++i) {
    const char c = out[i];
    quote = c == ',' || c == '"' || c == '\r' || c == '\n';
  }
  if (!quote) return;
  std::string field = "\"";
  for (size_t i = start; i < out.size(); ++i) {
    if (out[i] == '"') field += '"';
    field += out[i];
  }
  field += '"';
  out.replace(start, std::string::npos, field);
}

template <typename T>
void AppendInteger(T v, std::string& out) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

}  // namespace

void AppendUtf8(std::u16string_view s, std::string& out) {
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    }
    AppendCodePoint(c, out);
  }
}

void AppendField(const jet::Value& v, TextTarget target, std::string& out) {
  const bool copy = target == TextTarget::kPostgresCopy;
  std::visit(
      [&](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          if (copy) out += "\\N";
        } else if constexpr (std::is_same_v<T, bool>) {
          out += copy ? (x ? "t" : "f") : (x ? "1" : "0");
        } else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, int16_t> ||
                             std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) {
          AppendInteger(x, out);
        } else if constexpr (std::is_same_v<T, float>) {
          out += jet::FormatFloat(x);
        } else if constexpr (std::is_same_v<T, double>) {
          out += jet::FormatDouble(x);
        } else if constexpr (std::is_same_v<T, jet::Currency>) {
          out += jet::FormatMoney(x.units);
        } else if constexpr (std::is_same_v<T, jet::Decimal>) {
          out += x.ToString();
        } else if constexpr (std::is_same_v<T, jet::DateTime>) {
          // PostgreSQL takes years 1 to 294276 written this way.
          if (copy && !(x.days >= kFirstDayOfYear1 && x.days < kLastPostgresDay)) {
            throw jet::Error(jet::Error::Kind::kNotSupported,
                             "the date " + jet::FormatDateTime(x.days) +
                                 " is outside what PostgreSQL's timestamp holds");
          }
          out += jet::FormatDateTime(x.days, ' ');
        } else if constexpr (std::is_same_v<T, jet::Guid>) {
          out += x.ToString();
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          if (copy) {
            AppendText(x, target, out);
          } else {
            AppendCsvText(x, out);
          }
        } else {
          static_assert(std::is_same_v<T, jet::Bytes>);
          if (copy) {
            out += "\\\\x";
          } else if (x.empty()) {
            out += "\"\"";  // empty, not NULL
          }
          out += jet::FormatHex(x);
        }
      },
      v.storage());
}

}  // namespace query
