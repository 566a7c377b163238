#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace jet {

__extension__ typedef unsigned __int128 UInt128;

// Currency: the stored 64-bit integer, i.e. the value times 10,000.
struct Currency {
  int64_t units = 0;
  bool operator==(const Currency&) const = default;
};

// Decimal/NUMERIC: exact magnitude with a scale; value = (negative ? -1 : 1) * magnitude / 10^scale.
struct Decimal {
  bool negative = false;
  UInt128 magnitude = 0;
  uint8_t scale = 0;
  bool operator==(const Decimal&) const = default;
  // Plain decimal text with exactly `scale` decimals: "-0.0001", "12".
  std::string ToString() const;
};

// Decimal digits of a magnitude, most significant first ("0" for zero).
std::string DigitsOf(UInt128 magnitude);

// 10^n for 0 <= n <= 38.
constexpr UInt128 Pow10(int n) {
  UInt128 result = 1;
  for (int i = 0; i < n; ++i) result *= 10;
  return result;
}

// Date/time as Jet stores it: days since 1899-12-30, time of day in the fraction (see the
// negative-date rule of the format notes).
struct DateTime {
  double days = 0;
  bool operator==(const DateTime&) const = default;
};

// A day of the proleptic Gregorian calendar.
struct CivilDate {
  int64_t year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
};

// Days from 1970-01-01 to a civil date and back, by 400-year eras of 146,097 days whose years
// start on March 1st (so the leap day falls at the end of each year).
int64_t DaysFromCivil(int64_t year, int month, int day);
CivilDate CivilFromDays(int64_t days);
bool IsLeapYear(int64_t year);
int DaysInMonth(int64_t year, int month);

// 1899-12-30, the day DateTime counts from, in days from 1970-01-01.
inline constexpr int64_t kJetEpochDays = -25'569;

// GUID in stored byte order.
struct Guid {
  std::array<uint8_t, 16> bytes{};
  bool operator==(const Guid&) const = default;
  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
  std::string ToString() const;
  // The bytes in the order the text shows them: Data1, Data2 and Data3 are stored little-endian,
  // the last eight bytes as written.
  std::array<uint8_t, 16> TextOrder() const;
  // The text form above, braces optional, hex digits of either case; nothing else (no spaces).
  static std::optional<Guid> Parse(std::u16string_view text);
};

using Bytes = std::vector<uint8_t>;

// A typed column value. Text and memo are UTF-16, binary and OLE are bytes.
class Value {
 public:
  using Storage = std::variant<std::monostate, bool, uint8_t, int16_t, int32_t, int64_t, Currency,
                               float, double, Decimal, DateTime, Guid, std::u16string, Bytes>;

  Value() = default;
  template <typename T>
  Value(T v) : v_(std::move(v)) {}  // NOLINT(google-explicit-constructor)

  bool is_null() const { return std::holds_alternative<std::monostate>(v_); }
  template <typename T>
  bool is() const {
    return std::holds_alternative<T>(v_);
  }
  template <typename T>
  const T& as() const {
    return std::get<T>(v_);
  }
  const Storage& storage() const { return v_; }
  bool operator==(const Value&) const = default;

 private:
  Storage v_;
};

// UTF-8 <-> UTF-16 for names and text crossing the engine boundary. Invalid UTF-8 bytes become
// U+FFFD; unpaired surrogates are written as their 3-byte forms.
std::string ToUtf8(std::u16string_view s);
std::u16string FromUtf8(std::string_view s);

}  // namespace jet
