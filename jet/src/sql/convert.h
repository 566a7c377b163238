// Literal conversions of the SQL dialect: number and date text to values, values to text, and the
// case folding used when text is compared.
//
// Dates follow the engine's stored form: days since 1899-12-30 with the time of day as fraction;
// before that day the fraction is subtracted (1899-12-29 06:00 is -1.25), as the file stores it.
// Comparisons use the linear form (1899-12-29 06:00 is -0.75), which orders by time.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "jet/value.h"
#include "value/text.h"

namespace jet::sql {

// The value of a number literal as written: digits with an optional fraction and exponent, no
// sign. Integers become int32_t, int64_t or (up to 28 digits) Decimal; a fraction keeps its exact
// digits as Decimal (up to 28 digits); exponents and longer numbers become double. Returns
// nullopt when `text` is not such a number.
std::optional<Value> ParseNumber(std::string_view text, bool negative);

// The same for text met where a number is wanted (criteria on a numeric column): blanks around
// and a sign are allowed. nullopt when the text is not a number.
std::optional<Value> ParseNumberText(std::u16string_view text);

// A date/time text as Access accepts it between # marks: "2001-02-03", "2001/2/3", "2/3/2001"
// (month first), each with an optional time "13:45[:30]" with optional AM/PM, or a time alone.
// Returns the stored Jet value, or nullopt when the text is no valid date.
std::optional<double> ParseDateText(std::u16string_view text);

// The stored Jet date value in linear days (see above).
double LinearDays(double stored);

// The text form of a number, boolean or date value, as a text column would receive it.
std::u16string ValueToText(const Value& value);

// Text folded to lower case as names and General-order comparisons fold it (jet::FoldCase).
using jet::FoldCase;
std::u16string FoldCase(std::u16string_view s);

// Case-insensitive equality of names (the rule of TableDef::FindColumn).
bool NamesEqual(std::u16string_view a, std::u16string_view b);

}  // namespace jet::sql
