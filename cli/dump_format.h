#pragma once

// Formatting of single values for the canonical dump (docs/dump-format.md): JSON text for every
// engine value, numbers as ECMAScript prints them, dates as ISO text without a zone.

#include <cstdint>
#include <string>
#include <string_view>

#include "jet/schema.h"
#include "jet/value.h"

namespace cli {

// The text of single values (numbers, money, dates, hex) comes from jet/value_text.h.

// Appends `s` as a JSON string: only '"', '\\' and U+0000..U+001F escaped, an unpaired surrogate
// as \udxxx, everything else literal UTF-8.
void AppendJsonString(std::u16string_view s, std::string& out);
// Appends the JSON form of one value (null, true/false, a number or a string).
void AppendJsonValue(const jet::Value& v, std::string& out);

}  // namespace cli
