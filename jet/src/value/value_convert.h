#pragma once

// Conversion of the engine's literal values to a column's storage type, the way Access converts
// them on INSERT/UPDATE: text '12' into a LONG is 12, a number into a TEXT column is its decimal
// text, 'True'/'False'/'Yes'/'No'/-1/0 into a Yes/No column, 'YYYY-MM-DD[ HH:MM:SS]' into a
// date. A value that does not fit (out of range, too many characters or digits) is a
// kConstraint error; one that cannot be converted at all is kInvalidArgument. Both name the
// table and the column. Nothing is ever silently cut.
//
// Storage types: BOOLEAN bool, BYTE uint8_t, INT int16_t, LONG int32_t, MONEY Currency, FLOAT
// float, DOUBLE double, DATETIME DateTime, TEXT/MEMO u16string, BINARY/OLE Bytes, GUID Guid,
// NUMERIC Decimal (with the column's scale). NULL stays NULL, except that a Yes/No column is
// never NULL: NULL there is False.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/schema.h"
#include "jet/value.h"
#include "value/text.h"

namespace jet {

// Converts `v` for `column` of `table` (for messages). Text lengths are Jet4's (characters)
// unless `codec` is a Jet3 codec: then text must be representable in its code page (else
// kConstraint naming the column and the character) and a TEXT column's length counts its bytes.
Value ConvertValue(const Value& v, const Column& column, std::u16string_view table,
                   const TextCodec* codec = nullptr);

// The stored bytes of a converted, non-NULL value of any column except MEMO/OLE (those are long
// values) and BOOLEAN (the null mask): numbers little-endian, text per the Jet4 rules (a fixed
// TEXT column is uncompressed and padded with spaces to its length) or, with a Jet3 `codec`, in
// its code page, binary as is. MEMO text is encoded the same way for its long value.
std::vector<uint8_t> EncodeValueBytes(const Value& native, const Column& column,
                                      const TextCodec* codec = nullptr);

// Days since 1899-12-30 for a civil date and time (Jet's date double, with its rule for dates
// before the epoch). Returns nullopt for a date Access does not accept (years 100-9999).
std::optional<double> JetDateFromCivil(int year, int month, int day, int hour, int minute,
                                       double second);

// Parses 'YYYY-MM-DD', 'YYYY-MM-DD HH:MM[:SS[.fff]]' (or with 'T'), or 'HH:MM[:SS]' alone.
std::optional<double> ParseJetDate(std::u16string_view text);

}  // namespace jet
