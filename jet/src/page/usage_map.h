#pragma once

// Usage maps: the set of pages a table, an index or a long-value column owns (and the global
// map of free pages on page 1). A map is a row on a data page, found through a row pointer.
//
//   inline (byte 0 = 0x00):    u32 start page S at 1, then a bitmap: bit i of byte k (LSB first)
//                              means page S + 8k + i
//   reference (byte 0 = 0x01): u32 page numbers of bitmap pages (type 0x05) from offset 1; pointer
//                              j covers pages [j*M, (j+1)*M), M = (page_size - 4) * 8; 0 = none.
//                              A bitmap page is "05 01 00 00" + bitmap from offset 4.

#include <cstdint>
#include <vector>

#include "page/data_page.h"
#include "page/file.h"

namespace jet {

enum class UsageMapCheck {
  kPagesExist,  // every page in the map must lie inside the file (owned-page maps)
  kAny,         // pages past the end of the file are left out (the global free-page map,
                // where they are set as "free"), and so are bitmap pointers past the end: Access
                // leaves one in a reference-type global map (see the note in usage_map.cpp)
};

// The pages set in the map the row pointer `map_row` refers to, ascending. Throws kCorrupt
// (naming the map's page) for a bad pointer, an unknown map type, a bitmap page of the wrong type
// or, with kPagesExist, a page or bitmap page number outside the file.
std::vector<uint32_t> ReadUsageMap(const File& file, uint32_t map_row, UsageMapCheck check);

}  // namespace jet
