#pragma once
// Ordered walks of one index B-tree that start at a key instead of the first leaf: the reader
// behind index-ordered results and equality lookups. Only the pages on the way down and the
// leaves visited are read, so a lookup costs a few pages however large the table.

#include <cstdint>
#include <functional>

#include "index/index_page.h"

namespace jet {

struct FormatInfo;

// Calls `fn` for every leaf entry of the index rooted at `root` whose key bytes are >= `from`,
// in order, until `fn` returns false. Throws kCorrupt as ForEachIndexEntry does.
void ForEachIndexEntryFrom(PageSource& src, const FormatInfo& info, uint32_t root,
                           const Bytes& from, const std::function<bool(const IndexEntry&)>& fn);

// Unsigned byte order of key bytes, a proper prefix first; <0, 0, >0.
int CompareKeyBytes(const Bytes& a, const Bytes& b);

}  // namespace jet
