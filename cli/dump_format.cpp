#include "dump_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <type_traits>
#include <variant>

#include "jet/value_text.h"

namespace cli {
namespace {

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
          std::string s;
          if constexpr (std::is_same_v<T, float>) {
            s = jet::FormatFloat(x);
          } else {
            s = jet::FormatDouble(x);
          }
          if (std::isfinite(x)) {
            out += s;
          } else {
            AppendQuoted(s, out);
          }
        } else if constexpr (std::is_same_v<T, jet::Currency>) {
          AppendQuoted(jet::FormatMoney(x.units), out);
        } else if constexpr (std::is_same_v<T, jet::Decimal>) {
          AppendQuoted(x.ToString(), out);
        } else if constexpr (std::is_same_v<T, jet::DateTime>) {
          AppendQuoted(jet::FormatDateTime(x.days), out);
        } else if constexpr (std::is_same_v<T, jet::Guid>) {
          AppendQuoted(x.ToString(), out);
        } else if constexpr (std::is_same_v<T, std::u16string>) {
          AppendJsonString(x, out);
        } else {
          static_assert(std::is_same_v<T, jet::Bytes>);
          AppendQuoted(jet::FormatHex(x), out);
        }
      },
      v.storage());
}

}  // namespace cli
