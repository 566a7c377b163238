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

// A usage-map row for a new index, holding `root`. Returns its row pointer.
uint32_t NewIndexMap(PageTxn& txn, const TableInfo& t, uint32_t root);

// The sorted entries of real index `real` of `t` for every live row; refuses NULLs in a primary
// key and, for a unique or primary `spec`, duplicate keys.
std::vector<IndexEntry> CollectEntries(const DatabaseImpl& db, const TableInfo& t, size_t real,
                                       const IndexSpec& spec);

// The definition string of `t` with one more logical index named `name`, whose fields are
// `logical`, and, when `new_real` is given, one more real index (its count block holding
// `distinct`) as the last real index.
std::vector<uint8_t> DefinitionWithIndex(const TableInfo& t, const TdefSections& s,
                                         const std::u16string& name, const RealIndex* new_real,
                                         uint32_t distinct, const LogicalIndex& logical);

// The number a new logical index of `t` gets.
uint32_t NextLogicalNumber(const TableInfo& t);

}  // namespace jet
