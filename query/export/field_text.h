#pragma once

// Values as text for the text targets: CSV fields and PostgreSQL COPY fields.

#include <string>
#include <string_view>

#include "jet/value.h"

namespace query {

enum class TextTarget { kCsv, kPostgresCopy };

// Appends `v` as one field of `target`:
// - CSV (RFC 4180): NULL as nothing, an empty string as "", a field quoted when it holds a comma,
//   a quote, CR or LF; Yes/No as 1/0; binary as lower-case hex.
// - COPY text format: NULL as \N; backslash, tab, CR and LF escaped; Yes/No as t/f; binary as
//   bytea hex input (\\x...). Throws kNotSupported for text PostgreSQL cannot hold (U+0000 or
//   an unpaired surrogate).
// Numbers as the canonical dump writes them, Currency and Decimal exact, dates
// "YYYY-MM-DD HH:MM:SS[.mmm]", GUIDs "{...}".
void AppendField(const jet::Value& v, TextTarget target, std::string& out);

// Appends `s` as UTF-8; an unpaired surrogate keeps its 3-byte form (as jet::ToUtf8 writes it).
void AppendUtf8(std::u16string_view s, std::string& out);

}  // namespace query
