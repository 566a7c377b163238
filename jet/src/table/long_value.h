#pragma once

// MEMO and OLE values. The row holds a 12-byte header:
//   0x00 u32  bits 0-29 length L of the stored value; bits 30-31 the form:
//             0x80000000 inline (the L bytes follow the header in the row),
//             0x40000000 one LVAL row (exactly the value),
//             0x00000000 a chain of LVAL rows, each "u32 row pointer to the next | chunk"
//   0x04 u32  row pointer to the first LVAL row (not inline)
//   0x08 u32  unknown
// LVAL rows live on data pages whose owner field is "LVAL".

#include <cstdint>
#include <vector>

#include "page/file.h"

namespace jet {

// The stored bytes of a long value whose in-row field (header plus any inline bytes) is
// `field`. Throws kCorrupt naming the page for a bad header, a pointer outside the file or to a
// non-LVAL page, a chain that loops or ends early, or a length larger than the file.
void ReadLongValue(const File& file, const PageReader& field, std::vector<uint8_t>& out);

}  // namespace jet
