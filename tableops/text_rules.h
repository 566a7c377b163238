#pragma once

// The text rules shared by the table operations: trimming, the program's case-insensitive text
// comparison, line splitting, the import's tokeniser and its integer syntax.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace tableops {

// Removes every character whose code is 32 or less from both ends, and nothing else.
QString Trim(const QString& text);

// Equal length, and equal once the ASCII letters A-Z and a-z are folded to one case; every other
// character must match exactly.
bool SameText(const QString& a, const QString& b);
// `text` with A-Z mapped to a-z and nothing else changed: equal keys exactly when SameText.
QString AsciiFold(const QString& text);

// Splits at CR LF, a lone CR and a lone LF. A break at the very end yields no further line.
QStringList SplitLines(const QString& text);

// The import's tokeniser: separators are TAB, blank, ',' and ';'; the apostrophe and the double
// quote open and close quoted sections that keep their quote characters and every separator.
// Separators in a row give no empty token.
QStringList SplitImportLine(const QString& line);

// The import's integer syntax: optional leading blanks, an optional sign, then decimal digits or
// a hexadecimal prefix ($, x, X, 0x, 0X) and hex digits; nothing after the digits. Decimal values
// must lie in the signed range of `bits` (32 or 64); hexadecimal digits (leading zeros aside)
// must fit the width and are read as a two's-complement pattern, the sign applied afterwards.
std::optional<int64_t> ParseInteger(const QString& token, int bits);

// A plain decimal number as the copy writes one: optional sign, digits, optionally a decimal
// point ('.' or `point`) with digits, optionally an exponent (E or e, optional sign, digits).
// Returns it in the SQL dialect's form ('.' as the point, no '+'), or nothing.
std::optional<QString> ParseDecimal(const QString& token, QChar point);

}  // namespace tableops
