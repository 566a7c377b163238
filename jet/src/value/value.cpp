// Text forms of values (decimal digits, civil dates, GUIDs, type names) and UTF-8 <-> UTF-16
// conversion.

#include "jet/value.h"

#include <algorithm>
#include <cstdio>

#include "jet/schema.h"

namespace jet {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";
constexpr char32_t kReplacement = 0xFFFD;

void AppendHex(std::string& out, uint8_t b) {
  out.push_back(kHex[b >> 4]);
  out.push_back(kHex[b & 0x0F]);
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// Decodes one UTF-8 sequence at s[i]; advances i. Returns U+FFFD (advancing one byte) for an
// invalid or overlong sequence. 3-byte surrogate forms are accepted (ToUtf8 writes them).
char32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto b0 = static_cast<uint8_t>(s[i]);
  int len = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
  if (len == 1) {
    ++i;
    return b0;
  }
  if (len == 0 || i + static_cast<size_t>(len) > s.size()) {
    ++i;
    return kReplacement;
  }
  char32_t c = b0 & (0x7F >> len);
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<uint8_t>(s[i + static_cast<size_t>(k)]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    c = (c << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMin[len] || c > 0x10FFFF) {
    ++i;
    return kReplacement;
  }
  i += static_cast<size_t>(len);
  return c;
}

}  // namespace

std::string DigitsOf(UInt128 magnitude) {
  std::string digits;
  do {
    digits.push_back(static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  std::reverse(digits.begin(), digits.end());
  return digits;
}

std::string Decimal::ToString() const {
  std::string digits = DigitsOf(magnitude);
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  if (scale > 0) digits.insert(digits.end() - scale, '.');
  if (negative && magnitude != 0) digits.insert(digits.begin(), '-');
  return digits;
}

int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146'097 + day_of_era - 719'468;
}

CivilDate CivilFromDays(int64_t z) {
  z += 719'468;  // shift the origin to 0000-03-01
  const int64_t era = (z >= 0 ? z : z - 146'096) / 146'097;
  const int64_t day_of_era = z - era * 146'097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36'524 - day_of_era / 146'096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_from_march = (5 * day_of_year + 2) / 153;
  const int day = static_cast<int>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  const int month =
      static_cast<int>(month_from_march < 10 ? month_from_march + 3 : month_from_march - 9);
  return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

namespace {

// Stored position of each byte of the text form.
constexpr int kStoredOfText[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

std::array<uint8_t, 16> Guid::TextOrder() const {
  std::array<uint8_t, 16> out{};
  for (size_t i = 0; i < 16; ++i) out[i] = bytes[static_cast<size_t>(kStoredOfText[i])];
  return out;
}

std::string Guid::ToString() const {
  const std::array<uint8_t, 16> text_order = TextOrder();
  std::string out = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
    AppendHex(out, text_order[static_cast<size_t>(i)]);
  }
  out.push_back('}');
  return out;
}

std::optional<Guid> Guid::Parse(std::u16string_view text) {
  if (text.size() == 38 && text.front() == u'{' && text.back() == u'}') text = text.substr(1, 36);
  if (text.size() != 36) return std::nullopt;
  std::array<uint8_t, 16> text_order{};
  size_t k = 0;
  for (size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i++] != u'-') return std::nullopt;
      continue;
    }
    const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    text_order[k++] = static_cast<uint8_t>(high * 16 + low);
    i += 2;
  }
  Guid g;
  for (size_t i = 0; i < 16; ++i) g.bytes[static_cast<size_t>(kStoredOfText[i])] = text_order[i];
  return g;
}

std::string TypeName(ColumnType type) {
  switch (type) {
    case ColumnType::kBoolean: return "BOOLEAN";
    case ColumnType::kByte: return "BYTE";
    case ColumnType::kInt: return "INT";
    case ColumnType::kLong: return "LONG";
    case ColumnType::kMoney: return "MONEY";
    case ColumnType::kFloat: return "FLOAT";
    case ColumnType::kDouble: return "DOUBLE";
    case ColumnType::kDateTime: return "SHORT_DATE_TIME";
    case ColumnType::kBinary: return "BINARY";
    case ColumnType::kText: return "TEXT";
    case ColumnType::kOle: return "OLE";
    case ColumnType::kMemo: return "MEMO";
    case ColumnType::kGuid: return "GUID";
    case ColumnType::kNumeric: return "NUMERIC";
    default: break;
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "UNKNOWN_0x%02X", static_cast<unsigned>(type));
  return buf;
}

std::string ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::u16string FromUtf8(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) AppendUtf16(out, NextCodePoint(s, i));
  return out;
}

}  // namespace jet
