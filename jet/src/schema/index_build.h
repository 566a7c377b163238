#pragma once

// Pieces of adding an index to a table that holds rows, shared by CREATE INDEX and by the
// indexes a relationship adds on both of its tables.

#include <cstdint>
#include <string>
#include <vector>

#include "index/index_page.h"
#include "jet/schema.h"
#include "table/table_def.h"
#include "table/tdef_writer.h"

namespace jet {

class DatabaseImpl;
class PageTxn;
class TextCodec;
struct FormatInfo;

// A usage-map row for a new index, holding `root` (0: an empty map, as a new MEMO/OLE column
// gets), on `t`'s usage-map page while it has room. Returns its row pointer.
uint32_t NewIndexMap(PageTxn& txn, const TableInfo& t, uint32_t root);

// The sorted entries of real index `real` of `t` for every live row; refuses NULLs in a primary
// key and, for a unique or primary `spec`, duplicate keys.
std::vector<IndexEntry> CollectEntries(const DatabaseImpl& db, const TableInfo& t, size_t real,
                                       const IndexSpec& spec);

// The stored form of index name `name`: u16 byte length + UCS-2 (Jet4), u8 byte length + code
// page bytes (Jet3; a character outside the code page is refused).
std::vector<uint8_t> StoredName(const FormatInfo& f, const TextCodec& codec,
                                std::u16string_view name);

// The definition string of `t`, in the layout of `f`, with one more logical index whose stored
// name is `name` (from StoredName) and whose fields are `logical`, and, when `new_real` is given,
// one more real index (its count block holding `distinct`) as the last real index.
std::vector<uint8_t> DefinitionWithIndex(const FormatInfo& f, const TableInfo& t,
                                         const TdefSections& s, const std::vector<uint8_t>& name,
                                         const RealIndex* new_real, uint32_t distinct,
                                         const LogicalIndex& logical);

// The number a new logical index of `t` gets.
uint32_t NextLogicalNumber(const TableInfo& t);

}  // namespace jet
