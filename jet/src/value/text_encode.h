#pragma once

// Jet4 text as the writer stores it: UCS-2 little-endian, or the "compressed" form
// (FF FE marker, then one byte per character) when the column allows it.
//
// Compression rule, as Access and other writers apply it: the column's compressed-unicode flag
// is set, the value has at least 3 characters, every character is in U+0001..U+00FF, and a memo
// value has at most 1024 characters. Anything else is stored uncompressed; the marker is never
// written alone.

#include <cstdint>
#include <string_view>
#include <vector>

namespace jet {

// The stored bytes of `text` for a Jet4 TEXT (`memo` = false) or MEMO column.
std::vector<uint8_t> EncodeJet4Text(std::u16string_view text, bool compression_allowed,
                                    bool memo);

// Whether EncodeJet4Text would choose the compressed form.
bool Jet4TextCompresses(std::u16string_view text, bool compression_allowed, bool memo);

}  // namespace jet
