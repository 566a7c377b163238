#pragma once
// Index key bytes of one entry: the concatenation, in index-column order, of one field per
// column (NULL ascending 00, NULL descending FF, value 7F + ascending form, 80 + descending form).
//
// Keys compare as unsigned byte strings. A key is `exact` when it is the key Access writes; text
// whose sort order is not General (Jet4 LCID 0x0409 version 0, Jet3 0x0409) or that holds a
// character whose code was not established gives an approximate key: it still sorts sensibly,
// but may differ from Access's bytes, and equal values may give different bytes (and vice versa)
// only in the sense that case-insensitive equality is then not guaranteed. Uniqueness checks on
// approximate keys must compare values (TextEqualForIndex), not bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/schema.h"
#include "jet/value.h"

namespace jet {

// What the encoder needs to know about one index column.
struct KeyColumn {
  ColumnType type = ColumnType::kLong;
  bool ascending = true;
  uint16_t sort_order = 0x0409;  // text: LCID from the column descriptor
  uint8_t sort_version = 0;      // text, Jet4: sort-order version
  uint16_t code_page = 0;        // text, Jet3: code page (0 = not recorded, taken as 1252)
  uint8_t scale = 0;             // NUMERIC: column scale

  // Builds the description of `column` for an index column with the given direction.
  static KeyColumn From(const Column& column, bool ascending);
};

struct IndexKey {
  Bytes bytes;
  bool exact = true;
};

// Longest text prefix (characters) that goes into a key.
constexpr size_t kMaxKeyChars = 255;

// The key of one entry. `values` follow `columns`. Throws Error(kInvalidArgument) when a value's
// type cannot be indexed by the column (OLE, or a value of another type).
IndexKey EncodeIndexKey(Format format, const std::vector<KeyColumn>& columns,
                        const std::vector<Value>& values);

// Appends the field of one column to `out`; returns false when the bytes are approximate.
bool AppendKeyField(Format format, const KeyColumn& column, const Value& value, Bytes* out);

// Text parts, exposed for tests: the value bytes (without the 7F/80 flag) of `text`.
bool EncodeTextGeneralLegacy(std::u16string_view text, bool ascending, Bytes* out);
bool EncodeTextGeneral97(std::u16string_view text, bool ascending, Bytes* out);

// Whether a text sort order has a known key encoding in this format. Jet3 codes are known for
// the Windows-1252 code page only.
bool IsGeneralSortOrder(Format format, uint16_t lcid, uint8_t version, uint16_t code_page = 0);

// Access's equality for unique-index checks on text: case-insensitive and, like the General sort
// orders, blind to trailing spaces and to characters the collation ignores. Used when a key is
// approximate and its bytes cannot be trusted for equality.
bool TextEqualForIndex(std::u16string_view a, std::u16string_view b);

// The canonical form behind TextEqualForIndex: trailing spaces and ignored characters dropped,
// letters folded to one case. Two texts are equal for an index exactly when their forms are.
std::u16string TextEqualityForm(std::u16string_view text);

// Whether every character of `text`, and every character that differs from one of them only in
// case, has an established General-legacy code. When this holds for a value whose key is exact,
// any value equal to it under TextEqualForIndex has the same exact key bytes.
bool TextCaseVariantsEstablished(std::u16string_view text, Format format = Format::kJet4);

// The first character of `text` (as it goes into a key) whose code in the General order of
// `format` is not established, if any.
std::optional<char16_t> FirstUnestablishedChar(Format format, std::u16string_view text);

}  // namespace jet
