// How the SQL dialect compares values, as Access does:
//   - text case-insensitively (see FoldCase), memo included;
//   - numbers by value across all numeric types, exactly for integers, currency and decimals;
//   - booleans as numbers (True = -1, False = 0), so True sorts before False;
//   - dates by time (the stored form is turned linear first);
//   - GUID and binary bytewise.
// NULL equals nothing; in an ORDER BY it sorts before every value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/schema.h"
#include "jet/value.h"

namespace jet::sql {

// A number reduced for comparison: exact when it came from an integer, currency or decimal.
struct Number {
  bool exact = true;
  bool negative = false;  // never set for zero
  UInt128 whole = 0;      // exact: integer part of the magnitude
  UInt128 fraction = 0;   // exact: fractional part of the magnitude times 10^28
  double approx = 0;      // the value (linear days for dates)
};

// A value reduced to what comparisons need.
struct Key {
  enum class Kind : uint8_t { kNull, kNumber, kText, kBytes };
  Kind kind = Kind::kNull;
  Number number;
  std::u16string text;         // folded
  std::vector<uint8_t> bytes;  // GUID (stored order) or binary
};

// The comparison class of a column: what literals are converted to before comparing.
enum class Category { kText, kNumber, kDate, kGuid, kBytes };
Category CategoryOf(ColumnType type);

// The key of a stored value (whatever its type).
Key KeyOf(const Value& value);

// Sets `key` to the key of a literal converted for a column of `category`. Returns false when it
// cannot be converted (text that is no number for a numeric column, and the like). Null gives a
// kNull key.
bool LiteralKey(const Value& literal, Category category, Key& key);

// Orders two non-null keys of one column: <0, 0, >0.
int CompareKeys(const Key& a, const Key& b);

// Orders keys for ORDER BY: NULL first, then CompareKeys.
int CompareForSort(const Key& a, const Key& b);

}  // namespace jet::sql
