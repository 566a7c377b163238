#pragma once

// Storing and freeing MEMO/OLE values (the 12-byte in-row header is described in long_value.h).
//
// Form chosen for a value of L bytes: inline when the caller allows it (L <= 64 and the row
// stays within its size limit), else one LVAL row when L fits an empty LVAL page (4076 bytes in
// Jet4), else a chain of rows "u32 next row pointer | chunk" with chunks of 4072 bytes, written
// last segment first so that every row knows its successor.
//
// LVAL rows go on data pages owned by "LVAL" that are recorded in the column's owned map (and,
// while they have room, its free map). A page is taken from the free map when the row fits;
// otherwise a new page is allocated and recorded in both maps. Freeing a value deletes its rows
// (both flags, space reclaimed) and puts the page back in the free map.

#include <cstdint>
#include <span>
#include <vector>

#include "table/table_def.h"

namespace jet {

class PageTxn;

inline constexpr size_t kMaxInlineLongValue = 64;
inline constexpr size_t kLongValueHeaderSize = 12;

// The in-row field of an inline value: header plus the bytes.
std::vector<uint8_t> InlineLongValueField(std::span<const uint8_t> data);

// Writes `data` into LVAL rows through `txn` and returns the 12-byte in-row header. `maps` may
// be null when the table records no maps for the column.
std::vector<uint8_t> WriteLongValue(PageTxn& txn, const LongValueMaps* maps,
                                    std::span<const uint8_t> data);

// Deletes the LVAL rows of the value whose in-row field is `field` (nothing for inline values).
// Throws kCorrupt when a pointer leads outside the file or to a page that is not an LVAL page.
void FreeLongValue(PageTxn& txn, const LongValueMaps* maps, std::span<const uint8_t> field);

}  // namespace jet
