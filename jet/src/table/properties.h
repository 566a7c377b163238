#pragma once

// Property blocks (MSysObjects.LvProp of a table; Jet4 "MR2", Jet3 "KKD"): a 4-byte magic, then
// chunks of `u32 length (inclusive) | u16 kind`. Kind 0x80 lists the property names (u16 byte
// length + UCS-2 each; in a Jet3 block, bytes in the database code page, as are column names); kind
// 0x00 holds the properties of the object itself and kind 0x01 those of one column. Both start with
// `u32 header length | u16 name byte length | name`, followed by entries `u16 length | u8 DDL flag
// | u8 type | u16 name index | u16 value length | value`.
//
// The engine uses one property: "Required" (Yes/No) on a column, which is how NOT NULL is
// recorded. Reading is lenient: a block that does not parse yields no properties, because
// properties never decide how rows are stored.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "value/text.h"

namespace jet {

// Names of the columns whose Required property is set to Yes. `codec` decodes the names of a
// Jet3 block (without one they are read as Latin-1).
std::vector<std::u16string> RequiredColumns(std::span<const uint8_t> block,
                                            const TextCodec* codec = nullptr);

// A block giving each of `columns` the property Required = Yes (as DDL sets it); with a
// `jet3_codec`, the Jet3 form with names in its code page (the caller checked they fit).
std::vector<uint8_t> RequiredPropertiesBlock(const std::vector<std::u16string>& columns,
                                             const TextCodec* jet3_codec = nullptr);

// `block` without the chunk that holds column `column`'s properties (names compared as Access
// compares them), as dropping the column leaves it; a block that does not parse comes back as it
// is. `codec` decodes the names of a Jet3 block.
std::vector<uint8_t> WithoutColumnProperties(std::span<const uint8_t> block,
                                             std::u16string_view column,
                                             const TextCodec* codec = nullptr);

// `block` (possibly empty) with Required = Yes on column `column`, the property name added to the
// name list when it is missing; with a `jet3_codec`, names are in its code page.
std::vector<uint8_t> WithRequiredColumn(std::span<const uint8_t> block, std::u16string_view column,
                                        const TextCodec* jet3_codec = nullptr);

}  // namespace jet
