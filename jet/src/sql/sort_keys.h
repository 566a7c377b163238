// Packed ORDER BY keys of one column.
//
// Sorting 200,000 rows compares keys millions of times, so each column's keys are reduced once to
// the smallest form that orders them the way CompareForSort does: 64-bit integers (booleans as
// -1/0, integer types, currency units), doubles (floating types, dates in linear days) or folded
// texts stored back to back. Columns whose values mix kinds (or decimals, GUIDs, binary) keep the
// general Key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jet/value.h"
#include "sql/compare.h"

namespace jet::sql {

class SortKeys {
 public:
  SortKeys(const std::vector<std::vector<Value>>& rows, size_t column);

  // Orders rows `a` and `b` by this column: NULL first, then by value; <0, 0, >0.
  int Compare(size_t a, size_t b) const;

 private:
  enum class Kind { kInteger, kReal, kText, kGeneric };

  static Kind KindOf(const std::vector<std::vector<Value>>& rows, size_t column);
  std::u16string_view Text(size_t row) const {
    return std::u16string_view(text_).substr(text_start_[row],
                                             text_start_[row + 1] - text_start_[row]);
  }

  Kind kind_ = Kind::kGeneric;
  std::vector<uint8_t> null_;       // 1 for a NULL value
  std::vector<int64_t> integers_;   // kInteger
  std::vector<double> reals_;       // kReal
  std::u16string text_;             // kText: folded texts back to back
  std::vector<size_t> text_start_;  // kText: offset of each row's text, plus the end
  std::vector<Key> generic_;        // kGeneric
};

// One ORDER BY term: the position of its column in the rows sorted, and its direction.
struct SortColumn {
  size_t column = 0;
  bool ascending = true;
};

// Row positions 0 .. n-1 in ORDER BY order, stably: `keys[c]` holds the keys of term `c` of
// `terms` (NULLs first ascending, last descending).
std::vector<size_t> SortedPositions(size_t n, const std::vector<SortKeys>& keys,
                                    const std::vector<SortColumn>& terms);

}  // namespace jet::sql
