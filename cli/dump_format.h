#pragma once

// Formatting of single values for the canonical dump (docs/dump-format.md): JSON text for every
// engine value, numbers as ECMAScript prints them, dates as ISO text without a zone.

#include <cstdint>
#include <string>
#include <string_view>

#include "jet/schema.h"
#include "jet/value.h"

namespace cli {

// ECMAScript String(x) of the shortest decimal that round-trips to `v` ("0.1", "1e+21",
// "5e-324"); negative zero gives "-0"; NaN and infinities give "NaN", "Infinity", "-Infinity".
std::string FormatDouble(double v);
// The same rules applied to the shortest decimal that round-trips to the 32-bit `v`.
std::string FormatFloat(float v);
// Currency units (value times 10,000) as plain text with exactly 4 decimals.
std::string FormatMoney(int64_t units);
// "YYYY-MM-DDTHH:MM:SS[.mmm]" of a Jet date (days since 1899-12-30, time added even before that
// day), rounded to the millisecond. Values no calendar can hold (NaN, beyond year +-999999)
// come out as FormatDouble of the raw number.
std::string FormatDateTime(double days);
// Lower-case hex of `bytes`.
std::string FormatHex(const jet::Bytes& bytes);

// Appends `s` as a JSON string: only '"', '\\' and U+0000..U+001F escaped, an unpaired surrogate
// as \udxxx, everything else literal UTF-8.
void AppendJsonString(std::u16string_view s, std::string& out);
// Appends the JSON form of one value (null, true/false, a number or a string).
void AppendJsonValue(const jet::Value& v, std::string& out);

}  // namespace cli
