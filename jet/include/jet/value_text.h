#pragma once

// Text forms of engine values that every text writer shares: the canonical dump and the exports.
// Decimal and GUID text come from Decimal::ToString and Guid::ToString (value.h).

#include <cstdint>
#include <string>

#include "jet/value.h"

namespace jet {

// ECMAScript String(x) of the shortest decimal that round-trips to `v` ("0.1", "1e+21",
// "5e-324"); negative zero gives "-0"; NaN and infinities give "NaN", "Infinity", "-Infinity".
std::string FormatDouble(double v);
// The same rules applied to the shortest decimal that round-trips to the 32-bit `v`.
std::string FormatFloat(float v);
// Currency units (value times 10,000) as plain text with exactly 4 decimals.
std::string FormatMoney(int64_t units);
// "YYYY-MM-DD" separator "HH:MM:SS[.mmm]" of a Jet date (days since 1899-12-30, time added even
// before that day), rounded to the millisecond. Values no calendar can hold (NaN, beyond year
// +-999999) come out as FormatDouble of the raw number.
std::string FormatDateTime(double days, char separator = 'T');
// Lower-case hex of `bytes`.
std::string FormatHex(const Bytes& bytes);

}  // namespace jet
